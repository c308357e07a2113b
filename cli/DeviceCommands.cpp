#include "cli/DeviceCommands.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QSaveFile>
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
#include "library/LibraryImage.h"
#include "storage/BackupHistory.h"
#include "storage/ProgramFolder.h"

namespace ovrel::cli {
namespace {

struct DeviceCommand {
  const char* name;
  const char* summary;
  const char* help;
};

const std::array<DeviceCommand, 7> kCommands = {{
    {"ports", "list the serial ports, one a line",
     "Usage: ovrel ports [--long]\n"
     "Lists the serial ports that autodetection probes, one a line. With\n"
     "--long, each path is followed by a tab and what the system knows of the\n"
     "port (USB manufacturer, product, serial number, /dev/serial/by-id names).\n"},
    {"detect", "find the device and print its port",
     "Usage: ovrel detect\n"
     "Probes every listed port and prints the one where the device answered.\n"},
    {"upload", "upload a session library (.svl) into the device",
     "Usage: ovrel upload [--port P] [--backup] [--verify] LIB.svl\n"
     "Replaces the device's session memory with the library file. Without\n"
     "--port the device is found first.\n"
     "  --backup   read the device memory first and keep it in the backup history\n"
     "  --verify   read the memory back afterwards and compare it with the file\n"},
    {"add", "add a session (.svs) to the library in the device",
     "Usage: ovrel add [--port P] [--verify] SESSION.svs\n"
     "Reads the device's library (keeping it in the backup history), appends\n"
     "the session and uploads the result. Writes SVPMemImg.svl and\n"
     "TempSesLib.svl in the program folder: beside ovrel, or\n"
     "$XDG_DATA_HOME/ovrelware when that folder is not writable.\n"
     "  --verify   read the memory back afterwards and compare it with the merge\n"},
    {"download", "read the library in the device into a file",
     "Usage: ovrel download [--port P] [--raw] -o FILE.svl\n"
     "Reads the device's session memory and writes its library (or, with\n"
     "--raw, all 2048 bytes) to FILE.svl.\n"},
    {"backup", "read the device memory into a file and the backup history",
     "Usage: ovrel backup [--port P] -o FILE.svl\n"
     "Reads the device's session memory, keeps it in the backup history and\n"
     "writes it to FILE.svl: the library's used bytes, or all 2048 bytes when\n"
     "the memory holds no valid library.\n"},
    {"restore", "upload a backup (the newest when no file is given)",
     "Usage: ovrel restore [--port P] [--backup] [--verify] [FILE.svl]\n"
     "Prints what the backup holds and uploads it into the device. Without a\n"
     "file the newest backup of the history is uploaded.\n"
     "  --backup   read the device memory first and keep it in the backup history\n"
     "  --verify   read the memory back afterwards and compare it with the backup\n"},
}};

struct Arguments {
  QString Port;
  QString Output;
  bool Raw = false;
  bool Long = false;
  bool Backup = false;
  bool Verify = false;
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

// Uploads the library file at path, with the backup and verification asked for.
int UploadLibrary(Device& d, const Arguments& a, const QString& path) {
  if (a.Backup) {
    OperationResult read;
    if (const int status = d.ReadMemory(read)) return status;
  }
  Say(QStringLiteral("Uploading Sorvani session library"));
  const OperationResult uploaded =
      d.RunToEnd([&](DeviceLink::Done done) { d.Link.UploadLibrary(path, done); });
  if (!uploaded.Ok()) {
    return Device::Failed(QStringLiteral("Sorvani session library upload failed"), uploaded);
  }
  const int status =
      Finish(ExitOk, QStringLiteral("Sorvani session library uploaded successfully"));
  return a.Verify ? d.Verify(uploaded) : status;
}

int Upload(const Arguments& a) {
  Device d;
  if (const int status = d.Choose(a.Port)) return status;
  return UploadLibrary(d, a, a.Files[0]);
}

int Restore(const Arguments& a) {
  const QString path = a.Files.isEmpty() ? BackupHistory().Newest() : a.Files[0];
  if (path.isEmpty()) {
    return Finish(
        ExitFailed,
        QStringLiteral("No backup has been kept yet in %1.").arg(BackupHistory::DefaultFolder()));
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    return Finish(ExitFailed,
                  QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString()));
  }
  const QByteArray content = file.readAll();
  // What the backup holds; a backup of a memory that held no valid library
  // is restored all the same.
  PrintLibraryInfo(path.toStdString(), std::vector<std::uint8_t>(content.begin(), content.end()));
  std::cout.flush();
  Device d;
  if (const int status = d.Choose(a.Port)) return status;
  return UploadLibrary(d, a, path);
}

int Add(const Arguments& a) {
  Device d;
  if (const int status = d.Choose(a.Port)) return status;
  Say(QStringLiteral("Uploading/adding single session to Sorvani"));
  const OperationResult added =
      d.RunToEnd([&](DeviceLink::Done done) { d.Link.AddSession(a.Files[0], done); });
  if (!added.Ok()) {
    return Device::Failed(QStringLiteral("Single session upload to Sorvani failed"), added);
  }
  const int status =
      Finish(ExitOk, QStringLiteral("Single session uploaded to Sorvani successfully"));
  return a.Verify ? d.Verify(added) : status;
}

bool WriteImageFile(const QString& path, const char* bytes, qint64 size) {
  QSaveFile file(path);
  if (file.open(QIODevice::WriteOnly) && file.write(bytes, size) == size && file.commit()) {
    return true;
  }
  Say(QStringLiteral("%1 cannot be written: %2").arg(path, file.errorString()));
  NoteOutcome(QStringLiteral("%1 cannot be written: %2").arg(path, file.errorString()));
  return false;
}

int Download(const Arguments& a) {
  Device d;
  if (const int status = d.Choose(a.Port)) return status;
  const OperationResult read = d.RunToEnd([&](DeviceLink::Done done) { d.Link.ReadMemory(done); });
  if (!read.Ok()) {
    return Device::Failed(QStringLiteral("Reading the Sorvani session memory failed"), read);
  }
  const OperationResult::Image& img = *read.MemImg;
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
  const bool takesPort = name != "ports" && name != "detect";
  const bool takesOutput = name == "download" || name == "backup";
  const bool takesBackup = name == "upload" || name == "restore";
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
  return Download(a);
}

}  // namespace

int runDeviceCommand(const std::string& name, const std::vector<std::string>& args) {
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

  // The port's notifications and the link's timers need an application's
  // event loop: ovrel makes one, a program that runs the command in-process
  // has its own.
  static int argc = 1;
  static char programName[] = "ovrel";
  static char* argv[] = {programName, nullptr};
  std::optional<QCoreApplication> app;
  if (!QCoreApplication::instance()) {
    app.emplace(argc, argv);
    // Signals are the process's own: only ovrel itself takes them over.
    interruption::Install();
  }
  int status = ExitFailed;
  try {
    status = Run(name, *parsed);
  } catch (const Interrupted&) {
  }
  // A command that a signal stopped, or that finished its write first,
  // ends with the signal's status.
  return interruption::Signal() ? interruption::Stopped() : status;
}

std::string deviceCommandsHelp() {
  std::string out;
  for (const DeviceCommand& c : kCommands) {
    std::string label = c.name;
    label.resize(std::max<std::size_t>(label.size() + 1, 12), ' ');
    out += "  " + label + c.summary + "\n";
  }
  return out;
}

}  // namespace ovrel::cli
