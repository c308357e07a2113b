#pragma once
// A connection to the desktop's sound server, made afresh for each sound
// that is played, so that a server that was restarted in between is found
// again. Its own thread runs the server's messages; every call here takes
// that thread's lock (Lock, a recursive one) while it touches the
// connection. Connecting has a deadline: a server that takes the connection
// but never answers (a stuck one) would otherwise hold the caller for good.

#include <chrono>
#include <functional>

struct pa_context;
struct pa_threaded_mainloop;

namespace ovrel::sound {

enum class SoundServerAnswer {
  Answered,  // a server is there and talks
  NoServer,  // none could be reached
  Silent,    // one took the connection but did not answer in time
};

class ServerConnection {
 public:
  ServerConnection();
  ~ServerConnection();
  ServerConnection(const ServerConnection&) = delete;
  ServerConnection& operator=(const ServerConnection&) = delete;

  SoundServerAnswer Connect(std::chrono::milliseconds timeout);
  pa_context* Context() const { return context_; }

  void Lock();
  void Unlock();
  // With the lock held: waits until done() or the deadline; false at the
  // deadline. done() is asked again whenever the server's thread calls
  // Wake().
  bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  void Wake();

 private:
  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  bool timedOut_ = false;
};

}  // namespace ovrel::sound
