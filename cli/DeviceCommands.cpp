// ovrel's device commands: ports, detect, upload, add, download, backup,
// restore and backups.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>
#include <optional>

#include "cli/Command.h"
#include "cli/CommandLine.h"
#include "cli/DeviceSession.h"
#include "device/serial/PortDescription.h"
#include "device/serial/PortLock.h"
#include "device/serial/SerialPort.h"
#include "fileio/AtomicFile.h"
#include "fileio/FileBytes.h"
#include "library/LibraryFileRead.h"
#include "library/LibraryImage.h"
#include "storage/BackupHistory.h"

namespace ovrel::cli {
namespace {

constexpr const char* kPortsHelp =
    "Usage: ovrel ports [--long]\n"
    "Lists the serial ports that autodetection probes, one a line.\n";

constexpr const char* kDetectHelp =
    "Usage: ovrel detect\n"
    "Probes every listed port and prints the one where the device answered.\n";

constexpr const char* kUploadHelp =
    "Usage: ovrel upload [--port P] [--no-backup] [--verify] [--expect BASE.svl]\n"
    "                    LIB.svl\n"
    "Replaces the device's session memory with the library file, after reading\n"
    "the memory and keeping it in the backup history; nothing is written when\n"
    "it cannot be kept. A file that is not a sound session library is refused.\n"
    "Without --port the device is found first.\n";

constexpr const char* kAddHelp =
    "Usage: ovrel add [--port P] [--no-backup] [--verify] SESSION.svs\n"
    "Reads the device's library (keeping it in the backup history; nothing is\n"
    "written when it cannot be kept), appends the session and uploads the\n"
    "result. Writes SVPMemImg.svl and TempSesLib.svl in the program folder:\n"
    "beside ovrel, or $XDG_DATA_HOME/ovrelware when that folder is not writable.\n";

constexpr const char* kDownloadHelp =
    "Usage: ovrel download [--port P] [--raw] -o FILE.svl\n"
    "Reads the device's session memory and writes its library (or, with\n"
    "--raw, all 2048 bytes) to FILE.svl.\n";

constexpr const char* kBackupHelp =
    "Usage: ovrel backup [--port P] -o FILE.svl\n"
    "Reads the device's session memory, keeps it in the backup history and\n"
    "writes it to FILE.svl: the library's used bytes, or all 2048 bytes when\n"
    "the memory holds no valid library.\n";

constexpr const char* kRestoreHelp =
    "Usage: ovrel restore [--port P] [--no-backup] [--verify] [FILE.svl]\n"
    "Prints what the backup holds and uploads it into the device, after reading\n"
    "the memory and keeping it in the backup history. Without a file the memory\n"
    "as it was before the last write is uploaded: the newest backup kept before\n"
    "a write that holds a sound session library (a plain read only when no such\n"
    "backup exists). A file that is not a sound library, or a link in the backup\n"
    "history, is refused.\n";

constexpr const char* kBackupsHelp =
    "Usage: ovrel backups\n"
    "Lists the backup history, oldest first: when each memory was read (UTC),\n"
    "why it was kept (\"before upload\", \"before add\", \"before edit\" or\n"
    "\"read\"), its sessions, its size in bytes, whether it holds a sound\n"
    "session library (\"sound\"; \"empty\" for the memory of a device that was\n"
    "never written, all its bytes 0x00 or 0xFF; \"link\" for a link, else \"broken\")\n"
    "and its file.\n";

// What a device command accepts besides its declared options.
struct Takes {
  bool Output = false;  // -o FILE, required
  int MinFiles = 0;
  int MaxFiles = 0;
};

struct Arguments {
  QString Port;
  QString Output;
  bool Raw = false;
  bool Long = false;
  bool NoBackup = false;
  bool Verify = false;
  QString Expect;  // the library the device must still hold
  QStringList Files;
};

// Reads the arguments of the device command `name`; nothing on wrong
// usage (after reporting it).
std::optional<Arguments> ReadArguments(Context& ctx, const char* name, const Takes& takes,
                                       const CommandLine& line) {
  Arguments out;
  out.Port = line.Value(QStringLiteral("port"));
  out.Output = line.Value(QStringLiteral("o"));
  out.Raw = line.IsSet(QStringLiteral("raw"));
  out.Long = line.IsSet(QStringLiteral("long"));
  out.NoBackup = line.IsSet(QStringLiteral("no-backup"));
  out.Verify = line.IsSet(QStringLiteral("verify"));
  out.Expect = line.Value(QStringLiteral("expect"));
  out.Files = line.Positional();
  if (out.Files.size() > takes.MaxFiles || out.Files.size() < takes.MinFiles) {
    ctx.UsageError(name, takes.MaxFiles == 0   ? "takes no file arguments."
                         : takes.MinFiles == 0 ? "takes at most one file."
                                               : "needs exactly one file.");
    return std::nullopt;
  }
  if (takes.Output && out.Output.isEmpty()) {
    ctx.UsageError(name, "needs -o FILE.");
    return std::nullopt;
  }
  if (takes.Output &&
      RefuseOutput(ctx, name, QFile::encodeName(out.Output).toStdString(), {".svl"}, {}) != ExitOk)
    return std::nullopt;
  return out;
}

// Reads a library file with the one reader every command uses.
LibraryFileRead ReadLibrary(const QString& path) {
  return ReadLibraryFile(QFile::encodeName(path).toStdString());
}

// Writes a memory image to the file the user named: a regular file or a
// new one, whole or not at all.
bool WriteImageFile(Context& ctx, const QString& path, const char* bytes, qint64 size) {
  const FileWriteResult written =
      WriteFileAtomically(QFile::encodeName(path).toStdString(),
                          std::string_view(bytes, static_cast<std::size_t>(size)));
  if (written) return true;
  const QString error = QString::fromStdString(written.Error());
  ctx.Say(error);
  ctx.NoteOutcome(error);
  return false;
}

// Uploads the library file at path as the arguments ask: keeping what it
// replaces unless told not to, verifying when asked.
// restore: path is a backup, named when the upload fails; what it
// replaces is kept as a plain read.
int UploadLibrary(DeviceSession& d, const Arguments& a, const QString& path,
                  std::optional<MemoryImage> expect = std::nullopt, bool restore = false) {
  const QString written = QStringLiteral("Sorvani session library uploaded successfully");
  WriteOptions options = d.Options(!a.NoBackup, a.Verify);
  options.Expect = std::move(expect);
  const auto result = d.RunToEnd([&](DeviceService::Done done) {
    d.SayStages(restore ? d.Service.Restore(path, std::move(options), done)
                        : d.Service.UploadFile(path, std::move(options), done),
                written);
  });
  if (result && restore && !result->Ok() && result->Stage != JobStage::Verify)
    return d.Failed(result->Status(), *result);
  return d.Wrote(result, written, QStringLiteral("Sorvani session library upload failed"));
}

int Ports(Context& ctx, const CommandLine& line) {
  const auto a = ReadArguments(ctx, "ports", {}, line);
  if (!a) return ExitUsage;
  const SerialPortList listed = ListSerialPorts();
  if (listed.Error) return ctx.Failure(listed.Error->Text().toStdString());
  const QStringList& ports = listed.Ports;
  ctx.Emit(QStringLiteral("ports"), {{QStringLiteral("ports"), QJsonArray::fromStringList(ports)}});
  if (!ctx.Json()) {
    for (const QString& p : ports) {
      ctx.Out() << qPrintable(p);
      if (a->Long)
        ctx.Out() << "\t" << qPrintable(PortDescription(p)) << "\t" << qPrintable(PortLockFile(p));
      ctx.Out() << "\n";
    }
  }
  return ExitOk;
}

int Detect(Context& ctx, const CommandLine& line) {
  if (!ReadArguments(ctx, "detect", {}, line)) return ExitUsage;
  return RunWithEventLoop(ctx, [&] {
    DeviceSession d(ctx);
    if (const int status = d.Choose({})) return status;
    if (!ctx.Json()) ctx.Out() << qPrintable(d.Service.Port()) << "\n";
    return static_cast<int>(ExitOk);
  });
}

int Upload(Context& ctx, const CommandLine& line) {
  const auto a = ReadArguments(ctx, "upload", {.MinFiles = 1, .MaxFiles = 1}, line);
  if (!a) return ExitUsage;
  // The library the device must still hold is read before anything else.
  std::optional<MemoryImage> expect;
  if (!a->Expect.isEmpty()) {
    const LibraryFileRead base = ReadLibrary(a->Expect);
    if (const Failure* why = WhyNotSound(base)) {
      return ctx.Finish(ExitFailed, QStringLiteral("%1 is not a sound session library (%2).")
                                        .arg(a->Expect, QString::fromStdString(why->Text)));
    }
    expect = base->Image();
  }
  return RunWithEventLoop(ctx, [&] {
    DeviceSession d(ctx);
    if (const int status = d.Choose(a->Port)) return status;
    return UploadLibrary(d, *a, a->Files[0], expect);
  });
}

// Why a backup is not restored: it is a link (whatever it points to), or
// it does not hold a sound library. Empty for a sound backup file.
QString BackupProblem(const BackupEntry& entry, const LibraryFileRead& file) {
  if (entry.Kind == BackupKind::Link) {
    return QStringLiteral("it is a link to %1, not a backup the program kept")
        .arg(QFileInfo(entry.Path).symLinkTarget());
  }
  const Failure* why = WhyNotSound(file);
  if (!why) return {};
  if (entry.Kind == BackupKind::File && BackupHistory::HoldsEmptyMemory(entry.Path))
    return QStringLiteral("the memory of a device that was never written holds no library");
  return QString::fromStdString(why->Text);
}

int RestoreNow(Context& ctx, const Arguments& a) {
  QString path = a.Files.isEmpty() ? QString() : a.Files[0];
  if (path.isEmpty()) {
    const BackupHistory history;
    if (history.Entries().empty()) {
      return ctx.Finish(
          ExitFailed,
          QStringLiteral("No backup has been kept yet in %1.").arg(BackupHistory::DefaultFolder()));
    }
    const std::optional<BackupEntry> target = history.RestoreTarget();
    if (!target) {
      return ctx.Finish(ExitFailed, QStringLiteral("No backup in %1 holds a sound session library.")
                                        .arg(BackupHistory::DefaultFolder()));
    }
    path = target->Path;
    if (target->Reason != BackupReason::Read) {
      ctx.Say(QStringLiteral("Restoring the memory as it was before the last write (kept %1), %2")
                  .arg(BackupHistory::ReasonText(target->Reason), path));
    } else {
      ctx.Say(
          QStringLiteral("No backup was kept before a write: restoring the newest sound read, %1")
              .arg(path));
    }
  }
  // The history holds only files the program kept: a link there was put by
  // someone else. A file named by the user is theirs to link.
  const QFileInfo named(path);
  if (named.isSymLink() &&
      named.absolutePath() == QDir(BackupHistory::DefaultFolder()).absolutePath()) {
    return ctx.Finish(ExitFailed, QStringLiteral("%1 is a link to %2; a link is not restored.")
                                      .arg(path, named.symLinkTarget()));
  }
  const LibraryFileRead file = ReadLibrary(path);
  if (!file) return ctx.Finish(ExitFailed, QString::fromStdString(file.Error()));
  // What the backup holds, before anything is sent.
  PrintLibraryInfo(ctx, path.toStdString(), file->Bytes);
  ctx.Out().flush();
  if (!file->Sessions) {
    return ctx.Finish(ExitFailed,
                      QStringLiteral("%1 is not a sound session library (%2); it is not restored.")
                          .arg(path, QString::fromStdString(file->Sessions.Error())));
  }
  DeviceSession d(ctx);
  if (const int status = d.Choose(a.Port)) return status;
  // What a restore replaces may be what a failed write left: it is kept as
  // a plain read, never the memory a later restore brings back.
  return UploadLibrary(d, a, path, std::nullopt, true);
}

int Restore(Context& ctx, const CommandLine& line) {
  const auto a = ReadArguments(ctx, "restore", {.MaxFiles = 1}, line);
  if (!a) return ExitUsage;
  return RunWithEventLoop(ctx, [&] { return RestoreNow(ctx, *a); });
}

int Backups(Context& ctx, const CommandLine& line) {
  if (!ReadArguments(ctx, "backups", {}, line)) return ExitUsage;
  QJsonArray list;
  for (const BackupEntry& backup : BackupHistory().Entries()) {
    const QString& path = backup.Path;
    const LibraryFileRead file = ReadLibrary(path);
    const QString problem = BackupProblem(backup, file);
    const bool sound = problem.isEmpty();
    const QString state = sound                                   ? QStringLiteral("sound")
                          : backup.Kind == BackupKind::Link       ? QStringLiteral("link")
                          : BackupHistory::HoldsEmptyMemory(path) ? QStringLiteral("empty")
                                                                  : QStringLiteral("broken");
    const QString time =
        BackupHistory::ReadTime(path).toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QString reason = BackupHistory::ReasonText(backup.Reason);
    const qint64 bytes = backup.Kind == BackupKind::File ? QFileInfo(path).size() : 0;
    QJsonObject entry{
        {QStringLiteral("path"), path},     {QStringLiteral("time"), time + QStringLiteral("Z")},
        {QStringLiteral("reason"), reason}, {QStringLiteral("bytes"), bytes},
        {QStringLiteral("state"), state},   {QStringLiteral("sound"), sound}};
    if (sound)
      entry[QStringLiteral("sessions")] = static_cast<qint64>(file->Sessions->size());
    else
      entry[QStringLiteral("problem")] = problem;
    list.append(entry);
    if (!ctx.Json()) {
      const QString sessions =
          sound ? QString::number(file->Sessions->size()) : QStringLiteral("-");
      ctx.Out() << qPrintable(QStringLiteral("%1 UTC  %2  %3 sessions  %4 bytes  %5  %6")
                                  .arg(time, reason.leftJustified(13), sessions.rightJustified(2))
                                  .arg(bytes, 4)
                                  .arg(state.leftJustified(6), path))
                << "\n";
    }
  }
  ctx.Emit(QStringLiteral("backups"), {{QStringLiteral("folder"), BackupHistory::DefaultFolder()},
                                       {QStringLiteral("backups"), list}});
  return ExitOk;
}

int Add(Context& ctx, const CommandLine& line) {
  const auto a = ReadArguments(ctx, "add", {.MinFiles = 1, .MaxFiles = 1}, line);
  if (!a) return ExitUsage;
  return RunWithEventLoop(ctx, [&] {
    DeviceSession d(ctx);
    if (const int status = d.Choose(a->Port)) return status;
    ctx.Say(QStringLiteral("Uploading/adding single session to Sorvani"));
    const QString written = QStringLiteral("Single session uploaded to Sorvani successfully");
    const auto added = d.RunToEnd([&](DeviceService::Done done) {
      DeviceJob* job = d.Service.Add(a->Files[0], d.Options(!a->NoBackup, a->Verify), done);
      // The add's read is its backup: it is named once the add went through.
      QObject::connect(job, &DeviceJob::StageStarted, job, [&ctx](JobStage stage) {
        if (stage == JobStage::Verify) ctx.Say(StageText(JobKind::Add, stage));
      });
      QObject::connect(
          job, &DeviceJob::StageEnded, job,
          [&ctx, written](JobStage stage, const JobResult& added) {
            if (stage != JobStage::Write) return;
            if (!added.BackupPath.isEmpty())
              ctx.Say(QStringLiteral("Session memory kept as %1").arg(added.BackupPath));
            ctx.Finish(ExitOk, written);
          });
    });
    if (!added) return d.StoppedWrite();
    if (added->Ok() && added->Stage != JobStage::Verify && !added->BackupPath.isEmpty())
      ctx.Say(QStringLiteral("Session memory kept as %1").arg(added->BackupPath));
    if (!added->Ok() && added->Stage != JobStage::Verify)
      return d.Failed(QStringLiteral("Single session upload to Sorvani failed"), *added);
    return d.Wrote(added, written, QStringLiteral("Single session upload to Sorvani failed"));
  });
}

int Download(Context& ctx, const CommandLine& line) {
  const auto a = ReadArguments(ctx, "download", {.Output = true}, line);
  if (!a) return ExitUsage;
  return RunWithEventLoop(ctx, [&] {
    DeviceSession d(ctx);
    if (const int status = d.Choose(a->Port)) return status;
    const auto read = d.RunToEnd([&](DeviceService::Done done) { d.Service.Read(done); });
    if (!read) return d.Stopped();
    if (!read->Ok()) {
      return d.Failed(QStringLiteral("Reading the Sorvani session memory failed"), *read);
    }
    const MemoryImage& img = *read->MemImg;
    qint64 size = SesMemSize;
    if (!a->Raw) {
      if (const auto invalid = CheckLibraryImage(img)) {
        return ctx.Finish(ExitFailed,
                          QStringLiteral("The session memory of Sorvani holds no valid session "
                                         "library: %1. --raw writes all 2048 bytes.")
                              .arg(QString::fromStdString(*invalid)));
      }
      size = static_cast<qint64>(UsedLength(img));
    }
    if (!WriteImageFile(ctx, a->Output, reinterpret_cast<const char*>(img.data()), size))
      return static_cast<int>(ExitFailed);
    return ctx.Finish(ExitOk, QStringLiteral("%1 bytes written to %2").arg(size).arg(a->Output));
  });
}

int Backup(Context& ctx, const CommandLine& line) {
  const auto a = ReadArguments(ctx, "backup", {.Output = true}, line);
  if (!a) return ExitUsage;
  return RunWithEventLoop(ctx, [&] {
    DeviceSession d(ctx);
    if (const int status = d.Choose(a->Port)) return status;
    JobResult read;
    if (const int status = d.ReadMemory(read)) return status;
    const auto used = UsedImageBytes(*read.MemImg);
    const char* usedBytes = reinterpret_cast<const char*>(used.data());
    if (!WriteImageFile(ctx, a->Output, usedBytes, std::ssize(used)))
      return static_cast<int>(ExitFailed);
    if (std::ssize(used) == SesMemSize) {
      ctx.Say(
          QStringLiteral("The session memory holds no valid session library: all 2048 bytes "
                         "were kept."));
    }
    return ctx.Finish(
        ExitOk, QStringLiteral("%1 bytes written to %2").arg(std::ssize(used)).arg(a->Output));
  });
}

// --expect BASE.svl of upload.
OptionSpec ExpectOption() {
  return {{QStringLiteral("expect")},
          QStringLiteral("BASE.svl"),
          QStringLiteral("write only while the device still holds BASE.svl's\n"
                         "library; otherwise write nothing and exit 4\n"
                         "(\"changed since it was read\")")};
}

// --long of ports.
OptionSpec LongFormOption() {
  return {{QStringLiteral("long")},
          {},
          QStringLiteral("each path followed by a tab and what the system knows "
                         "of the port\n(USB manufacturer, product, serial "
                         "number, /dev/serial/by-id\nnames), then a tab and "
                         "the lock file that locks the port\n(in /run/lock, "
                         "or in $XDG_RUNTIME_DIR where /run/lock may not\nbe "
                         "written)")};
}

}  // namespace

std::vector<Command> DeviceCommands() {
  const OptionSpec port{{QStringLiteral("port")},
                        QStringLiteral("P"),
                        QStringLiteral("the device's serial port (found by probing without it)")};
  const OptionSpec keep{
      {QStringLiteral("backup")}, {}, QStringLiteral("keep the memory first (the default)")};
  const OptionSpec noKeep{
      {QStringLiteral("no-backup")}, {}, QStringLiteral("write without keeping the memory first")};
  auto verify = [](const char* what) {
    return OptionSpec{{QStringLiteral("verify")},
                      {},
                      QStringLiteral("read the memory back afterwards and compare it\nwith ") +
                          QString::fromLatin1(what)};
  };
  const OptionSpec raw{{QStringLiteral("raw")},
                       {},
                       QStringLiteral("write all 2048 bytes of the memory, not only\nits library")};
  const OptionSpec noKeepRead{{QStringLiteral("no-backup")},
                              {},
                              QStringLiteral("do not keep the library read in the backup history")};
  return {
      {.name = "ports",
       .summary = "list the serial ports, one a line",
       .usage = kPortsHelp,
       .options = {LongFormOption()},
       .run = Ports},
      {.name = "detect",
       .summary = "find the device and print its port",
       .usage = kDetectHelp,
       .options = {},
       .run = Detect,
       .watchesSignals = true},
      {.name = "upload",
       .summary = "upload a session library (.svl) into the device",
       .usage = kUploadHelp,
       .options = {port, noKeep, keep, verify("the file"), ExpectOption()},
       .run = Upload,
       .watchesSignals = true},
      {.name = "add",
       .summary = "add a session (.svs) to the library in the device",
       .usage = kAddHelp,
       .options = {port, noKeepRead, verify("the merge")},
       .run = Add,
       .watchesSignals = true},
      {.name = "download",
       .summary = "read the library in the device into a file",
       .usage = kDownloadHelp,
       .options = {port, raw, OutputOption("FILE.svl", "the file to write (required)")},
       .run = Download,
       .watchesSignals = true},
      {.name = "backup",
       .summary = "read the device memory into a file and the backup history",
       .usage = kBackupHelp,
       .options = {port, OutputOption("FILE.svl", "the file to write (required)")},
       .run = Backup,
       .watchesSignals = true},
      {.name = "restore",
       .summary = "upload a backup (the memory before the last write when no file is given)",
       .usage = kRestoreHelp,
       .options = {port, noKeep, keep, verify("the backup")},
       .run = Restore,
       .watchesSignals = true},
      {.name = "backups",
       .summary = "list the backup history",
       .usage = kBackupsHelp,
       .options = {},
       .run = Backups},
  };
}

}  // namespace ovrel::cli
