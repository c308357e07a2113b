#include "app/PortComboBox.h"

#include "device/serial/PortDescription.h"
#include "device/serial/SerialPort.h"

namespace ovrel {

QStringList ListPortsOrRaise() {
  const SerialPortList listed = ListSerialPorts();
  if (listed.Error) throw PortListError(listed.Error->Text().toStdString());
  return listed.Ports;
}

PortComboBox::PortComboBox(QWidget* parent) : QComboBox(parent) {
  setEditable(false);
  connect(this, &QComboBox::activated, this, &PortComboBox::onActivated);
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

void PortComboBox::onActivated(int index) {
  if (index < 0) return;
  if (OnPortPicked) OnPortPicked(itemData(index).toString());
}

}  // namespace ovrel
