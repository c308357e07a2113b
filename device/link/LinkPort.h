#pragma once
// The port as the device link uses it: the serial port in the program, an
// in-process device in tests that need no real waits.

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

#include "device/serial/SerialPort.h"

namespace ovrel {

class LinkPort {
 public:
  virtual ~LinkPort() = default;
  // Opens the port at path; the error when it cannot be opened.
  virtual std::optional<SerialError> Open(const QString& path) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // Write and Read fail when the line fails.
  virtual std::optional<SerialError> Write(const std::uint8_t* data, int count) = 0;
  // Reads what has arrived, at most count bytes.
  virtual SerialRead Read(std::uint8_t* data, int count) = 0;

  // Called from the event loop with the number of bytes that have arrived.
  std::function<void(int)> OnBytesArrived;
  // Called from the event loop when the line went down while open.
  std::function<void(const SerialError&)> OnLineFailed;
};

// The serial port as the link's port; takes over its OnBytesArrived.
class SerialLinkPort : public LinkPort {
 public:
  explicit SerialLinkPort(SerialPort& port);
  ~SerialLinkPort() override;
  std::optional<SerialError> Open(const QString& path) override { return port_.Open(path); }
  void Close() override { port_.Close(); }
  bool IsOpen() const override { return port_.IsOpen(); }
  std::optional<SerialError> Write(const std::uint8_t* data, int count) override {
    return port_.Write(data, count);
  }
  SerialRead Read(std::uint8_t* data, int count) override { return port_.Read(data, count); }

 private:
  SerialPort& port_;
};

}  // namespace ovrel
