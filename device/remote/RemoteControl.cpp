#include "device/remote/RemoteControl.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDir>
#include <QPointer>
#include <QTimer>
#include <cstdio>

#include "ProductInfo.h"
#include "RemoteAdaptor.h"

namespace ovrel {

namespace {

void Say(const QString& text) {
  std::fprintf(stderr, "%s: %s\n", kProductName, qPrintable(text));
}

}  // namespace

RemoteControl::RemoteControl(DeviceService& device, RemoteCallbacks callbacks,
                             const QDBusConnection& bus, QObject* parent)
    : QObject(parent), device_(device), callbacks_(std::move(callbacks)), bus_(bus) {
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
  const QString sender = calledFromDBus() ? message().service() : QString();
  QTimer::singleShot(0, this, [this, request = Pending{code, peer, sender}] { Answer(request); });
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

QString RemoteControl::ReplyTarget(const QString& sender) const {
  return registered_.value(sender, clientBusName_);
}

void RemoteControl::Answer(const Pending& request) {
  // Fixed when the request comes: a later registration of another client
  // does not take its reply.
  const QString to = ReplyTarget(request.Sender);
  try {
    switch (request.Code) {
      case RemoteRegister:
        clientBusName_ = request.Peer;
        if (!request.Sender.isEmpty()) registered_.insert(request.Sender, request.Peer);
        SendReply(request.Peer, request.Code, 1);
        break;
      case RemoteShow:
        if (callbacks_.ShowMainWindow) callbacks_.ShowMainWindow();
        SendReply(to, request.Code, 0);
        break;
      case RemoteConnect:
        device_.Connect(ReplyWhenDone(request.Code, to));
        break;
      case RemoteUploadSession:
        device_.Add(InProgramFolder(kSesToUplFile), Options(), ReplyWhenDone(request.Code, to),
                    QStringLiteral("another program added a session"));
        break;
      case RemoteUploadLibrary:
        device_.UploadFile(InProgramFolder(kLibToUplFile), Options(),
                           ReplyWhenDone(request.Code, to), BackupReason::BeforeUpload,
                           QStringLiteral("another program uploaded a library"));
        break;
      case RemoteQuit:
        // Not in the middle of a device operation: after what came before.
        device_.AfterQueued([self = QPointer<RemoteControl>(this), to] {
          if (self) self->ServeQuit(to);
        });
        break;
      default:
        break;  // unknown codes are ignored
    }
  } catch (...) {
    if (callbacks_.ShowError) callbacks_.ShowError(std::current_exception());
  }
}

std::function<void(const JobResult&)> RemoteControl::ReplyWhenDone(uint code, const QString& to) {
  return [self = QPointer<RemoteControl>(this), code, to](const JobResult& result) {
    if (!self) return;
    if (!result.Ok()) self->SendFailure(to, code, result.Reason());
    self->SendReply(to, code, result.Ok() ? 1 : 0);
    // The client has its answer before the user reads the message.
    if (!result.Ok() && self->callbacks_.ShowResult) self->callbacks_.ShowResult(result);
  };
}

void RemoteControl::ServeQuit(const QString& to) {
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
    SendReply(to, RemoteQuit, 0);
    return;
  }
  SendReply(to, RemoteQuit, 1);
  QuitAfterReply();
}

void RemoteControl::SendFailure(const QString& to, uint code, const QString& reason) {
  if (to.isEmpty()) return;
  QDBusMessage failure = QDBusMessage::createTargetedSignal(to, kRemotePath, kRemoteInterface,
                                                            QStringLiteral("Failure"));
  failure << code << reason;
  bus_.send(failure);
}

void RemoteControl::SendReply(const QString& to, uint code, uint outcome) {
  if (to.isEmpty()) return;
  QDBusMessage reply = QDBusMessage::createTargetedSignal(to, kRemotePath, kRemoteInterface,
                                                          QStringLiteral("Reply"));
  reply << code << outcome;
  bus_.send(reply);
}

void RemoteControl::QuitAfterReply() {
  WhenRepliesSent([self = QPointer<RemoteControl>(this)] {
    if (!self) return;
    // The callback may destroy this object: it runs from a copy.
    const std::function<void()> callback = self->callbacks_.Quit;
    if (callback) callback();
  });
}

void RemoteControl::WhenRepliesSent(std::function<void()> then) {
  const auto call = [then = std::move(then)] {
    if (then) then();
  };
  if (!active_) {
    QTimer::singleShot(0, this, call);
    return;
  }
  // The bus handles a connection's messages in order: once it answered a
  // call sent after the replies, they have reached the bus.
  const QDBusMessage ping = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
      QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId"));
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(ping, 2000), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this,
          [this, call](QDBusPendingCallWatcher* w) {
            w->deleteLater();
            QTimer::singleShot(0, this, call);
          });
}

}  // namespace ovrel
