#include "format/FileFormats.h"

#include <algorithm>
#include <cctype>

#include "fileio/FileBytes.h"
#include "format/CsvExport.h"
#include "format/GnauralFormat.h"
#include "format/LegacyImport.h"
#include "format/SbgFormat.h"
#include "format/SessionFile.h"

namespace ovrel {

namespace {

ExchangeRead ReadSessionFormat(std::string_view text, const std::string& sourceName,
                               const ImportOptions&) {
  SessionReadResult read = ReadSessionText(text, sourceName);
  if (!read) return read.Failed();
  return ExchangeImport{.Session = std::move(*read)};
}

std::string WriteSessionFormat(const Session& ses, const std::string&, const std::string&) {
  return SessionFileText(ses);
}

// The legacy reader as the table reads it: the session before the editor's
// optimisation, with a cut at the segment limit listed.
ExchangeRead ReadLegacyFormat(std::string_view text, const std::string& sourceName,
                              const ImportOptions&) {
  RvxReadResult read = ConvertRvxText(text);
  if (!read) return Failure{read.Kind(), sourceName + ": " + kRvxImportFailed + " " + read.Error()};
  ExchangeImport out{.Session = std::move(read->Ses)};
  if (read->Truncated) out.Changes.push_back(kRvxTruncated);
  return out;
}

// A schedule reader's message names the place in the file; the file's
// name goes before it.
template <ExchangeRead (*ReadText)(std::string_view, const ImportOptions&)>
ExchangeRead ReadSchedule(std::string_view text, const std::string& sourceName,
                          const ImportOptions& options) {
  ExchangeRead read = ReadText(text, options);
  if (!read) return Failure{read.Kind(), sourceName + ": " + read.Error()};
  return read;
}

ExchangeRead ReadSbg(std::string_view text, const ImportOptions& options) {
  return ReadSbgText(text, options);
}

ExchangeRead ReadGnaural(std::string_view text, const ImportOptions&) {
  return ReadGnauralText(text);
}

// The schedules hold a frequency below zero (and a pitch of zero or less)
// in no form a reader takes back; a session file may hold such values.
std::string ScheduleCannotHold(const Session& ses) {
  for (int32_t k = 1; k <= ses.SegCount; ++k) {
    const Segment& seg = ses[k];
    if (seg.FreqStart < 0 || seg.FreqEnd < 0 || seg.Pitch <= 0 || seg.Time < 0)
      return "segment " + std::to_string(k) +
             " has a frequency below 0, a pitch of 0 or less, or a negative time, "
             "which a schedule cannot hold.";
  }
  return {};
}

std::string WriteCsv(const Session& ses, const std::string& sesName, const std::string&) {
  return SesCsvText(ses, sesName);
}

constexpr FileFormat kFormats[] = {
    {".svs", "Sorvani Pro session (*.svs)", FormatRole::SessionFile, ReadSessionFormat,
     WriteSessionFormat, nullptr, nullptr},
    {".rvx", "RVX file", FormatRole::Legacy, ReadLegacyFormat, nullptr, nullptr, nullptr},
    {".sbg", "SBaGen schedule (*.sbg)", FormatRole::Schedule, ReadSchedule<ReadSbg>, SbgText,
     ScheduleCannotHold, SbgEndsOpen},
    {".gnaural", "Gnaural schedule (*.gnaural)", FormatRole::Schedule, ReadSchedule<ReadGnaural>,
     GnauralText, ScheduleCannotHold, nullptr},
    {".csv", "Exported session (*.csv)", FormatRole::Table, nullptr, WriteCsv, nullptr, nullptr},
};

bool HasRole(const FileFormat& format, std::initializer_list<FormatRole> roles) {
  return std::find(roles.begin(), roles.end(), format.Role) != roles.end();
}

template <typename Wanted>
std::vector<const FileFormat*> FormatsWhere(std::initializer_list<FormatRole> roles,
                                            Wanted wanted) {
  std::vector<const FileFormat*> out;
  for (const FileFormat& format : kFormats)
    if (HasRole(format, roles) && wanted(format)) out.push_back(&format);
  return out;
}

std::string Pattern(const FileFormat& format) {
  return "*" + std::string(format.Extension);
}

}  // namespace

std::span<const FileFormat> FileFormats() {
  return kFormats;
}

const FileFormat* FileFormatOf(const std::string& path) {
  std::string lower = path;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const FileFormat& format : kFormats)
    if (lower.ends_with(format.Extension)) return &format;
  return nullptr;
}

std::vector<const FileFormat*> ReadableFormats(std::initializer_list<FormatRole> roles) {
  return FormatsWhere(roles, [](const FileFormat& f) { return f.Read != nullptr; });
}

std::vector<const FileFormat*> WritableFormats(std::initializer_list<FormatRole> roles) {
  return FormatsWhere(roles, [](const FileFormat& f) { return f.Write != nullptr; });
}

std::string DialogFilter(const std::vector<const FileFormat*>& formats) {
  std::string out;
  for (const FileFormat* format : formats) {
    if (!out.empty()) out += '|';
    out += std::string(format->Name) + "|" + Pattern(*format);
  }
  return out;
}

std::string CombinedDialogFilter(const std::string& description,
                                 const std::vector<const FileFormat*>& formats) {
  std::string patterns;
  for (const FileFormat* format : formats) {
    if (!patterns.empty()) patterns += ' ';
    patterns += Pattern(*format);
  }
  return description + " (" + patterns + ")|" + patterns;
}

std::string ExtensionsText(const std::vector<const FileFormat*>& formats) {
  std::string out = "a";
  for (size_t i = 0; i < formats.size(); ++i) {
    out += i == 0 ? " " : i + 1 == formats.size() ? " or " : ", ";
    out += formats[i]->Extension;
  }
  return out;
}

std::vector<std::string> Extensions(const std::vector<const FileFormat*>& formats) {
  std::vector<std::string> out;
  for (const FileFormat* format : formats) out.emplace_back(format->Extension);
  return out;
}

ExchangeRead ReadFormatFile(const std::string& path, std::initializer_list<FormatRole> roles,
                            const ImportOptions& options) {
  const FileFormat* format = FileFormatOf(path);
  if (!format || !format->Read || !HasRole(*format, roles))
    return Failure{Fault::Unsupported, kUnsupportedSessionFormat};
  const FileBytes file = ReadFileBytes(path, kMaxTextFileBytes);
  if (!file) return file.Failed();
  return format->Read(*file, path, options);
}

bool FormatFileEndsOpen(const std::string& path, std::initializer_list<FormatRole> roles) {
  const FileFormat* format = FileFormatOf(path);
  if (!format || !format->EndsOpen || !HasRole(*format, roles)) return false;
  const FileBytes file = ReadFileBytes(path, kMaxTextFileBytes);
  return file && format->EndsOpen(*file);
}

FileWriteResult WriteFormatFile(const std::string& path, std::initializer_list<FormatRole> roles,
                                const Session& ses, const std::string& sesName,
                                const std::string& producer) {
  const FileFormat* format = FileFormatOf(path);
  if (!format || !format->Write || !HasRole(*format, roles))
    return Failure{Fault::Unsupported,
                   "Cannot write " + path + ": " + kUnsupportedSessionFormat + "."};
  if (format->CannotHold) {
    if (const std::string why = format->CannotHold(ses); !why.empty())
      return Failure{Fault::OutOfRange, "Cannot write " + path + ": " + why};
  }
  return WriteFileAtomically(path, format->Write(ses, sesName, producer));
}

}  // namespace ovrel
