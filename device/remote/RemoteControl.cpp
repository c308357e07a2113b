#include "device/remote/RemoteControl.h"

#include <QDBusMessage>
#include <QDir>
#include <QDBusPendingCallWatcher>
#include <QPointer>
#include <QTimer>
#include <cstdio>

#include "ProductInfo.h"
#include "RemoteAdaptor.h"
#include "device/link/DeviceLink.h"

namespace ovrel {

namespace {

void Say(const QString& text) {
  std::fprintf(stderr, "%s: %s\n", kProductName, qPrintable(text));
}

}  // namespace

RemoteControl::RemoteControl(DeviceLink& link, RemoteCallbacks callbacks,
                             const QDBusConnection& bus, QObject* parent)
    : QObject(parent), link_(link), jobs_(link), callbacks_(std::move(callbacks)), bus_(bus) {
  new RemoteAdaptor(this);
  if (!bus_.isConnected()) {
    Say(QStringLiteral("no D-Bus session bus (%1); running without remote control.")
            .arg(bus_.lastError().message()));
    return;
  }
  if (!bus_.registerObject(kRemotePath, this, QDBusConnection::ExportAdaptors)) {
    Say(QStringLiteral("the D-Bus object %1 is taken; running without remote control.")
            .arg(kRemotePath));
    return;
  }
  if (!bus_.registerService(kRemoteService)) {
    bus_.unregisterObject(kRemotePath);
    Say(QStringLiteral("the D-Bus name %1 is owned by another program (is a second copy "
                       "running?); running without remote control.")
            .arg(kRemoteService));
    return;
  }
  active_ = true;
}

RemoteControl::~RemoteControl() {
  if (!active_) return;
  bus_.unregisterService(kRemoteService);
  bus_.unregisterObject(kRemotePath);
}

void RemoteControl::Request(uint code, const QString& peer) {
  // The method call returns now; the request runs from the event loop.
  QTimer::singleShot(0, this, [this, request = Pending{code, peer}] { Answer(request); });
}

QString RemoteControl::ProgramFolder() const {
  const QString folder = callbacks_.ProgramFolder ? callbacks_.ProgramFolder() : QString();
  return folder.isEmpty() ? QDir::currentPath() : folder;
}

WriteOptions RemoteControl::Options() const {
  // What a request replaces is kept first; with no one to ask, nothing is
  // written when it cannot be kept.
  WriteOptions options;
  options.WorkingFolder = ProgramFolder();
  return options;
}

QString RemoteControl::InProgramFolder(const QString& name) const {
  return ProgramFolder() + QLatin1Char('/') + name;
}

void RemoteControl::OpenFiles(const QStringList& files) {
  // Like a request, this runs from the event loop after the call returned,
  // so the second start is never kept waiting by a dialog.
  QTimer::singleShot(0, this, [this, files] {
    if (callbacks_.OpenFiles) callbacks_.OpenFiles(files);
  });
}

void RemoteControl::Answer(const Pending& request) {
  try {
    switch (request.Code) {
      case RemoteRegister:
        clientBusName_ = request.Peer;
        SendReply(request.Code, 1);
        break;
      case RemoteShow:
        if (callbacks_.ShowMainWindow) callbacks_.ShowMainWindow();
        SendReply(request.Code, 0);
        break;
      case RemoteConnect:
        jobs_.Connect(ReplyWhenDone(request.Code));
        break;
      case RemoteUploadSession:
        jobs_.Add(InProgramFolder(kSesToUplFile), Options(), ReplyWhenDone(request.Code));
        break;
      case RemoteUploadLibrary:
        jobs_.UploadFile(InProgramFolder(kLibToUplFile), Options(), ReplyWhenDone(request.Code));
        break;
      case RemoteQuit:
        // Not in the middle of a device operation: after what came before.
        jobs_.AfterQueued([self = QPointer<RemoteControl>(this)] {
          if (self) self->ServeQuit();
        });
        break;
      default:
        break;  // unknown codes are ignored
    }
  } catch (...) {
    if (callbacks_.ShowError) callbacks_.ShowError(std::current_exception());
  }
}

std::function<void(const OperationResult&)> RemoteControl::ReplyWhenDone(uint code) {
  return [self = QPointer<RemoteControl>(this), code](const OperationResult& result) {
    if (!self) return;
    if (!result.Ok()) self->SendFailure(code, result.Reason());
    self->SendReply(code, result.Ok() ? 1 : 0);
    // The client has its answer before the user reads the message.
    if (!result.Ok() && self->callbacks_.ShowResult) self->callbacks_.ShowResult(result);
    if (result.Ok() && code != RemoteConnect && self->callbacks_.MemoryChanged)
      self->callbacks_.MemoryChanged(code, result);
  };
}

void RemoteControl::ServeQuit() {
  bool mayQuit = true;
  if (callbacks_.MayQuit) {
    try {
      mayQuit = callbacks_.MayQuit();
    } catch (...) {
      mayQuit = false;
      if (callbacks_.ShowError) callbacks_.ShowError(std::current_exception());
    }
  }
  if (!mayQuit) {
    // The client learns that the program stayed.
    SendReply(RemoteQuit, 0);
    return;
  }
  SendReply(RemoteQuit, 1);
  QuitAfterReply();
}

void RemoteControl::SendFailure(uint code, const QString& reason) {
  if (clientBusName_.isEmpty()) return;
  QDBusMessage failure = QDBusMessage::createTargetedSignal(
      clientBusName_, kRemotePath, kRemoteInterface, QStringLiteral("Failure"));
  failure << code << reason;
  bus_.send(failure);
}

void RemoteControl::SendReply(uint code, uint outcome) {
  if (clientBusName_.isEmpty()) return;
  QDBusMessage reply = QDBusMessage::createTargetedSignal(
      clientBusName_, kRemotePath, kRemoteInterface, QStringLiteral("Reply"));
  reply << code << outcome;
  bus_.send(reply);
}

void RemoteControl::QuitAfterReply() {
  const auto quit = [self = QPointer<RemoteControl>(this)] {
    if (!self) return;
    // The callback may destroy this object: it runs from a copy.
    const std::function<void()> callback = self->callbacks_.Quit;
    if (callback) callback();
  };
  if (clientBusName_.isEmpty()) {
    QTimer::singleShot(0, this, quit);
    return;
  }
  // The bus handles a connection's messages in order: once it answered a
  // call sent after the reply, the reply has reached the bus.
  const QDBusMessage ping = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId"));
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(ping, 2000), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, quit](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            QTimer::singleShot(0, this, quit);
          });
}

}  // namespace ovrel
