#pragma once
// The port as the device link uses it: the serial port component in the
// program, an in-process device in tests that need no real waits.

#include <QString>
#include <cstdint>
#include <functional>

namespace ovrel {

class TCustomComPort;

class LinkPort {
 public:
  virtual ~LinkPort() = default;
  // Open raises EComPort when the port cannot be opened; Write and Read
  // raise it when the line fails.
  virtual void Open() = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  virtual void Write(const std::uint8_t* data, int count) = 0;
  // Reads what has arrived, at most count bytes; returns how many.
  virtual int Read(std::uint8_t* data, int count) = 0;
  virtual QString Path() const = 0;
  virtual void SetPath(const QString& path) = 0;

  // Called from the event loop with the number of bytes that have arrived.
  std::function<void(int)> OnReceived;
};

// The serial port component as the link's port; takes over its OnRxChar.
class SerialLinkPort : public LinkPort {
 public:
  explicit SerialLinkPort(TCustomComPort& port);
  ~SerialLinkPort() override;
  void Open() override;
  void Close() override;
  bool IsOpen() const override;
  void Write(const std::uint8_t* data, int count) override;
  int Read(std::uint8_t* data, int count) override;
  QString Path() const override;
  void SetPath(const QString& path) override;

 private:
  TCustomComPort& Port;
};

}  // namespace ovrel
