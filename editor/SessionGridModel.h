#pragma once
// The editor grid's model: one column per segment, one row per parameter
// (Time, Mode, Freq Start, Freq End, Pitch). The segment numbers are the
// horizontal header and the parameter captions the vertical header. A cell
// takes a typed value through the editor window, never through setData.

#include <QAbstractTableModel>

#include "session/Session.h"

namespace ovrel {

class SessionGridModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit SessionGridModel(const Session& ses, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Segments from..to (1-based) show new values.
  void RefreshSegs(int from, int to);
  // The session's SegCount changed: columns are added or removed at the end,
  // so the selection of the remaining columns stays where it is.
  void SyncSegCount();
  // Everything may have changed.
  void RefreshAll();

  // Grid row of a view row (view row 0 is the Time row).
  static int ParamRow(int viewRow) { return viewRow + 1; }

 private:
  const Session& ses_;
  int shownCount_;
};

}  // namespace ovrel
