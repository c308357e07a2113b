#include "editor/SessionGridModel.h"

#include <algorithm>

namespace ovrel {

SessionGridModel::SessionGridModel(const Session& ses, QObject* parent)
    : QAbstractTableModel(parent), ses_(ses), shownCount_(ses.SegCount) {}

int SessionGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : SegRowCount - 1;
}

int SessionGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : shownCount_;
}

QVariant SessionGridModel::data(const QModelIndex& index, int role) const {
  // A cell being typed into starts from the text it shows.
  if ((role != Qt::DisplayRole && role != Qt::EditRole) || !index.isValid()) return {};
  const int k = index.column() + 1;
  if (k > ses_.SegCount) return {};
  return QString::fromStdString(SegCellText(ses_[k], k, ParamRow(index.row())));
}

QVariant SessionGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole) return {};
  if (orientation == Qt::Horizontal) return QString::number(section + 1);
  return QString::fromLatin1(RowCaption(ParamRow(section)));
}

Qt::ItemFlags SessionGridModel::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable
                         : Qt::NoItemFlags;
}

void SessionGridModel::RefreshSegs(int from, int to) {
  from = std::max(from, 1);
  to = std::min(to, shownCount_);
  if (from > to) return;
  emit dataChanged(index(0, from - 1), index(rowCount() - 1, to - 1), {Qt::DisplayRole});
}

void SessionGridModel::SyncSegCount() {
  const int count = ses_.SegCount;
  if (count > shownCount_) {
    beginInsertColumns({}, shownCount_, count - 1);
    shownCount_ = count;
    endInsertColumns();
  } else if (count < shownCount_) {
    beginRemoveColumns({}, count, shownCount_ - 1);
    shownCount_ = count;
    endRemoveColumns();
  }
}

void SessionGridModel::RefreshAll() {
  SyncSegCount();
  RefreshSegs(1, shownCount_);
}

}  // namespace ovrel
