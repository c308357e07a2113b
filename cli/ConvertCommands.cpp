// ovrel convert: a session between the session file (.svs) and the
// schedules of other beat generators (.sbg, .gnaural), through the same
// readers and writers as the editor's Import and Export.

#include <algorithm>
#include <filesystem>
#include <iostream>

#include "ProductInfo.h"
#include "cli/Command.h"
#include "cli/Context.h"
#include "fileio/AtomicFile.h"
#include "format/FileFormats.h"
#include "session/Sweep.h"

namespace ovrel::cli {

namespace {

constexpr const char* kConvertHelp =
    "Usage: ovrel convert [--length MIN] IN OUT\n"
    "Converts a session between the formats named by the files' extensions:\n"
    ".svs (session file), .sbg (SBaGen schedule, also played by FFmpeg) and\n"
    ".gnaural (Gnaural schedule). A schedule's first binaural tone gives each\n"
    "segment's frequency and pitch; durations become whole 15-second units and\n"
    "long stretches are split. Every change the import makes (a rounded or\n"
    "clamped value, a rounded duration, a pitch glide, a voice or tone not taken\n"
    "over) is listed on stderr with the line or entry it came from. Schedules carry\n"
    "no stimulation mode: imported segments get mode IN. An export writes every\n"
    "segment point exactly, sweeps as slides, no fades.\n"
    "A schedule whose last tone-set plays on with no end gets 30 minutes of it.\n"
    "Exit status 2 for an extension other than .svs, .sbg or .gnaural.\n";

// The formats convert reads and writes: the session file and the
// schedules.
const std::initializer_list<FormatRole> kConvertRoles = {FormatRole::SessionFile,
                                                         FormatRole::Schedule};

int Convert(Context& ctx, const CommandLine& line) {
  std::vector<std::string> files;
  for (const QString& file : line.Positional()) files.push_back(file.toStdString());
  ImportOptions options;
  if (line.IsSet(QStringLiteral("length"))) {
    const auto minutes = ParseMinutesText(line.Value(QStringLiteral("length")).toStdString());
    if (!minutes || *minutes % 60 != 0 || *minutes < 60 ||
        *minutes > int64_t{kMaxOpenEndMinutes} * 60)
      return ctx.UsageError("convert", "--length needs whole minutes from 1 to " +
                                           std::to_string(kMaxOpenEndMinutes) + ".");
    options.OpenEndMinutes = static_cast<int32_t>(*minutes / 60);
  }
  if (files.size() != 2) return ctx.UsageError("convert", "give one input and one output file.");
  const std::string& in = files[0];
  const std::string& out = files[1];
  const std::vector<const FileFormat*> writable = WritableFormats(kConvertRoles);
  if (RefuseOutput(ctx, "convert", out, Extensions(writable), {in}) != ExitOk) return ExitUsage;
  const FileFormat* outFormat = FileFormatOf(out);
  const bool inKnown = std::ranges::count(ReadableFormats(kConvertRoles), FileFormatOf(in)) > 0;
  const bool outKnown = std::ranges::count(writable, outFormat) > 0;
  for (const auto& [f, known] : {std::pair{in, inKnown}, std::pair{out, outKnown}}) {
    if (!known)
      return ctx.UsageError("convert",
                            "\"" + f + "\" is not " + ExtensionsText(writable) + " file.");
  }

  const ExchangeRead read = ReadFormatFile(in, kConvertRoles, options);
  if (!read) return ctx.Failure(read.Error());
  for (const std::string& change : read->Changes) ctx.Err() << in << ": " << change << "\n";
  const Session& ses = read->Session;

  const std::string name = std::filesystem::path(in).stem().string();
  const FileWriteResult written = WriteFormatFile(out, kConvertRoles, ses, name, kProductTitle);
  if (written && outFormat->Role == FormatRole::Schedule) {
    for (int32_t k = 1; k <= ses.SegCount; ++k) {
      if (ses[k].Mode == kImportedMode) continue;
      ctx.Err() << out << ": the segments' modes are not part of this format; segment " << k
                << " and others read back with mode IN.\n";
      break;
    }
  }
  if (!written) return ctx.Failure(written.Error());
  return ExitOk;
}

}  // namespace

std::vector<Command> ConvertCommands() {
  return {{.name = "convert",
           .summary = "convert a session between .svs, .sbg and .gnaural",
           .usage = kConvertHelp,
           .options = {{{QStringLiteral("length")},
                        QStringLiteral("MIN"),
                        QStringLiteral("how long an open end plays (1 to 2185 minutes)")}},
           .run = Convert,
           .writesFiles = true}};
}

}  // namespace ovrel::cli
