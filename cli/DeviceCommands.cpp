#include "cli/DeviceCommands.h"

#include <QCoreApplication>
#include <QSaveFile>
#include <QStringList>
#include <array>
#include <cstdio>
#include <iostream>
#include <optional>

#include "cli/Command.h"
#include "device/link/DeviceLink.h"
#include "device/link/ProgramFolder.h"
#include "device/protocol/Merge.h"
#include "device/serial/ComPort.h"

namespace ovrel::cli {
namespace {

struct DeviceCommand {
  const char* name;
  const char* summary;
  const char* help;
};

const std::array<DeviceCommand, 5> kCommands = {{
    {"ports", "list the serial ports, one a line",
     "Usage: ovrel ports\n"
     "Lists the serial ports that autodetection probes, one a line.\n"},
    {"detect", "find the device and print its port",
     "Usage: ovrel detect\n"
     "Probes every listed port and prints the one where the device answered.\n"},
    {"upload", "upload a session library (.svl) into the device",
     "Usage: ovrel upload [--port P] LIB.svl\n"
     "Replaces the device's session memory with the library file. Without\n"
     "--port the device is found first.\n"},
    {"add", "add a session (.svs) to the library in the device",
     "Usage: ovrel add [--port P] SESSION.svs\n"
     "Reads the device's library, appends the session and uploads the result.\n"
     "Writes SVPMemImg.svl and TempSesLib.svl in the program folder: beside\n"
     "ovrel, or $XDG_DATA_HOME/ovrelware when that folder is not writable.\n"},
    {"download", "read the library in the device into a file",
     "Usage: ovrel download [--port P] [--raw] -o FILE.svl\n"
     "Reads the device's session memory and writes its library (or, with\n"
     "--raw, all 2048 bytes) to FILE.svl.\n"},
}};

void Say(const QString& text) {
  std::fprintf(stderr, "%s\n", qPrintable(text));
}

// Shows the link's news on stderr.
class StderrUi : public LinkUi {
 public:
  void SetStatusText(int panel, const QString& text) override {
    if (panel == 0) Say(text);
  }
  void ShowMessage(const QString& text, LinkIcon, const QString& detail) override {
    Say(text);
    if (!detail.isEmpty()) Say(detail);
  }
  void PortsListed(const QStringList& ports) override { Ports = ports; }
  void ProbingPort(int index) override {
    Say(QStringLiteral("probing %1").arg(Ports.value(index)));
  }
  void Progress(const LinkProgress& p) override {
    if (p.Count == 0) return;
    QString what = QString(QChar(p.Command));
    if (p.Block >= 0) what += QStringLiteral(" block %1 of 16").arg(p.Block + 1);
    Say(QStringLiteral("%1 (step %2 of %3)").arg(what).arg(p.Step).arg(p.Count));
  }
  void BusyChanged(bool) override {}

 private:
  QStringList Ports;
};

struct Arguments {
  QString Port;
  QString Output;
  bool Raw = false;
  QStringList Files;
};

// The port, the link and the event loop that one device command runs on.
class Device {
 public:
  // The working files go to the program folder, as the desktop program's do.
  Device() : Link(Port, Ui) { Link.SetWorkingFolder(LocateProgramFolders().Program); }

  // Uses the given port, or finds the device first.
  bool Choose(const QString& port) {
    if (!port.isEmpty()) {
      Port.SetPort(port);
      return true;
    }
    Say(QStringLiteral("Autodetecting Sorvani..."));
    if (Link.Connect()) {
      Say(QStringLiteral("Sorvani successfully detected on %1").arg(Port.Port()));
      return true;
    }
    Say(QStringLiteral("Autodetection of Sorvani failed"));
    return false;
  }

  TComPort Port;
  StderrUi Ui;
  DeviceLink Link;
};

int Ports() {
  QStringList ports;
  ListComPorts(ports);
  for (const QString& p : ports) std::printf("%s\n", qPrintable(p));
  return ExitOk;
}

int Detect() {
  Device d;
  if (!d.Choose({})) return ExitFailed;
  std::printf("%s\n", qPrintable(d.Port.Port()));
  return ExitOk;
}

int Upload(const Arguments& a) {
  Device d;
  if (!d.Choose(a.Port)) return ExitFailed;
  Say(QStringLiteral("Uploading Sorvani session library"));
  const bool ok = d.Link.UploadSesLib(a.Files[0]);
  Say(ok ? QStringLiteral("Sorvani session library uploaded successfully")
         : QStringLiteral("Sorvani session library upload failed"));
  return ok ? ExitOk : ExitFailed;
}

int Add(const Arguments& a) {
  Device d;
  if (!d.Choose(a.Port)) return ExitFailed;
  Say(QStringLiteral("Uploading/adding single session to Sorvani"));
  const bool ok = d.Link.UploadOneSession(a.Files[0]);
  Say(ok ? QStringLiteral("Single session uploaded to Sorvani successfully")
         : QStringLiteral("Single session upload to Sorvani failed"));
  return ok ? ExitOk : ExitFailed;
}

int Download(const Arguments& a) {
  Device d;
  if (!d.Choose(a.Port)) return ExitFailed;
  if (!d.Link.ReadDeviceMemory()) {
    Say(QStringLiteral("Reading the Sorvani session memory failed"));
    return ExitFailed;
  }
  const auto& img = d.Link.State.MemImgBuf;
  qint64 size = kSesMemSize;
  if (!a.Raw) {
    if (const auto invalid = CheckLibraryImage(img)) {
      Say(QStringLiteral("The session memory of Sorvani holds no valid session library: %1. "
                         "--raw writes all 2048 bytes.")
              .arg(QString::fromStdString(*invalid)));
      return ExitFailed;
    }
    size = ((img[2] << 8) | img[3]) + 1;
  }
  QSaveFile file(a.Output);
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(reinterpret_cast<const char*>(img.data()), size) != size || !file.commit()) {
    Say(QStringLiteral("%1 cannot be written: %2").arg(a.Output, file.errorString()));
    return ExitFailed;
  }
  Say(QStringLiteral("%1 bytes written to %2").arg(size).arg(a.Output));
  return ExitOk;
}

// Splits the arguments of a device command; nothing on wrong usage (after
// reporting it).
std::optional<Arguments> Parse(const std::string& name, const std::vector<std::string>& args) {
  Arguments out;
  const bool takesPort = name != "ports" && name != "detect";
  const bool isDownload = name == "download";
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (takesPort && arg == "--port" && hasValue) {
      out.Port = QString::fromStdString(args[++i]);
    } else if (isDownload && arg == "-o" && hasValue) {
      out.Output = QString::fromStdString(args[++i]);
    } else if (isDownload && arg == "--raw") {
      out.Raw = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      UsageError(name, "unknown option or missing value: " + arg + ".");
      return std::nullopt;
    } else {
      out.Files << QString::fromStdString(arg);
    }
  }
  const qsizetype files = (name == "upload" || name == "add") ? 1 : 0;
  if (out.Files.size() != files) {
    UsageError(name, files ? "needs exactly one file." : "takes no file arguments.");
    return std::nullopt;
  }
  if (isDownload && out.Output.isEmpty()) {
    UsageError(name, "needs -o FILE.");
    return std::nullopt;
  }
  return out;
}

int Run(const std::string& name, const Arguments& a) {
  if (name == "ports") return Ports();
  if (name == "detect") return Detect();
  if (name == "upload") return Upload(a);
  if (name == "add") return Add(a);
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

  // The port's notifications and the link's waits need an event loop.
  static int argc = 1;
  static char programName[] = "ovrel";
  static char* argv[] = {programName, nullptr};
  QCoreApplication app(argc, argv);
  try {
    return Run(name, *parsed);
  } catch (const EComPort& e) {
    return Failure(e.what());
  }
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
