#pragma once
// Every file format a session is read from or written to, in one table: the
// session file, the legacy import, the schedules of other beat generators
// and the CSV export. The editor's file dialogs and ovrel convert choose
// their formats from it, and read and write through it.

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fileio/AtomicFile.h"
#include "format/ExchangeFormat.h"
#include "session/Session.h"

namespace ovrel {

// What a format is to the user, which decides the commands that offer it.
enum class FormatRole {
  SessionFile,  // the program's own session file: Open, Save, convert
  Legacy,       // the legacy format: its own import command only
  Schedule,     // another beat generator's schedule: Import, Export, Open, convert
  Table,        // a table of the course for other programs: its own export only
};

struct FileFormat {
  std::string_view Extension;  // with its dot, in lower case: ".sbg"
  // The description a file dialog's filter shows for it.
  std::string_view Name;
  FormatRole Role = FormatRole::SessionFile;
  // Reads a file's text; sourceName names the file in messages. Null where
  // the format is only written.
  ExchangeRead (*Read)(std::string_view text, const std::string& sourceName,
                       const ImportOptions& options) = nullptr;
  // The file text of a session. Null where the format is only read.
  std::string (*Write)(const Session& ses, const std::string& sesName,
                       const std::string& producer) = nullptr;
  // Why the format cannot hold the session (empty when it can). Null where
  // it holds every session.
  std::string (*CannotHold)(const Session& ses) = nullptr;
  // Whether the text ends in a stretch that plays on with no end, so that
  // the reader gives it ImportOptions::OpenEndMinutes. Null where the format
  // has no such end.
  bool (*EndsOpen)(std::string_view text) = nullptr;
};

// The table, in the order the file dialogs list the formats.
std::span<const FileFormat> FileFormats();

// The format of a file name by its extension (any case), or null.
const FileFormat* FileFormatOf(const std::string& path);

// The formats of the given roles that can be read (or written), in the
// table's order.
std::vector<const FileFormat*> ReadableFormats(std::initializer_list<FormatRole> roles);
std::vector<const FileFormat*> WritableFormats(std::initializer_list<FormatRole> roles);

// A file dialog's filter ("Description|*.ext" pairs joined by "|") with one
// entry per format.
std::string DialogFilter(const std::vector<const FileFormat*>& formats);
// One filter entry that takes all the formats at once:
// "Beat schedule (*.sbg *.gnaural)|*.sbg *.gnaural".
std::string CombinedDialogFilter(const std::string& description,
                                 const std::vector<const FileFormat*>& formats);
// "a .svs, .sbg or .gnaural" for messages.
std::string ExtensionsText(const std::vector<const FileFormat*>& formats);
std::vector<std::string> Extensions(const std::vector<const FileFormat*>& formats);

// Reads the file at path (through the bounded reader) in the format of its
// extension, which must be readable and of one of the roles; another
// extension fails with "Unsupported session file format".
ExchangeRead ReadFormatFile(const std::string& path, std::initializer_list<FormatRole> roles,
                            const ImportOptions& options = {});
// Whether the file at path is in a format of one of the roles whose text
// ends in an open stretch (false also when it cannot be read).
bool FormatFileEndsOpen(const std::string& path, std::initializer_list<FormatRole> roles);
// Writes the session to path in the format of its extension, which must be
// writable and of one of the roles (through the atomic writer). A session
// the format cannot hold is refused and nothing is written.
FileWriteResult WriteFormatFile(const std::string& path, std::initializer_list<FormatRole> roles,
                                const Session& ses, const std::string& sesName,
                                const std::string& producer);

}  // namespace ovrel
