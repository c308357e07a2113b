#pragma once
// The name a session is shown under, from its file's name.

#include <string>

namespace ovrel {

// The session name for a file name: without its folder and without its last
// four characters (the ".svs"); "/a/b/Relax.svs" gives "Relax".
std::string SesNameFromFileName(const std::string& fileName);

}  // namespace ovrel
