// ovrel info: what a session file or a library file holds.

#include <QJsonArray>
#include <QJsonObject>
#include <cstdio>

#include "cli/Command.h"
#include "cli/CommandLine.h"
#include "library/LibraryFileRead.h"
#include "library/LibraryImage.h"
#include "fileio/FileBytes.h"
#include "session/SesTime.h"
#include "format/SessionFile.h"

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

int SessionInfo(Context& ctx, const std::string& path, const std::string& text) {
  const SessionReadResult read = ReadSessionText(text, path);
  if (!read) return ctx.Failure(read.Error());
  const Session& ses = *read;
  QJsonArray segments;
  for (int32_t k = 1; k <= ses.SegCount; ++k) {
    QJsonObject segment;
    for (int row = RowSegNo + 1; row < SegRowCount; ++row)
      segment.insert(QString::fromLatin1(RowCaption(row)),
                     QString::fromStdString(SegCellText(ses[k], k, row)));
    segments.append(segment);
  }
  ctx.Emit(QStringLiteral("info"),
           {{QStringLiteral("file"), QString::fromStdString(path)},
            {QStringLiteral("kind"), QStringLiteral("session")},
            {QStringLiteral("totalTime"), QString::fromStdString(TimeText(SesTotalSeconds(ses)))},
            {QStringLiteral("segments"), segments}});
  ctx.Out() << path << ": session, " << ses.SegCount << " segment" << (ses.SegCount == 1 ? "" : "s")
            << ", total time " << TimeText(SesTotalSeconds(ses)) << "\n";
  std::vector<std::size_t> widths;
  for (int row = RowSegNo; row < SegRowCount; ++row) {
    widths.push_back(std::string(RowCaption(row)).size());
    ctx.Out() << (row == RowSegNo ? "" : "  ") << RowCaption(row);
  }
  ctx.Out() << "\n";
  for (int32_t k = 1; k <= ses.SegCount; ++k) {
    for (int row = RowSegNo; row < SegRowCount; ++row)
      ctx.Out() << (row == RowSegNo ? "" : "  ") << Pad(SegCellText(ses[k], k, row), widths[row]);
    ctx.Out() << "\n";
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

void EmitLibraryInfo(Context& ctx, const std::string& path, std::size_t size, const LibImageInfo& info) {
  QJsonArray sessions;
  for (const LibImageSession& s : info.Sessions) {
    sessions.append(QJsonObject{
        {QStringLiteral("offset"), s.Offset},
        {QStringLiteral("length"), QString::fromStdString(LengthText(s.Minutes, s.Seconds))},
        {QStringLiteral("segments"), s.Segments}});
  }
  QJsonArray problems;
  for (const std::string& problem : info.Problems) problems.append(QString::fromStdString(problem));
  ctx.Emit(QStringLiteral("info"),
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

int PrintLibraryInfo(Context& ctx, const std::string& path, const std::vector<std::uint8_t>& bytes) {
  const LibImageInfo info = ReadLibraryImage(bytes, LibraryFileLength(bytes.size()));
  EmitLibraryInfo(ctx, path, bytes.size(), info);
  ctx.Out() << path << ": library, " << bytes.size() << " bytes\n";
  if (info.Version >= 0) ctx.Out() << "Version: " << info.Version << "\n";
  // A file shorter than an empty library has no count or offset to show.
  if (bytes.size() >= 5) {
    ctx.Out() << "Sessions: " << info.SessionCount << "\n"
              << "Checksum offset (L): " << info.ChecksumOffset << "\n";
    if (!info.Sessions.empty()) ctx.Out() << "Session  Offset  Length  Segments\n";
    for (std::size_t k = 0; k < info.Sessions.size(); ++k) {
      const LibImageSession& s = info.Sessions[k];
      ctx.Out() << Pad(std::to_string(k + 1), 7) << "  " << Pad(std::to_string(s.Offset), 6) << "  "
                << Pad(LengthText(s.Minutes, s.Seconds), 6) << "  "
                << Pad(std::to_string(s.Segments), 8) << "\n";
    }
    ctx.Out() << "Free bytes: " << info.FreeBytes << "\n";
  }
  if (info.StoredChecksum >= 0) {
    ctx.Out() << "Checksum: " << Hex(info.StoredChecksum)
              << (info.ChecksumMatches()
                      ? ", matches"
                      : ", does not match (computed " + Hex(info.ComputedChecksum) + ")")
              << "\n";
  }
  // Sound or not as every command decides it.
  const std::string problems = LibraryFileProblems(bytes);
  if (problems.empty()) return ExitOk;
  return ctx.Failure(path + ": not a sound library: " + problems + ".");
}

namespace {

int Info(Context& ctx, const CommandLine& line) {
  const QStringList files = line.Positional();
  if (files.isEmpty()) return ctx.UsageError("info", "no file given.");
  int status = ExitOk;
  for (qsizetype i = 0; i < files.size(); ++i) {
    const std::string path = files[i].toStdString();
    if (i > 0) ctx.Out() << "\n";
    const FileBytes file = ReadFileBytes(path, kMaxTextFileBytes);
    if (!file) {
      status = ctx.Failure(file.Error());
      continue;
    }
    const std::vector<std::uint8_t> bytes(file->begin(), file->end());
    const bool library =
        HasExtension(path, ".svl") ||
        (!HasExtension(path, ".svs") && !bytes.empty() && bytes[0] == LibFormatVersion);
    const int result = library ? PrintLibraryInfo(ctx, path, bytes) : SessionInfo(ctx, path, *file);
    if (result != ExitOk) status = result;
  }
  return status;
}

}  // namespace

std::vector<Command> InfoCommands() {
  return {{.name = "info",
           .summary = "show what a session file or a library file holds",
           .usage = kInfoHelp,
           .options = {},
           .run = Info}};
}

}  // namespace ovrel::cli
