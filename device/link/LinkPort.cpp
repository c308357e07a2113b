#include "device/link/LinkPort.h"

namespace ovrel {

SerialLinkPort::SerialLinkPort(SerialPort& port) : port_(port) {
  port_.OnBytesArrived = [this](int count) {
    if (OnBytesArrived) OnBytesArrived(count);
  };
}

SerialLinkPort::~SerialLinkPort() {
  port_.OnBytesArrived = nullptr;
}

}  // namespace ovrel
