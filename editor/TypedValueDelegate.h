#pragma once
// Typing into a cell of the editor grid: a line editor over the cell that
// takes a value of the cell's row (see ReadTypedValue). A value the row does
// not take is refused, and the editor stays open on Enter so that it can be
// corrected; Escape leaves the cell as it was.

#include <QPersistentModelIndex>
#include <QStyledItemDelegate>
#include <cstdint>
#include <functional>

namespace ovrel {

class TypedValueDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  // A value was typed into segment col's parameter row (1-based, 1..5).
  std::function<void(int col, int row, int32_t value)> Typed;
  // An editor opened over a cell.
  std::function<void()> Opened;
  // A typed text was refused: why, for the cell at index; leaving: the
  // editor closes, as the user moved to another cell.
  std::function<void(const QModelIndex& index, const QString& why, bool leaving)> Refused;

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override;
  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override;

 protected:
  bool eventFilter(QObject* editor, QEvent* event) override;

 private:
  // The text's reading for the cell; reports a refusal.
  bool Accepts(const QModelIndex& index, const QString& text) const;
  mutable QPersistentModelIndex editing_;
};

}  // namespace ovrel
