#include "editor/SessionDocument.h"

#include <QFileInfo>
#include <QUndoStack>
#include <algorithm>

#include "ProductInfo.h"
#include "format/CsvExport.h"
#include "format/FileFormats.h"
#include "format/SessionFile.h"
#include "session/SegmentOps.h"

namespace ovrel {

SessionDocument::SessionDocument(QObject* parent)
    : QObject(parent), undoStack_(new QUndoStack(this)) {
  st_.Ses.SegCount = 1;
  FillDefSeg(st_.Ses, 1);
}

QString SessionDocument::Caption() const {
  return QLatin1String(kProductTitle) + QStringLiteral(" - Session Editor - [") + shownName_ +
         QStringLiteral("]");
}

void SessionDocument::SetShownName(const QString& name) {
  shownName_ = name;
  emit CaptionChanged(Caption());
}

void SessionDocument::ShowName() {
  SetShownName(QString::fromStdString(st_.SesName));
}

void SessionDocument::MakeNew() {
  StartNewSession(st_.Ses);
  st_.SesFileName.clear();
  st_.SesModified = false;
  proposedSaveName_.clear();
  SetShownName({});
}

std::string SessionDocument::Open(const QString& fileName) {
  const SessionReadResult r = ReadSessionFile(fileName.toStdString());
  if (!r) return r.Error();
  SetFile(fileName);
  st_.Ses = *r;
  StartHistory();
  return {};
}

void SessionDocument::SetFile(const QString& fileName) {
  st_.SesFileName = fileName.toStdString();
  proposedSaveName_.clear();
  st_.SesName = SesNameFromFileName(st_.SesFileName);
  ShowName();
}

std::string SessionDocument::Save() {
  const SaveResult r = SaveSession(st_.Ses, st_.SesFileName);
  if (!r) return r.Error();
  st_.SesModified = false;
  undoStack_->setClean();
  return {};
}

RvxImportOutcome SessionDocument::ImportRvx(const QString& fileName) {
  RvxImportOutcome r = ImportRvxFile(st_.Ses, fileName.toStdString());
  if (r) {
    st_.SesName = r->Name;
    st_.SesFileName.clear();
    if (r->Merged) st_.SesModified = true;
    ShowName();
    proposedSaveName_ = QString::fromStdString(st_.SesName) + QStringLiteral(".svs");
  }
  return r;
}

ExchangeRead SessionDocument::ImportSchedule(const QString& fileName,
                                             const ImportOptions& options) {
  ExchangeRead r = ReadFormatFile(fileName.toStdString(), {FormatRole::Schedule}, options);
  if (!r) return r;
  st_.Ses = r->Session;
  st_.SesFileName.clear();
  st_.SesName = QFileInfo(fileName).completeBaseName().toStdString();
  st_.SesModified = true;
  ShowName();
  proposedSaveName_ = QString::fromStdString(st_.SesName) + QStringLiteral(".svs");
  return r;
}

FileWriteResult SessionDocument::ExportSchedule(const QString& fileName) const {
  return WriteFormatFile(fileName.toStdString(), {FormatRole::Schedule}, st_.Ses, st_.SesName,
                         kProductTitle);
}

QString SessionDocument::ScheduleFileName() const {
  QString csv = CsvFileName();
  csv.chop(4);
  return csv + QStringLiteral(".sbg");
}

FileWriteResult SessionDocument::ExportCsv(const QString& fileName) const {
  return ExportSesAsCSV(st_.Ses, st_.SesName, fileName.toStdString());
}

QString SessionDocument::CsvFileName() const {
  return QString::fromStdString(CsvExportFileName(st_.SesFileName, st_.SesName));
}

OptimizeResult SessionDocument::Optimize() {
  const OptimizeResult r = SesOptimize(st_.Ses);
  if (r.Removed > 0) st_.SesModified = true;
  return r;
}

void SessionDocument::Record(const std::function<void()>& change, int hold) {
  EditorSnapshot before = TakeSnapshot();
  change();
  EditorSnapshot after = TakeSnapshot();
  if (before.SameContent(after)) return;
  undoStack_->push(new SessionChangeCommand(
      std::move(before), std::move(after), hold,
      [this](const EditorSnapshot& snapshot) { RestoreSnapshot(snapshot); }));
  emit Changed();
}

EditorSnapshot SessionDocument::TakeSnapshot() const {
  return {st_.Ses,           st_.SesFileName, st_.SesName,
          proposedSaveName_, shownName_,      CursorColumn ? CursorColumn() : 1};
}

void SessionDocument::RestoreSnapshot(const EditorSnapshot& snapshot) {
  st_.Ses = snapshot.Ses;
  st_.SesFileName = snapshot.SesFileName;
  st_.SesName = snapshot.SesName;
  proposedSaveName_ = snapshot.ProposedSaveName;
  SetShownName(snapshot.ShownName);
  emit Restored(std::clamp(snapshot.CursorCol, 1, static_cast<int>(st_.Ses.SegCount)));
}

void SessionDocument::UndoStep(bool redo) {
  if (redo ? !undoStack_->canRedo() : !undoStack_->canUndo()) return;
  redo ? undoStack_->redo() : undoStack_->undo();
  st_.SesModified = !undoStack_->isClean();
  emit Changed();
}

void SessionDocument::StartHistory() {
  undoStack_->clear();
  emit Changed();
}

void SessionDocument::MarkClean() {
  undoStack_->setClean();
}

}  // namespace ovrel
