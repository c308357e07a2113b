// Preloaded into ovrel by the tests: sends the process the signal numbered
// by OVREL_TEST_SIGNAL_AT_RENAME just before one of its temporary files
// (".ovrel-...") is put in place, so that a stop arrives exactly while the
// temporary file exists.

#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

extern "C" int rename(const char* from, const char* to) {
  using Rename = int (*)(const char*, const char*);
  static const auto real = reinterpret_cast<Rename>(::dlsym(RTLD_NEXT, "rename"));
  const char* number = std::getenv("OVREL_TEST_SIGNAL_AT_RENAME");
  const char* slash = std::strrchr(from, '/');
  const char* name = slash ? slash + 1 : from;
  if (number && std::strncmp(name, ".ovrel-", 7) == 0) ::kill(::getpid(), std::atoi(number));
  return real(from, to);
}
