#pragma once
// Export of a session as semicolon-separated text that traces the frequency
// over time: the session's name, an empty line, then a start and an end
// point for every segment ("elapsed seconds;m:ss;frequency;pitch").

#include <string>

#include "fileio/AtomicFile.h"
#include "session/Session.h"

namespace ovrel {

// The whole export text, CR LF line ends: 2 + 2 x SegCount lines.
std::string SesCsvText(const Session& ses, const std::string& sesName);

// Writes the export to path, replacing any file there; the file is either
// written whole or left as it was.
FileWriteResult ExportSesAsCSV(const Session& ses, const std::string& sesName,
                               const std::string& path);

// The name the export proposes: the folder of sesFileName (up to and
// including its last slash; none for an unsaved session), sesName and ".csv".
std::string CsvExportFileName(const std::string& sesFileName, const std::string& sesName);

}  // namespace ovrel
