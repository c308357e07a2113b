#include "app/TComComboBox.h"

#include "device/serial/ComPort.h"

namespace ovrel {

TComComboBox::TComComboBox(QWidget* parent) : QComboBox(parent) {
  setEditable(false);
  connect(this, &QComboBox::activated, this, &TComComboBox::UserSelected);
}

void TComComboBox::Bind(TCustomComPort* port, bool autoApply) {
  select_.ComPort = port;
  select_.ComProperty = cpPort;
  select_.AutoApply = autoApply;
  QStringList ports;
  ListComPorts(ports);
  SetItems(ports);
  if (port) SetText(port->Port());
}

QString TComComboBox::Text() const {
  return currentIndex() < 0 ? QString() : currentText();
}

void TComComboBox::SetText(const QString& value) {
  const int index = findText(value, Qt::MatchFixedString);  // case-insensitive
  if (index >= 0) setCurrentIndex(index);
}

void TComComboBox::SetItems(const QStringList& items) {
  clear();
  addItems(items);
  setCurrentIndex(-1);
}

QStringList TComComboBox::Items() const {
  QStringList items;
  for (int i = 0; i < count(); ++i) items << itemText(i);
  return items;
}

void TComComboBox::showPopup() {
  if (OnDropDown) OnDropDown();
  QComboBox::showPopup();
}

void TComComboBox::UserSelected(int index) {
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
