#pragma once
// The port drop-down list: a list of the system's serial ports bound to a
// port component. Selections made by the program only move the list; a port
// the user picks is applied to the component's Port at once (AutoApply).
// Before its list opens it runs OnDropDown, which refreshes the entries.

#include <QComboBox>
#include <functional>

namespace ovrel {

class TCustomComPort;

enum TComProperty { cpNone, cpPort, cpBaudRate, cpDataBits, cpStopBits, cpParity, cpFlowControl };

// The combo box's binding: component, property kind, AutoApply, and the
// port name the user chose last.
struct TComSelect {
  TCustomComPort* ComPort = nullptr;
  TComProperty ComProperty = cpNone;
  bool AutoApply = false;
  QString Port;
};

class PortComboBox : public QComboBox {
  Q_OBJECT
 public:
  explicit PortComboBox(QWidget* parent = nullptr);

  // Binding to the port name: fills the entries with ListComPorts (which may
  // raise EComPort) and selects the component's port, if listed.
  void Bind(TCustomComPort* port, bool autoApply);
  const TComSelect& ComSelect() const { return select_; }

  // The selected entry's text; empty when none is selected.
  QString Text() const;
  // Selects the entry equal to value without regard to case; unchanged when
  // there is none.
  void SetText(const QString& value);
  int ItemIndex() const { return currentIndex(); }
  void SetItemIndex(int index) { setCurrentIndex(index); }
  // Replaces the entries; nothing is selected afterwards.
  void SetItems(const QStringList& items);
  QStringList Items() const;

  // Runs before the list opens (the owner's refresh, inside its error guard).
  std::function<void()> OnDropDown;
  // Runs a user's choice (inside the owner's error guard); by default the
  // choice is applied directly.
  std::function<void(const std::function<void()>&)> Guard;

  void showPopup() override;

 private:
  void UserSelected(int index);
  TComSelect select_;
};

}  // namespace ovrel
