#pragma once
// The port drop-down list: the system's serial ports, each shown with what
// the system knows of it. Selections made by the program only move the
// list; a port the user picks goes to OnPortPicked at once. Before its list
// opens it runs OnDropDown, which refreshes the entries.

#include <QComboBox>
#include <functional>
#include <stdexcept>

namespace ovrel {

// The system's port list could not be read (raised at start-up and by the
// list's refresh, each inside its error display).
class PortListError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The system's serial ports; raises PortListError when they cannot be listed.
QStringList ListPortsOrRaise();

class PortComboBox : public QComboBox {
  Q_OBJECT
 public:
  explicit PortComboBox(QWidget* parent = nullptr);

  // The selected entry's port; empty when none is selected.
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
  // Runs with the port the user picked.
  std::function<void(const QString& port)> OnPortPicked;

  void showPopup() override;

 private:
  void onActivated(int index);
};

}  // namespace ovrel
