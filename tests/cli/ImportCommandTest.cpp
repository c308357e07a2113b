// ovrel import and ovrel export-csv, run in-process through the ovrel_cli library.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "tests/cli/InProcessOvrel.h"

namespace {

class ImportCommandTest : public ovrel::test::FileCommandTest {
 protected:
  static QByteArray Seg(const QByteArray& duration, const QByteArray& tone = "A4") {
    return "1\t" + duration + "\t\t10\t10\t\t\t" + tone + "\t\tSA\r\n";
  }
};

const QByteArray kRule = "#" + QByteArray(76, '-');

TEST_F(ImportCommandTest, ImportWritesTheOptimisedSession) {
  // 6:00 splits into 12 + 12 units, which merge into 23 + 1.
  write("Calm.rvx", "head\r\nSTART\r\n" + Seg("6:00") + Seg("0:45", "C0") + "END\r\n");
  const Outcome o = ovrel({"import", "Calm.rvx", "-o", "Calm.svs"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(read("Calm.svs"), kRule + "\r\n# Sorvani Pro Session File\r\n" + kRule +
                                  "\r\nversion=23\r\n" + kRule +
                                  "\r\n6,45,\r\n183,10,10,220,220,\r\n161,10,10,220,220,\r\n"
                                  "163,10,10,16,16,\r\n0,\r\n" +
                                  kRule + "\r\n");
}

TEST_F(ImportCommandTest, ImportReportsTruncationAndRefusals) {
  QByteArray many = "START\r\n";
  for (int i = 0; i < 390; ++i) many += Seg("1:00", i % 2 ? "A4" : "C4");  // nothing merges
  write("many.rvx", many + "END\r\n");
  Outcome o = ovrel({"import", "many.rvx", "--output=many.svs"});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err,
            "many.rvx: The number of segments in the session reached 380. The session has been "
            "truncated.\n");
  EXPECT_EQ(read("many.svs").count("\r\n"), 6 + 380 + 2);

  write("bad.rvx", "START\r\n" + Seg("1:00") + Seg("1:00", "Q4") + "END\r\n");
  o = ovrel({"import", "bad.rvx", "-o", "bad.svs"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err,
            "bad.rvx: RVX file import failed. Line 3: the note \"Q\" of the tone \"Q4\" is "
            "unknown.\n");
  EXPECT_FALSE(QFile::exists(dir.filePath("bad.svs")));

  write("old.txt", "START\r\n" + Seg("1:00") + "END\r\n");
  o = ovrel({"import", "old.txt", "-o", "x.svs"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, "old.txt: Unsupported session file format.\n");

  EXPECT_EQ(ovrel({"import", "many.rvx"}).status, 2);
  EXPECT_EQ(ovrel({"import", "-o", "x.svs"}).status, 2);
  EXPECT_EQ(ovrel({"import", "a.rvx", "b.rvx", "-o", "x.svs"}).status, 2);
  EXPECT_EQ(ovrel({"import", "--frob", "a.rvx", "-o", "x.svs"}).status, 2);
}

TEST_F(ImportCommandTest, ExportCsvNamesTheSessionAfterItsFile) {
  write("relax.svs", kRule + "\r\nversion=23\r\n" + kRule +
                         "\r\n9,9,\r\n36,10,10,100,100,\r\n101,12,20,44,44,\r\n0,\r\n");
  Outcome o = ovrel({"export-csv", "relax.svs", "-o", "relax.csv"});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(read("relax.csv"),
            "relax\r\n\r\n0;0:00;10;100\r\n60;1:00;10;100\r\n60;1:00;12;44\r\n135;2:15;20;44\r\n");

  write("broken.svs", "no version line\r\n");
  o = ovrel({"export-csv", "broken.svs", "-o", "broken.csv"});
  EXPECT_EQ(o.status, 1);
  EXPECT_FALSE(QFile::exists(dir.filePath("broken.csv")));
  EXPECT_EQ(ovrel({"export-csv", "relax.rvx", "-o", "r.csv"}).status, 1);
  EXPECT_EQ(ovrel({"export-csv", "relax.svs", "-o", "no/such/folder/r.csv"}).status, 1);
  EXPECT_EQ(ovrel({"export-csv", "relax.svs"}).status, 2);
}

}  // namespace
