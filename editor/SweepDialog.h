#pragma once
// The editor's "Insert Sweep" dialog: a frequency sweep given by its start
// and end frequency, its length, a pitch or pitch range and a mode, with a
// live list of the segments it makes and their total time. A faulty value
// shows its reason beside its field and OK stays disabled.

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "session/Sweep.h"

namespace ovrel {

class SweepDialog : public QDialog {
  Q_OBJECT
 public:
  // room: how many more segments the session can take; sessionSeconds: the
  // length of the session the sweep goes into.
  explicit SweepDialog(int room, int64_t sessionSeconds = 0, QWidget* parent = nullptr);

  // The sweep as the fields give it now (segments only when OK is enabled).
  const SweepResult& Result() const { return result_; }

 private:
  // Makes the sweep from the fields and shows its segments or the reasons.
  void onFieldChanged();

  int room_;
  int64_t sessionSeconds_;
  SweepResult result_;
  QLineEdit* fromEdit_;
  QLineEdit* toEdit_;
  QLineEdit* lengthEdit_;
  QLineEdit* pitchEdit_;
  QComboBox* modeCombo_;
  QLabel* fromReasonText_;
  QLabel* toReasonText_;
  QLabel* lengthReasonText_;
  QLabel* pitchReasonText_;
  QPlainTextEdit* previewText_;
  QLabel* totalText_;
  QPushButton* okButton_;
  QLabel* lengthWarningText_;  // a session the device will show shorter
};

}  // namespace ovrel
