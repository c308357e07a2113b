// Preloaded into ovrel by the tests: sends the process the signal numbered
// by OVREL_TEST_SIGNAL_AT_START when it first asks whether standard error
// is a terminal, which ovrel does before it looks at its command line, so
// that a stop arrives exactly in ovrel's first moments.

#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>

extern "C" int isatty(int fd) {
  using IsATty = int (*)(int);
  static const auto real = reinterpret_cast<IsATty>(::dlsym(RTLD_NEXT, "isatty"));
  static bool sent = false;
  const char* number = std::getenv("OVREL_TEST_SIGNAL_AT_START");
  if (number && fd == STDERR_FILENO && !sent) {
    sent = true;
    ::kill(::getpid(), std::atoi(number));
  }
  return real(fd);
}
