// ovrel list, extract and remove: the sessions that the device's memory
// (or a library file) holds, one by one.

#include <QDir>
#include <QJsonValue>
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>

#include "cli/Command.h"
#include "cli/CommandLine.h"
#include "cli/DeviceSession.h"
#include "storage/ProgramFolder.h"
#include "library/LibraryFileRead.h"
#include "library/LibraryCompiler.h"
#include "library/LibraryEdit.h"
#include "library/MemoryBudget.h"
#include "fileio/AtomicFile.h"
#include "fileio/FileBytes.h"

namespace ovrel::cli {
namespace {

constexpr const char* kListHelp =
    "Usage: ovrel list (--port PORT | LIBRARY.svl) [--sessions FOLDER]\n"
    "Lists the sessions that the device's memory (read from PORT and kept in the\n"
    "backup history) or a library file holds, one a line: its number, its length\n"
    "M:SS as the library stores it, its segments and the session file of FOLDER\n"
    "with the same segments (\"-\" when there is none), then the free memory.\n";

constexpr const char* kListNotes =
    "With --json, each session is an object {\"event\": \"session\", \"index\": N,\n"
    "\"minutes\": M, \"seconds\": S, \"segments\": K, \"bytes\": B, \"file\": PATH or\n"
    "null}: index from 1, minutes and seconds as the library stores them, bytes\n"
    "the memory the session takes (its record and its entry in the offset table).\n"
    "The free memory follows as {\"event\": \"memory\", \"free\": F, \"percent\": P}.\n";

constexpr const char* kExtractHelp =
    "Usage: ovrel extract N (--port PORT | LIBRARY.svl) -o OUT.svs\n"
    "Writes session N (from 1) of the device's memory or of a library file as a\n"
    "session file that the editor opens and that, compiled alone, gives the same\n"
    "session bytes. The segment lines carry the stored bytes as they are. The total\n"
    "time line carries the length computed from the segments when the library's\n"
    "two length bytes agree with it (a library keeps only the low 8 bits of the\n"
    "minutes, so a session of 300 minutes is stored as 44 and written as 300), and\n"
    "the two stored bytes otherwise.\n";

constexpr const char* kSessionsHelp =
    "where to look for the session files (default: the\n"
    "Sessions folder of the program folder)";

constexpr const char* kRemoveHelp =
    "Usage: ovrel remove N [N ...] --port PORT [--verify]\n"
    "       ovrel remove N [N ...] LIBRARY.svl -o OUT.svl\n"
    "Removes sessions N ... (numbered from 1, as \"ovrel list\" shows them). From the\n"
    "device: reads its memory (kept in the backup history, so \"ovrel restore\"\n"
    "puts it back), and uploads the library of the remaining sessions, in their\n"
    "order, as the compiler would build it. From a file: writes that library to\n"
    "OUT.svl and leaves LIBRARY.svl as it is. A number that names no session,\n"
    "or a memory that holds no valid library, is refused before anything is\n"
    "written.\n";

struct MemoryArgs {
  std::vector<int> Numbers;  // from 1, as given
  QString Port;
  std::string Library;
  std::string Output;
  std::string SessionsFolder;
  bool Verify = false;
};

std::optional<int> SessionNumber(const std::string& arg) {
  int value = 0;
  const auto [end, error] = std::from_chars(arg.data(), arg.data() + arg.size(), value);
  if (error != std::errc{} || end != arg.data() + arg.size() || arg.empty()) return std::nullopt;
  return value;
}

enum class Verb { List, Extract, Remove };

// Reads the arguments of list, extract or remove (named `name` in
// messages); nothing (after reporting the usage error) when they are
// wrong. A number that can name no session is refused here, before the
// device is touched.
std::optional<MemoryArgs> ReadArguments(Context& ctx, Verb verb, const char* name,
                                        const CommandLine& line) {
  const bool takesNumbers = verb != Verb::List;
  const bool takesVerify = verb == Verb::Remove;
  auto usage = [&](const std::string& what) {
    ctx.UsageError(name, what);
    return std::nullopt;
  };
  MemoryArgs out;
  out.Port = line.Value(QStringLiteral("port"));
  if (takesNumbers) out.Output = line.Value(QStringLiteral("o")).toStdString();
  else
    out.SessionsFolder = line.Value(QStringLiteral("sessions")).toStdString();
  out.Verify = takesVerify && line.IsSet(QStringLiteral("verify"));
  std::vector<std::string> positional;
  for (const QString& arg : line.Positional()) positional.push_back(arg.toStdString());
  // The session numbers come first: the library file is the last argument
  // after them (with --port, only when it is no number, to be refused below).
  const bool lastIsLibrary =
      positional.size() > (takesNumbers ? 1u : 0u) &&
      (!takesNumbers || out.Port.isEmpty() || !SessionNumber(positional.back()));
  if (lastIsLibrary) {
    out.Library = positional.back();
    positional.pop_back();
  }
  if (!takesNumbers && !positional.empty()) return usage("takes one library file.");
  for (const std::string& arg : positional) {
    const std::optional<int> number = SessionNumber(arg);
    if (!number) return usage("\"" + arg + "\" is not a session number.");
    if (*number < 1)
      return usage("there is no session " + arg + ": sessions are numbered from 1.");
    out.Numbers.push_back(*number);
  }
  if (out.Port.isEmpty() == out.Library.empty())
    return usage("needs either --port PORT or a library file.");
  if (verb == Verb::Extract) {
    if (out.Numbers.size() != 1) return usage("needs one session number.");
    if (out.Output.empty()) return usage("needs -o OUT.svs.");
    if (RefuseOutput(ctx, name, out.Output, {".svs"}, {out.Library}) != ExitOk) return std::nullopt;
  }
  if (verb == Verb::Remove) {
    if (out.Numbers.empty()) return usage("needs the numbers of the sessions.");
    if (!out.Library.empty()) {
      if (out.Output.empty()) return usage("needs -o OUT.svl for a library file.");
      if (out.Verify) return usage("--verify reads the device back; a file needs no verifying.");
      if (RefuseOutput(ctx, name, out.Output, {".svl"}, {out.Library}) != ExitOk)
        return std::nullopt;
    } else if (!out.Output.empty()) {
      return usage("-o is for a library file; the device's library is written to the device.");
    }
  }
  return out;
}

// The sessions of the library in the file or the device memory the
// arguments name; the device's memory stays in the backup history as a
// plain read. Returns 0, or the exit status of the failure (after saying why).
int ReadSessions(Context& ctx, const MemoryArgs& a, std::unique_ptr<DeviceSession>& device,
                 std::vector<SessionRecord>& sessions) {
  if (!a.Library.empty()) {
    LibraryFileRead file = ReadLibraryFile(a.Library);
    if (const Failure* why = WhyNotSound(file)) {
      return ctx.Failure(why->Kind == Fault::TooLarge
                             ? a.Library + " is no session library: it is longer than 2048 bytes."
                         : why->Kind == Fault::NotLibrary
                             ? a.Library + " holds no valid session library: " + why->Text + "."
                             : why->Text);
    }
    sessions = std::move(*file->Sessions);
    return ExitOk;
  }
  device = std::make_unique<DeviceSession>(ctx);
  device->Service.SetPort(a.Port);
  JobResult result;
  if (const int status = device->ReadMemory(result)) return status;
  LibrarySessions read = ReadLibrarySessions(*result.MemImg, LibImageLength::Memory);
  if (!read) {
    return ctx.Failure(
        "The session memory of Sorvani holds no valid session library: " + read.Error() + ".");
  }
  sessions = std::move(*read);
  return ExitOk;
}

// Refuses a session number outside 1 .. count.
int CheckNumbers(Context& ctx, const std::vector<int>& numbers, std::size_t count) {
  for (const int n : numbers) {
    if (n < 1 || static_cast<std::size_t>(n) > count) {
      return ctx.Failure("There is no session " + std::to_string(n) + ": the library holds " +
                     std::to_string(count) + (count == 1 ? " session." : " sessions."));
    }
  }
  return ExitOk;
}

std::string Length(const SessionRecord& s) {
  char text[16];
  std::snprintf(text, sizeof text, "%d:%02d", int{s.Minutes}, int{s.Seconds});
  return text;
}

int List(Context& ctx, const CommandLine& line) {
  const std::optional<MemoryArgs> a = ReadArguments(ctx, Verb::List, "list", line);
  if (!a) return ExitUsage;
  return RunWithEventLoop(ctx, [&] {
    std::unique_ptr<DeviceSession> device;
    std::vector<SessionRecord> sessions;
    if (const int status = ReadSessions(ctx, *a, device, sessions)) return status;
    const std::string folder =
        a->SessionsFolder.empty()
            ? (LocateProgramFolders().Program + QStringLiteral("/Sessions")).toStdString()
            : a->SessionsFolder;
    const std::vector<FolderSession> files = ScanSessionFolder(folder);
    std::int64_t segments = 0;
    for (std::size_t k = 0; k < sessions.size(); ++k) {
      const SessionRecord& s = sessions[k];
      const FolderSession* match = MatchSessionFile(s, files);
      const int count = static_cast<int>(s.Segments.size());
      segments += count;
      ctx.Emit(QStringLiteral("session"),
               {{QStringLiteral("index"), static_cast<int>(k + 1)},
                {QStringLiteral("minutes"), s.Minutes},
                {QStringLiteral("seconds"), s.Seconds},
                {QStringLiteral("segments"), count},
                {QStringLiteral("bytes"), static_cast<qint64>(SessionMemoryBytes(count))},
                {QStringLiteral("file"), match ? QJsonValue(QString::fromStdString(match->Path))
                                               : QJsonValue(QJsonValue::Null)}});
      if (!ctx.Json()) {
        char line[64];
        std::snprintf(line, sizeof line, "%3zu  %7s  %3d segment%s  ", k + 1, Length(s).c_str(),
                      count, count == 1 ? " " : "s");
        ctx.Out() << line << (match ? match->Path : std::string("-")) << "\n";
      }
    }
    const std::int64_t free = SesMemFreeBytes(static_cast<std::int64_t>(sessions.size()), segments);
    const int percent = SesMemPercent(std::clamp<std::int64_t>(free, 0, SesMemSize));
    ctx.Emit(QStringLiteral("memory"), {{QStringLiteral("free"), static_cast<qint64>(free)},
                                        {QStringLiteral("percent"), percent}});
    if (!ctx.Json())
      ctx.Out() << "Free memory: " << free << " bytes, " << AvailMemText(percent) << "\n";
    return static_cast<int>(ExitOk);
  });
}

int Extract(Context& ctx, const CommandLine& line) {
  const std::optional<MemoryArgs> a = ReadArguments(ctx, Verb::Extract, "extract", line);
  if (!a) return ExitUsage;
  return RunWithEventLoop(ctx, [&] {
    std::unique_ptr<DeviceSession> device;
    std::vector<SessionRecord> sessions;
    if (const int status = ReadSessions(ctx, *a, device, sessions)) return status;
    if (const int status = CheckNumbers(ctx, a->Numbers, sessions.size())) return status;
    const SessionRecord& s = sessions[static_cast<std::size_t>(a->Numbers[0] - 1)];
    if (const FileWriteResult written = WriteFileAtomically(a->Output, SessionRecordFileText(s));
        !written) {
      return ctx.Failure(written.Error());
    }
    ctx.NoteOutcome(QStringLiteral("Session %1 written to %2")
                    .arg(a->Numbers[0])
                    .arg(QString::fromStdString(a->Output)));
    ctx.Out() << "Session " << a->Numbers[0] << " (" << Length(s) << ", " << s.Segments.size()
              << " segments) written to " << a->Output << "\n";
    return static_cast<int>(ExitOk);
  });
}

// The library of sessions without the ones numbered (from 1); nothing
// (after saying why) when a number names no session.
std::optional<std::vector<std::uint8_t>> WithoutSessions(Context& ctx,
                                                         std::vector<SessionRecord>& sessions,
                                                         const std::vector<int>& numbers,
                                                         int& status) {
  status = CheckNumbers(ctx, numbers, sessions.size());
  if (status) return std::nullopt;
  std::vector<int> indexes;
  for (const int n : numbers) indexes.push_back(n - 1);
  RemoveSessions(sessions, indexes);
  // Fewer sessions always fit where more did.
  return BuildLibraryImage(sessions).value_or(std::vector<std::uint8_t>{});
}

QString SessionsLeft(std::size_t count) {
  return QStringLiteral("%1 %2 left").arg(count).arg(count == 1 ? QStringLiteral("session")
                                                                : QStringLiteral("sessions"));
}

// A library of more than 30 sessions is sound (adds make them, and the
// device holds them), but the library compiler takes no more than 30: the
// user is told.
void SayWhenOverThirty(Context& ctx, std::size_t count) {
  if (count <= static_cast<std::size_t>(MaxLibSessions)) return;
  ctx.Say(QStringLiteral("The library still holds %1 sessions, more than the %2 that the library "
                         "compiler takes.")
              .arg(count)
              .arg(MaxLibSessions));
}

int RemoveFromFile(Context& ctx, const MemoryArgs& a) {
  std::unique_ptr<DeviceSession> device;
  std::vector<SessionRecord> sessions;
  if (const int status = ReadSessions(ctx, a, device, sessions)) return status;
  int status = ExitOk;
  const auto image = WithoutSessions(ctx, sessions, a.Numbers, status);
  if (!image) return status;
  if (const auto error = WriteLibraryFile(a.Output, *image)) return ctx.Failure(*error);
  SayWhenOverThirty(ctx, sessions.size());
  return ctx.Finish(ExitOk, QStringLiteral("%1 written to %2")
                                .arg(SessionsLeft(sessions.size()))
                                .arg(QString::fromStdString(a.Output)));
}

// From the device: one job reads the memory (kept in the backup history),
// removes the sessions from what it read and writes the rest.
int RemoveFromDevice(Context& ctx, const MemoryArgs& a) {
  DeviceSession device(ctx);
  device.Service.SetPort(a.Port);
  int status = ExitOk;
  std::size_t left = 0;
  const auto edit = [&](const MemoryImage& read) -> std::optional<MemoryImage> {
    LibrarySessions found = ReadLibrarySessions(read, LibImageLength::Memory);
    if (!found) {
      status = ctx.Failure(
          "The session memory of Sorvani holds no valid session library: " + found.Error() + ".");
      return std::nullopt;
    }
    const auto image = WithoutSessions(ctx, *found, a.Numbers, status);
    if (!image) return std::nullopt;
    left = found->size();
    return MemoryImageOf(*image);
  };
  // The text of a write that went through names what is left, known once
  // the sessions were removed.
  QString written;
  const auto result = device.RunToEnd([&](DeviceService::Done done) {
    DeviceJob* job = device.Service.Edit(edit, device.Options(true, a.Verify), done);
    QObject::connect(job, &DeviceJob::StageStarted, job, [&](JobStage stage) {
      if (stage != JobStage::Write) return;
      written = QStringLiteral("Sorvani session library uploaded successfully, %1")
                    .arg(SessionsLeft(left));
      SayWhenOverThirty(ctx, left);
    });
    // Connected after the text is made: told the stages in this order.
    device.SayStages(job, {});
    QObject::connect(job, &DeviceJob::StageEnded, job, [&](JobStage stage) {
      if (stage == JobStage::Write) ctx.Finish(ExitOk, written);
    });
  });
  if (status) return status;
  return device.Wrote(result, written, QStringLiteral("Sorvani session library upload failed"));
}

int Remove(Context& ctx, const CommandLine& line) {
  const std::optional<MemoryArgs> a = ReadArguments(ctx, Verb::Remove, "remove", line);
  if (!a) return ExitUsage;
  return RunWithEventLoop(
      ctx, [&] { return a->Library.empty() ? RemoveFromDevice(ctx, *a) : RemoveFromFile(ctx, *a); });
}

OptionSpec PortOption() {
  return {
      {QStringLiteral("port")}, QStringLiteral("PORT"), QStringLiteral("the device's serial port")};
}

}  // namespace

std::vector<Command> MemoryCommands() {
  const OptionSpec verify{{QStringLiteral("verify")},
                          {},
                          QStringLiteral("read the memory back afterwards and compare it\n"
                                         "with what was written")};
  return {
      {.name = "list",
       .summary = "list the sessions in the device or in a library file",
       .usage = kListHelp,
       .options = {PortOption(),
                   {{QStringLiteral("sessions")},
                    QStringLiteral("FOLDER"),
                    QString::fromLatin1(kSessionsHelp)}},
       .notes = kListNotes,
       .run = List,
       .watchesSignals = true},
      {.name = "extract",
       .summary = "write one session of the device or a library as a session file",
       .usage = kExtractHelp,
       .options = {PortOption(), OutputOption("OUT.svs", "the session file to write (required)")},
       .run = Extract,
       .watchesSignals = true},
      {.name = "remove",
       .summary = "remove sessions from the device or from a library file",
       .usage = kRemoveHelp,
       .options = {PortOption(), verify,
                   OutputOption("OUT.svl", "the library file to write (for a library file)")},
       .run = Remove,
       .watchesSignals = true},
  };
}

}  // namespace ovrel::cli
