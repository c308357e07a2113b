#include "device/remote/RemoteControl.h"

#include <QDBusMessage>
#include <QDir>
#include <QDBusPendingCallWatcher>
#include <QPointer>
#include <QTimer>
#include <cstdio>

#include "RemoteAdaptor.h"
#include "device/link/DeviceLink.h"

namespace ovrel {

namespace {

void Say(const QString& text) {
  std::fprintf(stderr, "Sorvani Ovrelware: %s\n", qPrintable(text));
}

// Requests that use the device link, and the quit request, which must not
// end the program in the middle of a device operation.
bool NeedsIdleLink(uint code) {
  return code == RemoteConnect || code == RemoteUploadSession || code == RemoteUploadLibrary ||
         code == RemoteQuit;
}

}  // namespace

RemoteControl::RemoteControl(DeviceLink& link, RemoteCallbacks callbacks,
                             const QDBusConnection& bus, QObject* parent)
    : QObject(parent), Link(link), Callbacks(std::move(callbacks)), Bus(bus) {
  new RemoteAdaptor(this);
  if (!Bus.isConnected()) {
    Say(QStringLiteral("no D-Bus session bus (%1); running without remote control.")
            .arg(Bus.lastError().message()));
    return;
  }
  if (!Bus.registerObject(kRemotePath, this, QDBusConnection::ExportAdaptors)) {
    Say(QStringLiteral("the D-Bus object %1 is taken; running without remote control.")
            .arg(kRemotePath));
    return;
  }
  if (!Bus.registerService(kRemoteService)) {
    Bus.unregisterObject(kRemotePath);
    Say(QStringLiteral("the D-Bus name %1 is owned by another program (is a second copy "
                       "running?); running without remote control.")
            .arg(kRemoteService));
    return;
  }
  FActive = true;
}

RemoteControl::~RemoteControl() {
  if (!FActive) return;
  Bus.unregisterService(kRemoteService);
  Bus.unregisterObject(kRemotePath);
}

void RemoteControl::Request(uint code, const QString& peer) {
  // The method call returns now; the request runs from the event loop.
  if (AskingToQuit && !NeedsIdleLink(code)) {
    // The queue waits for the user's answer before 999; these need no
    // device and are answered meanwhile.
    QTimer::singleShot(0, this, [this, request = Pending{code, peer}] { Answer(request); });
    return;
  }
  Queue.push_back({code, peer});
  ScheduleNext();
}

QString RemoteControl::ProgramFolder() const {
  const QString& folder = Link.GetWorkingFolder();
  return folder.isEmpty() ? QDir::currentPath() : folder;
}

QString RemoteControl::InProgramFolder(const QString& name) const {
  return ProgramFolder() + QLatin1Char('/') + name;
}

void RemoteControl::OpenFiles(const QStringList& files) {
  // Like a request, this runs from the event loop after the call returned,
  // so the second start is never kept waiting by a dialog.
  QTimer::singleShot(0, this, [this, files] {
    if (Callbacks.OpenFiles) Callbacks.OpenFiles(files);
  });
}

void RemoteControl::ScheduleNext() {
  QTimer::singleShot(0, this, &RemoteControl::ServeNext);
}

void RemoteControl::ServeNext() {
  // A request that arrives while another is served (its device operation
  // pumps the event loop) waits for it.
  if (Serving || Queue.empty()) return;
  Serving = true;
  const Pending request = Queue.front();
  Queue.pop_front();
  if (!NeedsIdleLink(request.Code)) {
    Serve(request);
    return;
  }
  QPointer<RemoteControl> self(this);
  Link.WhenIdle([self, request] {
    if (self) self->Serve(request);
  });
}

void RemoteControl::Serve(const Pending& request) {
  if (request.Code == RemoteQuit) {
    ServeQuit();
    return;
  }
  Answer(request);
  Finished();
}

void RemoteControl::Answer(const Pending& request) {
  try {
    switch (request.Code) {
      case RemoteRegister:
        FPeerWindow = request.Peer;
        SendReply(request.Code, 1);
        break;
      case RemoteShow:
        if (Callbacks.ShowMainWindow) Callbacks.ShowMainWindow();
        SendReply(request.Code, 0);
        break;
      case RemoteConnect:
        SendReply(request.Code, Link.Connect() ? 1 : 0);
        break;
      case RemoteUploadSession:
        SendReply(request.Code, Link.UploadOneSession(InProgramFolder(kSesToUplFile)) ? 1 : 0);
        break;
      case RemoteUploadLibrary:
        SendReply(request.Code, Link.UploadSesLib(InProgramFolder(kLibToUplFile)) ? 1 : 0);
        break;
      default:
        break;  // unknown codes are ignored
    }
  } catch (...) {
    if (Callbacks.ShowError) Callbacks.ShowError(std::current_exception());
  }
}

void RemoteControl::ServeQuit() {
  bool mayQuit = true;
  if (Callbacks.MayQuit) {
    AskingToQuit = true;
    try {
      mayQuit = Callbacks.MayQuit();
    } catch (...) {
      mayQuit = false;
      if (Callbacks.ShowError) Callbacks.ShowError(std::current_exception());
    }
    AskingToQuit = false;
  }
  if (!mayQuit) {
    // The client learns that the program stayed.
    SendReply(RemoteQuit, 0);
    Finished();
    return;
  }
  SendReply(RemoteQuit, 1);
  QuitAfterReply();  // Finished once the program was asked to end
}

void RemoteControl::Finished() {
  Serving = false;
  if (!Queue.empty()) ScheduleNext();
}

void RemoteControl::SendReply(uint code, uint outcome) {
  if (FPeerWindow.isEmpty()) return;
  QDBusMessage reply = QDBusMessage::createTargetedSignal(
      FPeerWindow, kRemotePath, kRemoteInterface, QStringLiteral("Reply"));
  reply << code << outcome;
  Bus.send(reply);
}

void RemoteControl::QuitAfterReply() {
  const auto quit = [self = QPointer<RemoteControl>(this)] {
    if (!self) return;
    // The callback may destroy this object: it runs from a copy, and the
    // queue goes on only when the program did not end after all.
    const std::function<void()> callback = self->Callbacks.Quit;
    if (callback) callback();
    if (self) self->Finished();
  };
  if (FPeerWindow.isEmpty()) {
    QTimer::singleShot(0, this, quit);
    return;
  }
  // The bus handles a connection's messages in order: once it answered a
  // call sent after the reply, the reply has reached the bus.
  const QDBusMessage ping = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId"));
  auto* watcher = new QDBusPendingCallWatcher(Bus.asyncCall(ping, 2000), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, quit](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            QTimer::singleShot(0, this, quit);
          });
}

}  // namespace ovrel
