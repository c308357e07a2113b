#include "app/PortComboBox.h"

#include "device/serial/ComPort.h"
#include "device/serial/PortDescription.h"

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

// Each entry shows the path and what the system knows of the port; its
// value, kept as the entry's data, is the path alone.
QString PortComboBox::Text() const {
  return currentIndex() < 0 ? QString() : currentData().toString();
}

void PortComboBox::SetText(const QString& value) {
  const int index = findData(value, Qt::UserRole, Qt::MatchFixedString);  // case-insensitive
  if (index >= 0) setCurrentIndex(index);
}

void PortComboBox::SetItems(const QStringList& items) {
  clear();
  for (const QString& path : items) {
    const QString description = PortDescription(path);
    addItem(description.isEmpty() ? path : path + QStringLiteral("  (") + description + u')',
            path);
  }
  setCurrentIndex(-1);
}

QStringList PortComboBox::Items() const {
  QStringList items;
  for (int i = 0; i < count(); ++i) items << itemData(i).toString();
  return items;
}

void PortComboBox::showPopup() {
  if (OnDropDown) OnDropDown();
  QComboBox::showPopup();
}

void PortComboBox::UserSelected(int index) {
  if (index < 0) return;
  const QString name = itemData(index).toString();
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
