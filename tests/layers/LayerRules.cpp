#include "layers/LayerRules.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <set>

namespace ovrel::layers {
namespace {

struct Layer {
  std::string Folder;
  std::set<std::string> MayInclude;  // other layers' folders
  bool StandardLibraryOnly = false;
};

// From the bottom up. A layer may always include its own files.
const std::vector<Layer>& Layers() {
  static const std::vector<Layer> layers = {
      // The result type every layer returns its failures in.
      {"base", {}, true},
      {"fileio", {"base"}, true},
      {"session", {"base"}, true},
      // The file formats: what a session is written as and read from.
      {"format", {"session", "fileio", "base"}, true},
      {"library", {"format", "session", "fileio", "base"}, true},
      {"device/protocol", {"library", "format", "session", "fileio", "base"}, true},
      {"device/serial", {"base"}, false},
      {"storage", {"library", "format", "session", "fileio", "base"}, false},
      // The runner (the queue and the port) and the base of the operations.
      {"device/link",
       {"device/serial", "device/protocol", "library", "format", "session", "fileio", "base"},
       false},
      // The operations speak the protocol: no files, no backups, no jobs.
      {"device/operations",
       {"device/link", "device/serial", "device/protocol", "library", "format", "session", "fileio",
        "base"},
       false},
      {"device/jobs",
       {"device/operations", "device/link", "device/serial", "device/protocol", "storage",
        "library", "format", "session", "fileio", "base"},
       false},
      {"device/remote",
       {"device/jobs", "device/link", "device/serial", "device/protocol", "storage", "library",
        "format", "session", "fileio", "base"},
       false},
      {"plot", {"session", "fileio", "base"}, false},
      {"sound", {"session", "fileio", "base"}, true},
      // Links libsndfile, but no Qt.
      {"sound/file", {"sound", "session", "fileio", "base"}, true},
      // The sound output: links libpulse, but no Qt. A library of its own
      // that the windows open at the first Play and know only through
      // sound/SessionOutput.h, so no layer includes it.
      {"sound/output", {"sound", "session", "fileio", "base"}, true},
      {"ui", {"storage", "library", "format", "session", "fileio", "base"}, false},
      {"editor",
       {"ui", "plot", "sound", "storage", "library", "format", "session", "fileio", "base"},
       false},
      {"compiler", {"ui", "storage", "library", "format", "session", "fileio", "base"}, false},
      {"memory",
       {"ui", "plot", "device/jobs", "device/link", "storage", "library", "format", "session",
        "fileio", "base"},
       false},
      {"cli",
       {"plot", "sound/file", "sound", "device/remote", "device/jobs", "device/link",
        "device/serial", "device/protocol", "storage", "library", "format", "session", "fileio",
        "base"},
       false},
      {"app",
       {"editor", "compiler", "memory", "ui", "plot", "sound", "device/remote", "device/jobs",
        "device/link", "device/serial", "device/protocol", "storage", "library", "format",
        "session", "fileio", "base"},
       false},
      // The emulator is an independent device: it shares no code with the
      // program it answers, so that a fault in the program's framing cannot
      // hide behind the same fault in the emulator.
      {"tools/devsim", {}, true},
      // Renders the user guide into the help PDF at build time: Qt and the
      // generated product header only.
      {"tools/helpdoc", {}, false},
  };
  return layers;
}

// Single files of an allowed layer that a layer may not include all the
// same: an operation gets its narrow context, never the runner itself.
struct Ban {
  std::string Folder;
  std::string Included;
  std::string Why;
};
const std::vector<Ban>& Bans() {
  static const std::vector<Ban> bans = {
      {"device/operations", "device/link/DeviceLink.h",
       "an operation may not include the runner: it gets an OperationContext"},
  };
  return bans;
}

// The layer of a path relative to the root, or null when it lies in none.
const Layer* LayerOf(const std::string& path) {
  const Layer* best = nullptr;
  for (const Layer& layer : Layers()) {
    const std::string& f = layer.Folder;
    if (path.size() > f.size() && path.compare(0, f.size(), f) == 0 && path[f.size()] == '/' &&
        (!best || f.size() > best->Folder.size())) {
      best = &layer;
    }
  }
  return best;
}

}  // namespace

std::vector<std::filesystem::path> ProgramSources(const std::filesystem::path& root) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  if (!fs::is_directory(root)) return files;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    const std::string name = it->path().filename().string();
    if (it->is_directory() && it.depth() == 0 &&
        (name == "tests" || name == "bench" || name.rfind("build", 0) == 0 || name[0] == '.')) {
      it.disable_recursion_pending();
      continue;
    }
    const std::string ext = it->path().extension().string();
    if (it->is_regular_file() && (ext == ".h" || ext == ".cpp")) files.push_back(it->path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::vector<Violation> CheckLayers(const std::filesystem::path& root) {
  namespace fs = std::filesystem;
  static const std::regex projectInclude(R"re(^\s*#\s*include\s*"([^"]+)")re");
  static const std::regex qtInclude(R"(^\s*#\s*include\s*<(Q[A-Za-z]*)[/>])");
  std::vector<Violation> found;
  for (const fs::path& file : ProgramSources(root)) {
    const std::string relative = file.lexically_relative(root).generic_string();
    const Layer* own = LayerOf(relative);
    if (!own) {
      found.push_back({relative, 0, {}, "the file lies in no layer of the table"});
      continue;
    }
    std::ifstream in(file);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
      std::smatch m;
      if (own->StandardLibraryOnly && std::regex_search(line, m, qtInclude)) {
        found.push_back({relative, number, m[1].str(), "a layer of pure logic includes Qt"});
        continue;
      }
      if (!std::regex_search(line, m, projectInclude)) continue;
      const std::string included = m[1].str();
      const Layer* target = LayerOf(included);
      // Includes relative to the file's own folder, and generated headers,
      // name no layer.
      if (!target || target == own) continue;
      if (!own->MayInclude.count(target->Folder)) {
        found.push_back(
            {relative, number, included, own->Folder + " may not include " + target->Folder});
        continue;
      }
      for (const Ban& ban : Bans()) {
        if (ban.Folder == own->Folder && ban.Included == included)
          found.push_back({relative, number, included, ban.Why});
      }
    }
  }
  return found;
}

}  // namespace ovrel::layers
