#include "app/PortComboBox.h"

#include "device/serial/ComPort.h"

namespace ovrel {

PortComboBox::PortComboBox(QWidget* parent) : QComboBox(parent) {
  setEditable(false);
  connect(this, &QComboBox::activated, this, &PortComboBox::UserSelected);
}

void PortComboBox::Bind(TCustomComPort* port, bool autoApply) {
  select_.ComPort = port;
  select_.ComProperty = cpPort;
  select_.AutoApply = autoApply;
  QStringList ports;
  ListComPorts(ports);
  SetItems(ports);
  if (port) SetText(port->Port());
}

QString PortComboBox::Text() const {
  return currentIndex() < 0 ? QString() : currentText();
}

void PortComboBox::SetText(const QString& value) {
  const int index = findText(value, Qt::MatchFixedString);  // case-insensitive
  if (index >= 0) setCurrentIndex(index);
}

void PortComboBox::SetItems(const QStringList& items) {
  clear();
  addItems(items);
  setCurrentIndex(-1);
}

QStringList PortComboBox::Items() const {
  QStringList items;
  for (int i = 0; i < count(); ++i) items << itemText(i);
  return items;
}

void PortComboBox::showPopup() {
  if (OnDropDown) OnDropDown();
  QComboBox::showPopup();
}

void PortComboBox::UserSelected(int index) {
  if (index < 0) return;
  const QString name = itemText(index);
  auto apply = [this, name] {
    select_.Port = name;
    if (select_.AutoApply && select_.ComPort) select_.ComPort->SetPort(name);
  };
  if (Guard)
    Guard(apply);
  else
    apply();
}

}  // namespace ovrel
