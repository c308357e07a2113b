#include "device/link/LinkPort.h"

namespace ovrel {

SerialLinkPort::SerialLinkPort(SerialPort& port) : port_(port) {
  port_.OnBytesArrived = [this](int count) {
    if (OnBytesArrived) OnBytesArrived(count);
  };
  port_.OnLineFailed = [this](const SerialError& error) {
    if (OnLineFailed) OnLineFailed(error);
  };
}

SerialLinkPort::~SerialLinkPort() {
  port_.OnBytesArrived = nullptr;
  port_.OnLineFailed = nullptr;
}

}  // namespace ovrel
