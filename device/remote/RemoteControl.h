#pragma once
// Remote control of the device by another program on the desktop, over the
// D-Bus session bus: the client calls Request(code, peer) on
// org.sorvani.Ovrelware.Remote and receives Reply(code, outcome) as a
// signal sent to the bus name it registered with request 989. Each client
// that registered gets the replies to its own requests; a request from a
// connection that never registered is answered to the name registered last.
//
// Request returns at once. 989 and 990 are answered from the event loop at
// once, also while a question box is open; the device requests and 999 go
// into the device link's queue, behind an operation started from a button.
// A failed device request sends Failure(code, reason) before its Reply.

#include <QDBusConnection>
#include <QDBusContext>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <exception>
#include <functional>

#include "device/jobs/DeviceJobs.h"
#include "device/jobs/DeviceService.h"
#include "device/jobs/JobResult.h"

namespace ovrel {

inline const QString kRemoteService = QStringLiteral("org.sorvani.Ovrelware");
inline const QString kRemotePath = QStringLiteral("/org/sorvani/Ovrelware");
inline const QString kRemoteInterface = QStringLiteral("org.sorvani.Ovrelware.Remote");
// Working files that the client writes before requests 992 and 993.
inline const QString kSesToUplFile = QStringLiteral("SesToUpl.svs");
inline const QString kLibToUplFile = QStringLiteral("LibToUpl.svl");

enum RemoteCode : uint {
  RemoteRegister = 989,       // the peer becomes the client bus name
  RemoteShow = 990,           // show the main window
  RemoteConnect = 991,        // autodetect the device
  RemoteUploadSession = 992,  // add SesToUpl.svs to the library in the device
  RemoteUploadLibrary = 993,  // upload LibToUpl.svl
  RemoteQuit = 999,           // settle unsaved work, reply, then end the program
};

struct RemoteCallbacks {
  // Shows the application and its main window (also while the splash shows).
  std::function<void()> ShowMainWindow;
  // Asks the user about unsaved work before 999 ends the program (Yes saves,
  // No discards); false when the program is to stay (Cancel). Requests that
  // need no device are answered while the question is open. None: true.
  std::function<bool()> MayQuit;
  // Ends the program; called once the reply to 999 has left.
  std::function<void()> Quit;
  // Shows an error raised while serving a request (the default error
  // display); the request then ends without a reply.
  std::function<void(std::exception_ptr)> ShowError;
  // Shows how a failed device request ended, after its reply has left,
  // without an event loop of its own (no modal box): the next request
  // must not start inside it.
  std::function<void(const JobResult&)> ShowResult;
  // Opens session and library files that a second start of the program
  // was given, and shows the main window.
  std::function<void(const QStringList&)> OpenFiles;
  // The program folder, where clients put their files and the add keeps
  // its working files. None: the current directory.
  std::function<QString()> ProgramFolder;
};

class RemoteControl : public QObject, protected QDBusContext {
  Q_OBJECT
  // The folder where clients put "SesToUpl.svs" and "LibToUpl.svl".
  Q_PROPERTY(QString ProgramFolder READ ProgramFolder)

 public:
  // Serves the interface on bus under kRemoteService and kRemotePath. When
  // the bus cannot be reached or the name is owned already (another copy of
  // the program runs), it says so on stderr and serves nothing.
  RemoteControl(DeviceService& device, RemoteCallbacks callbacks,
                const QDBusConnection& bus = QDBusConnection::sessionBus(),
                QObject* parent = nullptr);
  ~RemoteControl() override;
  RemoteControl(const RemoteControl&) = delete;
  RemoteControl& operator=(const RemoteControl&) = delete;

  // True while the name and the object are registered.
  bool Active() const { return active_; }
  // The bus name registered last, where the replies to a connection that
  // never registered go; empty: they are dropped.
  const QString& ClientBusName() const { return clientBusName_; }
  // Calls then once every reply sent so far has reached the bus.
  void WhenRepliesSent(std::function<void()> then);
  // The program folder: the one the callbacks name, else the current one.
  QString ProgramFolder() const;

 public slots:
  // The interface's Request method: queues the request and returns.
  void Request(uint code, const QString& peer);
  // The interface's OpenFiles method: a second start hands its files over.
  void OpenFiles(const QStringList& files);

 private:
  struct Pending {
    uint Code;
    QString Peer;
    QString Sender;  // the connection that sent it; empty: not from the bus
  };
  void Answer(const Pending& request);
  // 999: the user settles unsaved work, then the reply and the end follow.
  void ServeQuit(const QString& to);
  // The reply to a device request, sent when its operation has ended.
  std::function<void(const JobResult&)> ReplyWhenDone(uint code, const QString& to);
  // Where the replies to a request from sender go.
  QString ReplyTarget(const QString& sender) const;
  void SendReply(const QString& to, uint code, uint outcome);
  void SendFailure(const QString& to, uint code, const QString& reason);
  QString InProgramFolder(const QString& name) const;
  // The options of the jobs the requests start.
  WriteOptions Options() const;
  // Ends the program once everything sent so far has reached the bus.
  void QuitAfterReply();

  DeviceService& device_;
  RemoteCallbacks callbacks_;
  QDBusConnection bus_;
  QString clientBusName_;
  // The name each connection registered, by its unique bus name.
  QHash<QString, QString> registered_;
  bool active_ = false;
};

}  // namespace ovrel
