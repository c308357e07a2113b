#include "editor/TypedValueDelegate.h"

#include <QKeyEvent>
#include <QLineEdit>

#include "editor/SessionGridModel.h"
#include "session/TypedValue.h"

namespace ovrel {

QWidget* TypedValueDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                          const QModelIndex& index) const {
  QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
  editor->setObjectName(QStringLiteral("cellEditor"));
  editing_ = index;
  if (Opened) Opened();
  return editor;
}

bool TypedValueDelegate::Accepts(const QModelIndex& index, const QString& text) const {
  const TypedValue v = ReadTypedValue(SessionGridModel::ParamRow(index.row()), text.toStdString());
  if (!v && Refused) Refused(index, QString::fromStdString(v.Error()), false);
  return static_cast<bool>(v);
}

void TypedValueDelegate::setModelData(QWidget* editor, QAbstractItemModel*,
                                      const QModelIndex& index) const {
  const auto* line = qobject_cast<QLineEdit*>(editor);
  if (!line) return;
  const int row = SessionGridModel::ParamRow(index.row());
  const TypedValue v = ReadTypedValue(row, line->text().toStdString());
  if (!v) {
    // Left by moving elsewhere: the cell keeps its value, and says why.
    if (Refused) Refused(index, QString::fromStdString(v.Error()), true);
    return;
  }
  if (Typed) Typed(index.column() + 1, row, *v);
}

bool TypedValueDelegate::eventFilter(QObject* editor, QEvent* event) {
  if (event->type() == QEvent::KeyPress && editing_.isValid()) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    const bool commits = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Tab ||
                         key == Qt::Key_Backtab;
    const auto* line = qobject_cast<QLineEdit*>(editor);
    // A refused value keeps the editor open for a correction.
    if (commits && line && !Accepts(editing_, line->text())) return true;
  }
  return QStyledItemDelegate::eventFilter(editor, event);
}

}  // namespace ovrel
