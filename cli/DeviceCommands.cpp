#include "cli/DeviceCommands.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QFileInfo>
#include <QJsonObject>
#include <QStringList>
#include <algorithm>
#include <array>
#include <iostream>
#include <optional>
#include <utility>

#include "cli/CliLinkUi.h"
#include "cli/DeviceSession.h"
#include "cli/Command.h"
#include "cli/Interruption.h"
#include "cli/JsonOutput.h"
#include "device/link/DeviceLink.h"
#include "device/serial/PortDescription.h"
#include "device/serial/SerialPort.h"
#include "library/LibraryFileRead.h"
#include "library/LibraryImage.h"
#include "session/AtomicFile.h"
#include "session/FileBytes.h"
#include "storage/BackupHistory.h"
#include "storage/ProgramFolder.h"

namespace ovrel::cli {
namespace {

struct DeviceCommand {
  const char* name;
  const char* summary;
  const char* help;
};

const std::array<DeviceCommand, 8> kCommands = {{
    {"ports", "list the serial ports, one a line",
     "Usage: ovrel ports [--long]\n"
     "Lists the serial ports that autodetection probes, one a line. With\n"
     "--long, each path is followed by a tab and what the system knows of the\n"
     "port (USB manufacturer, product, serial number, /dev/serial/by-id names).\n"},
    {"detect", "find the device and print its port",
     "Usage: ovrel detect\n"
     "Probes every listed port and prints the one where the device answered.\n"},
    {"upload", "upload a session library (.svl) into the device",
     "Usage: ovrel upload [--port P] [--no-backup] [--verify] [--expect BASE.svl] LIB.svl\n"
     "Replaces the device's session memory with the library file, after reading\n"
     "the memory and keeping it in the backup history; nothing is written when\n"
     "it cannot be kept. A file that is not a sound session library is refused.\n"
     "Without --port the device is found first.\n"
     "  --no-backup  write without keeping the memory first\n"
     "  --backup     keep the memory first (the default)\n"
     "  --verify     read the memory back afterwards and compare it with the file\n"
     "  --expect BASE.svl  write only while the device still holds BASE.svl's\n"
     "               library; otherwise write nothing and exit 4 (\"changed since\n"
     "               it was read\")\n"},
    {"add", "add a session (.svs) to the library in the device",
     "Usage: ovrel add [--port P] [--no-backup] [--verify] SESSION.svs\n"
     "Reads the device's library (keeping it in the backup history; nothing is\n"
     "written when it cannot be kept), appends the session and uploads the\n"
     "result. Writes SVPMemImg.svl and TempSesLib.svl in the program folder:\n"
     "beside ovrel, or $XDG_DATA_HOME/ovrelware when that folder is not writable.\n"
     "  --no-backup  do not keep the library read in the backup history\n"
     "  --verify     read the memory back afterwards and compare it with the merge\n"},
    {"download", "read the library in the device into a file",
     "Usage: ovrel download [--port P] [--raw] -o FILE.svl\n"
     "Reads the device's session memory and writes its library (or, with\n"
     "--raw, all 2048 bytes) to FILE.svl.\n"},
    {"backup", "read the device memory into a file and the backup history",
     "Usage: ovrel backup [--port P] -o FILE.svl\n"
     "Reads the device's session memory, keeps it in the backup history and\n"
     "writes it to FILE.svl: the library's used bytes, or all 2048 bytes when\n"
     "the memory holds no valid library.\n"},
    {"restore", "upload a backup (the newest sound one when no file is given)",
     "Usage: ovrel restore [--port P] [--no-backup] [--verify] [FILE.svl]\n"
     "Prints what the backup holds and uploads it into the device, after reading\n"
     "the memory and keeping it in the backup history. Without a file the newest\n"
     "backup of the history that holds a sound session library is uploaded; a\n"
     "file that is not a sound library is refused.\n"
     "  --no-backup  write without keeping the memory first\n"
     "  --backup     keep the memory first (the default)\n"
     "  --verify     read the memory back afterwards and compare it with the backup\n"},
    {"backups", "list the backup history",
     "Usage: ovrel backups\n"
     "Lists the backup history, oldest first: when each memory was read (UTC),\n"
     "its sessions, its size in bytes, whether it holds a sound session library\n"
     "(\"sound\", else \"broken\") and its file.\n"},
}};

struct Arguments {
  QString Port;
  QString Output;
  bool Raw = false;
  bool Long = false;
  bool Backup = false;
  bool NoBackup = false;
  bool Verify = false;
  QString Expect;  // the library the device must still hold
  QStringList Files;
};

using Device = DeviceSession;

int Ports(const Arguments& a) {
  const SerialPortList listed = ListSerialPorts();
  if (listed.Error) return Failure(listed.Error->Text().toStdString());
  const QStringList& ports = listed.Ports;
  EmitJson(QStringLiteral("ports"), {{QStringLiteral("ports"), QJsonArray::fromStringList(ports)}});
  if (!JsonMode()) {
    for (const QString& p : ports) {
      if (a.Long)
        std::cout << qPrintable(p) << "\t" << qPrintable(PortDescription(p)) << "\n";
      else
        std::cout << qPrintable(p) << "\n";
    }
  }
  return ExitOk;
}

int Detect() {
  Device d;
  if (const int status = d.Choose({})) return status;
  if (!JsonMode()) std::cout << qPrintable(d.Link.Port()) << "\n";
  return ExitOk;
}

// Reads a library file with the one reader every command uses.
LibraryFileRead ReadLibrary(const QString& path) {
  return ReadLibraryFile(QFile::encodeName(path).toStdString());
}

// Uploads the library file at path as the arguments ask: keeping what it
// replaces unless told not to, verifying when asked.
int UploadLibrary(Device& d, const Arguments& a, const QString& path,
                  std::optional<MemoryImage> expect = std::nullopt,
                  BackupReason reason = BackupReason::BeforeUpload) {
  const QString written = QStringLiteral("Sorvani session library uploaded successfully");
  WriteOptions options = d.Options(!a.NoBackup, a.Verify, written);
  options.Expect = std::move(expect);
  const OperationResult result = d.RunToEnd(
      [&](DeviceLink::Done done) { d.Jobs.UploadFile(path, std::move(options), done, reason); });
  return Device::Wrote(result, written, QStringLiteral("Sorvani session library upload failed"));
}

int Upload(const Arguments& a) {
  // The library the device must still hold is read before anything else.
  std::optional<MemoryImage> expect;
  if (!a.Expect.isEmpty()) {
    const LibraryFileRead base = ReadLibrary(a.Expect);
    if (!base.Sound()) {
      return Finish(ExitFailed, QStringLiteral("%1 is not a sound session library (%2).")
                                    .arg(a.Expect, QString::fromStdString(base.Error)));
    }
    expect = base.Image();
  }
  Device d;
  if (const int status = d.Choose(a.Port)) return status;
  return UploadLibrary(d, a, a.Files[0], expect);
}

// Why a backup is not restored: it is a link (whatever it points to), or
// it does not hold a sound library. Empty for a sound backup file.
QString BackupProblem(const BackupEntry& entry, const LibraryFileRead& file) {
  if (entry.Kind == BackupKind::Link) {
    return QStringLiteral("it is a link to %1, not a backup the program kept")
        .arg(QFileInfo(entry.Path).symLinkTarget());
  }
  return file.Sound() ? QString() : QString::fromStdString(file.Error);
}

int Restore(const Arguments& a) {
  QString path = a.Files.isEmpty() ? QString() : a.Files[0];
  if (path.isEmpty()) {
    const BackupHistory history;
    if (history.Entries().empty()) {
      return Finish(ExitFailed, QStringLiteral("No backup has been kept yet in %1.")
                                    .arg(BackupHistory::DefaultFolder()));
    }
    const std::optional<BackupEntry> target = history.RestoreTarget();
    if (!target) {
      return Finish(ExitFailed, QStringLiteral("No backup in %1 holds a sound session library.")
                                    .arg(BackupHistory::DefaultFolder()));
    }
    path = target->Path;
    if (target->Reason != BackupReason::Read) {
      Say(QStringLiteral("Restoring the memory as it was before the last write (kept %1), %2")
              .arg(BackupHistory::ReasonText(target->Reason), path));
    } else {
      Say(QStringLiteral("No backup was kept before a write: restoring the newest sound read, %1")
              .arg(path));
    }
  }
  if (QFileInfo(path).isSymLink()) {
    return Finish(ExitFailed, QStringLiteral("%1 is a link to %2; a link is not restored.")
                                  .arg(path, QFileInfo(path).symLinkTarget()));
  }
  const LibraryFileRead file = ReadLibrary(path);
  if (file.Fault != LibraryFileFault::None && file.Fault != LibraryFileFault::NotSound)
    return Finish(ExitFailed, QString::fromStdString(file.Error));
  // What the backup holds, before anything is sent.
  PrintLibraryInfo(path.toStdString(), file.Bytes);
  std::cout.flush();
  if (!file.Sound()) {
    return Finish(ExitFailed, QStringLiteral("%1 is not a sound session library (%2); it is not "
                                             "restored.")
                                  .arg(path, QString::fromStdString(file.Error)));
  }
  Device d;
  if (const int status = d.Choose(a.Port)) return status;
  // What a restore replaces may be what a failed write left: it is kept as
  // a plain read, never the memory a later restore brings back.
  return UploadLibrary(d, a, path, std::nullopt, BackupReason::Read);
}

int Backups() {
  QJsonArray list;
  for (const BackupEntry& backup : BackupHistory().Entries()) {
    const QString& path = backup.Path;
    const LibraryFileRead file = ReadLibrary(path);
    const QString problem = BackupProblem(backup, file);
    const bool sound = problem.isEmpty();
    const QString state = sound ? QStringLiteral("sound")
                          : backup.Kind == BackupKind::Link ? QStringLiteral("link")
                                                            : QStringLiteral("broken");
    const QString time =
        BackupHistory::ReadTime(path).toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QString reason = BackupHistory::ReasonText(backup.Reason);
    const qint64 bytes = backup.Kind == BackupKind::File ? QFileInfo(path).size() : 0;
    QJsonObject entry{{QStringLiteral("path"), path},
                      {QStringLiteral("time"), time + QStringLiteral("Z")},
                      {QStringLiteral("reason"), reason},
                      {QStringLiteral("bytes"), bytes},
                      {QStringLiteral("state"), state},
                      {QStringLiteral("sound"), sound}};
    if (sound) entry[QStringLiteral("sessions")] = file.SessionCount;
    else
      entry[QStringLiteral("problem")] = problem;
    list.append(entry);
    if (!JsonMode()) {
      const QString sessions = sound ? QString::number(file.SessionCount) : QStringLiteral("-");
      std::cout << qPrintable(QStringLiteral("%1 UTC  %2  %3 sessions  %4 bytes  %5  %6")
                                  .arg(time, reason.leftJustified(13), sessions.rightJustified(2))
                                  .arg(bytes, 4)
                                  .arg(state.leftJustified(6), path))
                << "\n";
    }
  }
  EmitJson(QStringLiteral("backups"), {{QStringLiteral("folder"), BackupHistory::DefaultFolder()},
                                       {QStringLiteral("backups"), list}});
  return ExitOk;
}

int Add(const Arguments& a) {
  Device d;
  if (const int status = d.Choose(a.Port)) return status;
  Say(QStringLiteral("Uploading/adding single session to Sorvani"));
  const QString written = QStringLiteral("Single session uploaded to Sorvani successfully");
  WriteOptions options = d.Options(!a.NoBackup, a.Verify, written);
  // The add's read is its backup: it is named once the add went through.
  options.StageStarts = [](JobStage stage) {
    if (stage == JobStage::Verify) Say(QStringLiteral("Reading the Sorvani session memory back"));
  };
  options.StageDone = [written](JobStage, const OperationResult& added) {
    if (!added.BackupPath.isEmpty())
      Say(QStringLiteral("Session memory kept as %1").arg(added.BackupPath));
    Finish(ExitOk, written);
  };
  const OperationResult added = d.RunToEnd(
      [&](DeviceLink::Done done) { d.Jobs.Add(a.Files[0], std::move(options), done); });
  if (added.Ok() && added.Stage != JobStage::Verify && !added.BackupPath.isEmpty())
    Say(QStringLiteral("Session memory kept as %1").arg(added.BackupPath));
  if (!added.Ok() && added.Stage != JobStage::Verify)
    return Device::Failed(QStringLiteral("Single session upload to Sorvani failed"), added);
  return Device::Wrote(added, written, QStringLiteral("Single session upload to Sorvani failed"));
}

// Writes a memory image to the file the user named: a regular file or a
// new one, whole or not at all.
bool WriteImageFile(const QString& path, const char* bytes, qint64 size) {
  const FileWriteResult written =
      WriteFileAtomically(QFile::encodeName(path).toStdString(),
                          std::string_view(bytes, static_cast<std::size_t>(size)));
  if (written) return true;
  const QString error = QString::fromStdString(written.Error);
  Say(error);
  NoteOutcome(error);
  return false;
}

int Download(const Arguments& a) {
  Device d;
  if (const int status = d.Choose(a.Port)) return status;
  const OperationResult read = d.RunToEnd([&](DeviceLink::Done done) { d.Jobs.Read(done); });
  if (!read.Ok()) {
    return Device::Failed(QStringLiteral("Reading the Sorvani session memory failed"), read);
  }
  const MemoryImage& img = *read.MemImg;
  qint64 size = SesMemSize;
  if (!a.Raw) {
    if (const auto invalid = CheckLibraryImage(img)) {
      return Finish(ExitFailed,
                    QStringLiteral("The session memory of Sorvani holds no valid session "
                                   "library: %1. --raw writes all 2048 bytes.")
                        .arg(QString::fromStdString(*invalid)));
    }
    size = static_cast<qint64>(UsedLength(img));
  }
  if (!WriteImageFile(a.Output, reinterpret_cast<const char*>(img.data()), size)) {
    return ExitFailed;
  }
  return Finish(ExitOk, QStringLiteral("%1 bytes written to %2").arg(size).arg(a.Output));
}

int Backup(const Arguments& a) {
  Device d;
  if (const int status = d.Choose(a.Port)) return status;
  OperationResult read;
  if (const int status = d.ReadMemory(read)) return status;
  const auto used = UsedImageBytes(*read.MemImg);
  const char* usedBytes = reinterpret_cast<const char*>(used.data());
  if (!WriteImageFile(a.Output, usedBytes, std::ssize(used))) return ExitFailed;
  if (std::ssize(used) == SesMemSize) {
    Say(
        QStringLiteral("The session memory holds no valid session library: all 2048 bytes "
                       "were kept."));
  }
  return Finish(ExitOk, QStringLiteral("%1 bytes written to %2").arg(std::ssize(used)).arg(a.Output));
}

// Splits the arguments of a device command; nothing on wrong usage (after
// reporting it).
std::optional<Arguments> Parse(const std::string& name, const std::vector<std::string>& args) {
  Arguments out;
  const bool takesPort = name != "ports" && name != "detect" && name != "backups";
  const bool takesOutput = name == "download" || name == "backup";
  const bool takesBackup = name == "upload" || name == "restore";
  const bool takesNoBackup = takesBackup || name == "add";
  const bool takesVerify = takesBackup || name == "add";
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (takesPort && arg == "--port" && hasValue) {
      out.Port = QString::fromStdString(args[++i]);
    } else if (takesOutput && arg == "-o" && hasValue) {
      out.Output = QString::fromStdString(args[++i]);
    } else if (name == "download" && arg == "--raw") {
      out.Raw = true;
    } else if (name == "ports" && arg == "--long") {
      out.Long = true;
    } else if (takesBackup && arg == "--backup") {
      out.Backup = true;
    } else if (takesNoBackup && arg == "--no-backup") {
      out.NoBackup = true;
    } else if (name == "upload" && arg == "--expect" && hasValue) {
      out.Expect = QString::fromStdString(args[++i]);
    } else if (takesVerify && arg == "--verify") {
      out.Verify = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      UsageError(name, "unknown option or missing value: " + arg + ".");
      return std::nullopt;
    } else {
      out.Files << QString::fromStdString(arg);
    }
  }
  if (name == "restore") {
    if (out.Files.size() > 1) {
      UsageError(name, "takes at most one file.");
      return std::nullopt;
    }
  } else if (const qsizetype files = (name == "upload" || name == "add") ? 1 : 0;
             out.Files.size() != files) {
    UsageError(name, files ? "needs exactly one file." : "takes no file arguments.");
    return std::nullopt;
  }
  if (takesOutput && out.Output.isEmpty()) {
    UsageError(name, "needs -o FILE.");
    return std::nullopt;
  }
  return out;
}

int Run(const std::string& name, const Arguments& a) {
  if (name == "ports") return Ports(a);
  if (name == "detect") return Detect();
  if (name == "upload") return Upload(a);
  if (name == "add") return Add(a);
  if (name == "backup") return Backup(a);
  if (name == "restore") return Restore(a);
  if (name == "backups") return Backups();
  return Download(a);
}

}  // namespace

int RunDeviceCommand(const std::string& name, const std::vector<std::string>& args) {
  const DeviceCommand* command = nullptr;
  for (const DeviceCommand& c : kCommands) {
    if (name == c.name) command = &c;
  }
  if (!command) return -1;
  if (!args.empty() && (args.front() == "--help" || args.front() == "-h")) {
    std::cout << command->help;
    return ExitOk;
  }
  const std::optional<Arguments> parsed = Parse(name, args);
  if (!parsed) return ExitUsage;

  return RunWithEventLoop([&] { return Run(name, *parsed); });
}

std::string DeviceCommandsHelp() {
  std::string out;
  for (const DeviceCommand& c : kCommands) {
    std::string label = c.name;
    label.resize(std::max<std::size_t>(label.size() + 1, 12), ' ');
    out += "  " + label + c.summary + "\n";
  }
  return out;
}

}  // namespace ovrel::cli
