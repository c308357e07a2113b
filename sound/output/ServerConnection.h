#pragma once
// Whether the desktop's sound server answers. Qt's audio output waits
// without end for a server that accepts a connection but never answers (a
// stuck server), and would freeze the window that asked; this asks first,
// with a deadline.

#include <chrono>

namespace ovrel {

enum class SoundServerAnswer {
  Answered,  // a server is there and talks
  NoServer,  // none could be reached (Qt's output finds no device then)
  Silent,    // one took the connection but did not answer in time
};

SoundServerAnswer ProbeSoundServer(std::chrono::milliseconds timeout);

}  // namespace ovrel
