// ovrel info: what a session file or a library file holds.

#include <QJsonArray>
#include <QJsonObject>
#include <cstdio>
#include <iostream>

#include "cli/Command.h"
#include "cli/JsonOutput.h"
#include "library/LibraryFileRead.h"
#include "library/LibraryImage.h"
#include "session/FileBytes.h"
#include "session/SesTime.h"
#include "session/SessionFile.h"

namespace ovrel::cli {

namespace {

constexpr const char* kInfoHelp =
    "Usage: ovrel info FILE ...\n"
    "For a session file (.svs): its segment count, total time and one line per\n"
    "segment with the texts of the session editor's grid.\n"
    "For a library file (.svl): version, session count, checksum offset L, each\n"
    "session's offset, length and segment count, the free bytes of the session\n"
    "memory and whether the stored checksum matches.\n"
    "A file that is neither .svs nor .svl is read as a library when its first byte\n"
    "is the format version 23, else as a session.\n"
    "Exits with 1 when a file cannot be read or is not sound.\n";

// Right-aligns `text` in `width` columns.
std::string Pad(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

int SessionInfo(const std::string& path, const std::string& text) {
  const SessionReadResult read = ReadSessionText(text, path);
  if (!read) return Failure(read.Error);
  const Session& ses = *read.Session;
  QJsonArray segments;
  for (int32_t k = 1; k <= ses.SegCount; ++k) {
    QJsonObject segment;
    for (int row = RowSegNo + 1; row < SegRowCount; ++row)
      segment.insert(QString::fromLatin1(RowCaption(row)),
                     QString::fromStdString(SegCellText(ses[k], k, row)));
    segments.append(segment);
  }
  EmitJson(QStringLiteral("info"),
           {{QStringLiteral("file"), QString::fromStdString(path)},
            {QStringLiteral("kind"), QStringLiteral("session")},
            {QStringLiteral("totalTime"), QString::fromStdString(TimeText(SesTotalSeconds(ses)))},
            {QStringLiteral("segments"), segments}});
  std::cout << path << ": session, " << ses.SegCount << " segment" << (ses.SegCount == 1 ? "" : "s")
            << ", total time " << TimeText(SesTotalSeconds(ses)) << "\n";
  std::vector<std::size_t> widths;
  for (int row = RowSegNo; row < SegRowCount; ++row) {
    widths.push_back(std::string(RowCaption(row)).size());
    std::cout << (row == RowSegNo ? "" : "  ") << RowCaption(row);
  }
  std::cout << "\n";
  for (int32_t k = 1; k <= ses.SegCount; ++k) {
    for (int row = RowSegNo; row < SegRowCount; ++row)
      std::cout << (row == RowSegNo ? "" : "  ") << Pad(SegCellText(ses[k], k, row), widths[row]);
    std::cout << "\n";
  }
  return ExitOk;
}

std::string LengthText(int minutes, int seconds) {
  char text[16];
  std::snprintf(text, sizeof text, "%d:%02d", minutes, seconds);
  return text;
}

std::string Hex(int byte) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X", byte);
  return text;
}

void EmitLibraryInfo(const std::string& path, std::size_t size, const LibImageInfo& info) {
  QJsonArray sessions;
  for (const LibImageSession& s : info.Sessions) {
    sessions.append(QJsonObject{
        {QStringLiteral("offset"), s.Offset},
        {QStringLiteral("length"), QString::fromStdString(LengthText(s.Minutes, s.Seconds))},
        {QStringLiteral("segments"), s.Segments}});
  }
  QJsonArray problems;
  for (const std::string& problem : info.Problems) problems.append(QString::fromStdString(problem));
  EmitJson(QStringLiteral("info"),
           {{QStringLiteral("file"), QString::fromStdString(path)},
            {QStringLiteral("kind"), QStringLiteral("library")},
            {QStringLiteral("bytes"), static_cast<qint64>(size)},
            {QStringLiteral("version"), info.Version},
            {QStringLiteral("checksumOffset"), info.ChecksumOffset},
            {QStringLiteral("freeBytes"), static_cast<qint64>(info.FreeBytes)},
            {QStringLiteral("checksumMatches"), info.ChecksumMatches()},
            {QStringLiteral("sessions"), sessions},
            {QStringLiteral("problems"), problems}});
}

}  // namespace

int PrintLibraryInfo(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  const LibImageInfo info = ReadLibraryImage(bytes, LibraryFileLength(bytes.size()));
  EmitLibraryInfo(path, bytes.size(), info);
  std::cout << path << ": library, " << bytes.size() << " bytes\n";
  if (info.Version >= 0) std::cout << "Version: " << info.Version << "\n";
  // A file shorter than an empty library has no count or offset to show.
  if (bytes.size() >= 5) {
    std::cout << "Sessions: " << info.SessionCount << "\n"
              << "Checksum offset (L): " << info.ChecksumOffset << "\n";
    if (!info.Sessions.empty()) std::cout << "Session  Offset  Length  Segments\n";
    for (std::size_t k = 0; k < info.Sessions.size(); ++k) {
      const LibImageSession& s = info.Sessions[k];
      std::cout << Pad(std::to_string(k + 1), 7) << "  " << Pad(std::to_string(s.Offset), 6) << "  "
                << Pad(LengthText(s.Minutes, s.Seconds), 6) << "  "
                << Pad(std::to_string(s.Segments), 8) << "\n";
    }
    std::cout << "Free bytes: " << info.FreeBytes << "\n";
  }
  if (info.StoredChecksum >= 0) {
    std::cout << "Checksum: " << Hex(info.StoredChecksum)
              << (info.ChecksumMatches()
                      ? ", matches"
                      : ", does not match (computed " + Hex(info.ComputedChecksum) + ")")
              << "\n";
  }
  // Sound or not as every command decides it.
  const std::string problems = LibraryFileProblems(bytes);
  if (problems.empty()) return ExitOk;
  return Failure(path + ": not a sound library: " + problems + ".");
}

namespace {

int Info(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg.size() > 1 && arg[0] == '-')
      return UsageError("info", "unknown option \"" + arg + "\".");
  }
  if (args.empty()) return UsageError("info", "no file given.");
  int status = ExitOk;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& path = args[i];
    if (i > 0) std::cout << "\n";
    const FileBytes file = ReadFileBytes(path, kMaxTextFileBytes);
    if (!file) {
      status = Failure(file.Error);
      continue;
    }
    const std::vector<std::uint8_t> bytes(file.Bytes->begin(), file.Bytes->end());
    const bool library =
        HasExtension(path, ".svl") ||
        (!HasExtension(path, ".svs") && !bytes.empty() && bytes[0] == LibFormatVersion);
    const int result = library ? PrintLibraryInfo(path, bytes) : SessionInfo(path, *file.Bytes);
    if (result != ExitOk) status = result;
  }
  return status;
}

}  // namespace

std::vector<Command> InfoCommands() {
  return {{"info", "show what a session file or a library file holds", kInfoHelp, Info}};
}

}  // namespace ovrel::cli
