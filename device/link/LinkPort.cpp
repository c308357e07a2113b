#include "device/link/LinkPort.h"

#include "device/serial/ComPort.h"

namespace ovrel {

SerialLinkPort::SerialLinkPort(TCustomComPort& port) : Port(port) {
  Port.OnRxChar = [this](TCustomComPort*, int count) {
    if (OnReceived) OnReceived(count);
  };
}

SerialLinkPort::~SerialLinkPort() {
  Port.OnRxChar = nullptr;
}

void SerialLinkPort::Open() {
  Port.Open();
}

void SerialLinkPort::Close() {
  Port.Close();
}

bool SerialLinkPort::IsOpen() const {
  return Port.Connected();
}

void SerialLinkPort::Write(const std::uint8_t* data, int count) {
  Port.Write(data, count);
}

int SerialLinkPort::Read(std::uint8_t* data, int count) {
  return Port.Read(data, count);
}

QString SerialLinkPort::Path() const {
  return Port.Port();
}

void SerialLinkPort::SetPath(const QString& path) {
  Port.SetPort(path);
}

}  // namespace ovrel
