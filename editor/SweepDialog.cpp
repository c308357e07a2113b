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
  fromEdit_ = AddField(grid, 0, QStringLiteral("&From (Hz):"), "fromEdit", QStringLiteral("14"),
                      QStringLiteral("1 to 48"));
  fromReasonText_ = AddReason(grid, 0, "fromReasonText");
  toEdit_ = AddField(grid, 1, QStringLiteral("&To (Hz):"), "toEdit", QStringLiteral("4"),
                    QStringLiteral("1 to 48"));
  toReasonText_ = AddReason(grid, 1, "toReasonText");
  lengthEdit_ = AddField(grid, 2, QStringLiteral("&Length (minutes):"), "lengthEdit",
                        QStringLiteral("30"), QStringLiteral("M or M:SS"));
  lengthReasonText_ = AddReason(grid, 2, "lengthReasonText");
  pitchEdit_ = AddField(grid, 3, QStringLiteral("&Pitch (Hz):"), "pitchEdit", QStringLiteral("100"),
                       QStringLiteral("P or P1:P2"));
  pitchReasonText_ = AddReason(grid, 3, "pitchReasonText");
  modeCombo_ = new QComboBox;
  modeCombo_->setObjectName(QStringLiteral("modeCombo"));
  for (int32_t mode = 0; mode <= 6; ++mode)
    modeCombo_->addItem(QString::fromStdString(ModeText(mode)));
  modeCombo_->setCurrentIndex(1);  // IN
  auto* modeLabel = new QLabel(QStringLiteral("&Mode:"));
  modeLabel->setBuddy(modeCombo_);
  grid->addWidget(modeLabel, 4, 0);
  grid->addWidget(modeCombo_, 4, 1);
  grid->setColumnStretch(2, 1);

  previewText_ = new QPlainTextEdit;
  previewText_->setObjectName(QStringLiteral("previewText"));
  previewText_->setReadOnly(true);
  previewText_->setLineWrapMode(QPlainTextEdit::NoWrap);
  previewText_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  previewText_->setMinimumHeight(150);
  auto* previewCaption =
      new QLabel(QStringLiteral("Segments: number, start, time, mode, frequency, pitch"));
  totalText_ = new QLabel;
  totalText_->setObjectName(QStringLiteral("totalText"));
  lengthWarningText_ = new QLabel;
  lengthWarningText_->setObjectName(QStringLiteral("lengthWarningText"));
  lengthWarningText_->setWordWrap(true);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  okButton_ = buttons->button(QDialogButtonBox::Ok);
  okButton_->setObjectName(QStringLiteral("okButton"));
  buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(previewCaption);
  layout->addWidget(previewText_);
  layout->addWidget(totalText_);
  layout->addWidget(lengthWarningText_);
  layout->addWidget(buttons);

  for (QLineEdit* edit : {fromEdit_, toEdit_, lengthEdit_, pitchEdit_})
    connect(edit, &QLineEdit::textChanged, this, &SweepDialog::onFieldChanged);
  connect(modeCombo_, &QComboBox::currentIndexChanged, this, &SweepDialog::onFieldChanged);
  onFieldChanged();
}

void SweepDialog::onFieldChanged() {
  SweepInput input;
  input.From = fromEdit_->text().trimmed().toStdString();
  input.To = toEdit_->text().trimmed().toStdString();
  input.Length = lengthEdit_->text().trimmed().toStdString();
  input.Pitch = pitchEdit_->text().trimmed().toStdString();
  input.Mode = modeCombo_->currentText().toStdString();
  result_ = MakeSweep(input, room_);

  fromReasonText_->setText(Sentence(result_.Reason(SweepField::From)));
  toReasonText_->setText(Sentence(result_.Reason(SweepField::To)));
  lengthReasonText_->setText(Sentence(result_.Reason(SweepField::Length)));
  pitchReasonText_->setText(Sentence(result_.Reason(SweepField::Pitch)));
  okButton_->setEnabled(result_.Ok());

  QStringList lines;
  int64_t start = 0;
  for (size_t k = 0; k < result_.Segments.size(); ++k) {
    const Segment& s = result_.Segments[k];
    lines << QString::asprintf("%3zu  %8s  %5s  %s  %2d -> %2d Hz  pitch %3d Hz", k + 1,
                               TimeText(start * TimeUnit).c_str(), SegTimeText(s.Time).c_str(),
                               ModeText(s.Mode).c_str(), s.FreqStart, s.FreqEnd, s.Pitch);
    start += s.Time;
  }
  previewText_->setPlainText(lines.join(QLatin1Char('\n')));
  const size_t count = result_.Segments.size();
  totalText_->setText(result_.Ok() ? QStringLiteral("%1 segment%2, total time %3")
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
