#include "session/SessionName.h"

namespace ovrel {

std::string SesNameFromFileName(const std::string& fileName) {
  const size_t slash = fileName.find_last_of('/');
  std::string name = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
  name.resize(name.size() > 4 ? name.size() - 4 : 0);
  return name;
}

}  // namespace ovrel
