#pragma once
// The real editor window on the offscreen platform, with scripted dialogs
// and a private folder for the session files.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "editor/SessionEditorWindow.h"
#include "support/FindChild.h"
#include "ui/ScriptedDialogs.h"
#include "ui/UserSettings.h"

namespace ovrel {

class EditorTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tmp_.isValid());
    settings_.SetProgramFolders(tmp_.path(), tmp_.path());  // Sessions/ and Libraries/ in it
    QDir(tmp_.path()).mkdir("Sessions");
    UserSettings().Clear();  // nothing remembered from an earlier test
    form_ = std::make_unique<SessionEditorWindow>(settings_, dialogs_, [this] { ++aboutShown_; });
    form_->OpenUrl = [this](const QUrl& url) {
      opened_.push_back(url);
      return true;
    };
    form_->ExitApplication = [this] { ++exits_; };
    ShowForm();
  }

  void ShowForm() {
    form_->show();
    form_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
    grid()->setFocus();
  }

  QTableView* grid() const { return Control<QTableView>(*form_, "segmentGrid"); }
  SessionEditState& st() { return form_->Document().State(); }
  QString path(const QString& name) const { return tmp_.path() + "/Sessions/" + name; }

  QPoint cellCenter(int col, int row) const {
    return grid()->visualRect(grid()->model()->index(row - 1, col - 1)).center();
  }
  void clickCell(int col, int row, Qt::KeyboardModifiers mods = {}) {
    QTest::mouseClick(grid()->viewport(), Qt::LeftButton, mods, cellCenter(col, row));
  }
  void key(int k, Qt::KeyboardModifiers mods = {}) {
    QTest::keyClick(grid(), static_cast<Qt::Key>(k), mods);
  }
  QString cell(int col, int row) const {
    return grid()->model()->index(row - 1, col - 1).data().toString();
  }
  QString lastMessage() const {
    const QStringList texts = dialogs_.MessageTexts();
    return texts.isEmpty() ? QString() : texts.back();
  }
  std::vector<int32_t> Pitches() {
    std::vector<int32_t> p;
    for (int32_t k = 1; k <= st().Ses.SegCount; ++k) p.push_back(st().Ses[k].Pitch);
    return p;
  }
  // A session of n default segments with Pitch 100 + k, not modified.
  void makeSession(int n) {
    for (int k = 1; k < n; ++k) Control<QAction>(*form_, "addNewAction")->trigger();
    for (int k = 1; k <= n; ++k) st().Ses[k].Pitch = 100 + k;
    st().SesModified = false;
    form_->RefreshAll(1);
  }
  void writeFile(const QString& p, const QByteArray& bytes) {
    QFile f(p);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }

  QTemporaryDir tmp_;
  FolderSettings settings_;
  ScriptedDialogs dialogs_;
  std::unique_ptr<SessionEditorWindow> form_;
  int aboutShown_ = 0;
  int exits_ = 0;
  std::vector<QUrl> opened_;
};

}  // namespace ovrel
