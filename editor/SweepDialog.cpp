#include "editor/SweepDialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QVBoxLayout>

#include "session/SesTime.h"

namespace ovrel {

namespace {

QLineEdit* AddField(QGridLayout* grid, int row, const QString& caption, const char* name,
                    const QString& text, const QString& hint) {
  auto* edit = new QLineEdit(text);
  edit->setObjectName(QLatin1String(name));
  edit->setPlaceholderText(hint);
  auto* label = new QLabel(caption);
  label->setBuddy(edit);
  grid->addWidget(label, row, 0);
  grid->addWidget(edit, row, 1);
  return edit;
}

QLabel* AddReason(QGridLayout* grid, int row, const char* name) {
  auto* reason = new QLabel;
  reason->setObjectName(QLatin1String(name));
  reason->setWordWrap(true);
  reason->setMinimumWidth(260);
  QPalette pal = reason->palette();
  pal.setColor(QPalette::WindowText, QColor(0xb0, 0x00, 0x00));
  reason->setPalette(pal);
  grid->addWidget(reason, row, 2);
  return reason;
}

// A reason as a sentence beside its field.
QString Sentence(const std::string& reason) {
  QString text = QString::fromStdString(reason);
  if (!text.isEmpty()) text[0] = text[0].toUpper();
  return text;
}

}  // namespace

SweepDialog::SweepDialog(int room, int64_t sessionSeconds, QWidget* parent)
    : QDialog(parent), room_(room), sessionSeconds_(sessionSeconds) {
  setObjectName(QStringLiteral("sweepDialog"));
  setWindowTitle(QStringLiteral("Insert Sweep"));

  auto* grid = new QGridLayout;
  fromEdit = AddField(grid, 0, QStringLiteral("&From (Hz):"), "fromEdit", QStringLiteral("14"),
                      QStringLiteral("1 to 48"));
  fromReasonText = AddReason(grid, 0, "fromReasonText");
  toEdit = AddField(grid, 1, QStringLiteral("&To (Hz):"), "toEdit", QStringLiteral("4"),
                    QStringLiteral("1 to 48"));
  toReasonText = AddReason(grid, 1, "toReasonText");
  lengthEdit = AddField(grid, 2, QStringLiteral("&Length (minutes):"), "lengthEdit",
                        QStringLiteral("30"), QStringLiteral("M or M:SS"));
  lengthReasonText = AddReason(grid, 2, "lengthReasonText");
  pitchEdit = AddField(grid, 3, QStringLiteral("&Pitch (Hz):"), "pitchEdit", QStringLiteral("100"),
                       QStringLiteral("P or P1:P2"));
  pitchReasonText = AddReason(grid, 3, "pitchReasonText");
  modeCombo = new QComboBox;
  modeCombo->setObjectName(QStringLiteral("modeCombo"));
  for (int32_t mode = 0; mode <= 6; ++mode)
    modeCombo->addItem(QString::fromStdString(ModeText(mode)));
  modeCombo->setCurrentIndex(1);  // IN
  auto* modeLabel = new QLabel(QStringLiteral("&Mode:"));
  modeLabel->setBuddy(modeCombo);
  grid->addWidget(modeLabel, 4, 0);
  grid->addWidget(modeCombo, 4, 1);
  grid->setColumnStretch(2, 1);

  previewText = new QPlainTextEdit;
  previewText->setObjectName(QStringLiteral("previewText"));
  previewText->setReadOnly(true);
  previewText->setLineWrapMode(QPlainTextEdit::NoWrap);
  previewText->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  previewText->setMinimumHeight(150);
  auto* previewCaption =
      new QLabel(QStringLiteral("Segments: number, start, time, mode, frequency, pitch"));
  totalText = new QLabel;
  totalText->setObjectName(QStringLiteral("totalText"));
  lengthWarningText_ = new QLabel;
  lengthWarningText_->setObjectName(QStringLiteral("lengthWarningText"));
  lengthWarningText_->setWordWrap(true);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  okButton = buttons->button(QDialogButtonBox::Ok);
  okButton->setObjectName(QStringLiteral("okButton"));
  cancelButton = buttons->button(QDialogButtonBox::Cancel);
  cancelButton->setObjectName(QStringLiteral("cancelButton"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(previewCaption);
  layout->addWidget(previewText);
  layout->addWidget(totalText);
  layout->addWidget(lengthWarningText_);
  layout->addWidget(buttons);

  for (QLineEdit* edit : {fromEdit, toEdit, lengthEdit, pitchEdit})
    connect(edit, &QLineEdit::textChanged, this, &SweepDialog::onFieldChanged);
  connect(modeCombo, &QComboBox::currentIndexChanged, this, &SweepDialog::onFieldChanged);
  onFieldChanged();
}

void SweepDialog::onFieldChanged() {
  SweepInput input;
  input.From = fromEdit->text().trimmed().toStdString();
  input.To = toEdit->text().trimmed().toStdString();
  input.Length = lengthEdit->text().trimmed().toStdString();
  input.Pitch = pitchEdit->text().trimmed().toStdString();
  input.Mode = modeCombo->currentText().toStdString();
  result_ = MakeSweep(input, room_);

  fromReasonText->setText(Sentence(result_.Reason(SweepField::From)));
  toReasonText->setText(Sentence(result_.Reason(SweepField::To)));
  lengthReasonText->setText(Sentence(result_.Reason(SweepField::Length)));
  pitchReasonText->setText(Sentence(result_.Reason(SweepField::Pitch)));
  okButton->setEnabled(result_.Ok());

  QStringList lines;
  int64_t start = 0;
  for (size_t k = 0; k < result_.Segments.size(); ++k) {
    const Segment& s = result_.Segments[k];
    lines << QString::asprintf("%3zu  %8s  %5s  %s  %2d -> %2d Hz  pitch %3d Hz", k + 1,
                               TimeText(start * TimeUnit).c_str(), SegTimeText(s.Time).c_str(),
                               ModeText(s.Mode).c_str(), s.FreqStart, s.FreqEnd, s.Pitch);
    start += s.Time;
  }
  previewText->setPlainText(lines.join(QLatin1Char('\n')));
  const size_t count = result_.Segments.size();
  totalText->setText(result_.Ok() ? QStringLiteral("%1 segment%2, total time %3")
                                        .arg(count)
                                        .arg(count == 1 ? "" : "s")
                                        .arg(QString::fromStdString(
                                            TimeText(result_.TotalSeconds())))
                                  : QString());
  // OK stays enabled: the warning only says what the device will show.
  const int64_t made = sessionSeconds_ + (result_.Ok() ? result_.TotalSeconds() : 0);
  lengthWarningText_->setText(QString::fromStdString(DeviceLengthWarning(made / 60, made % 60)));
  lengthWarningText_->setVisible(!lengthWarningText_->text().isEmpty());
}

}  // namespace ovrel
