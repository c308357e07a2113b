#include "app/RunningProgram.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include "device/remote/RemoteControl.h"

namespace ovrel {

bool HandOverToRunningProgram(const QStringList& files) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  QDBusConnectionInterface* names = bus.interface();
  if (!names || !names->isServiceRegistered(kRemoteService).value()) return false;
  QDBusMessage call = QDBusMessage::createMethodCall(kRemoteService, kRemotePath,
                                                     kRemoteInterface, QStringLiteral("OpenFiles"));
  call.setAutoStartService(false);
  call << files;
  // The running copy answers from its event loop, which keeps turning even
  // during a device operation; ten seconds cover a loaded machine.
  const QDBusMessage answer = bus.call(call, QDBus::Block, 10000);
  return answer.type() == QDBusMessage::ReplyMessage;
}

}  // namespace ovrel
