// The long form of the program's path.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/CanonicalPath.h"

namespace ovrel {
namespace {

TEST(CanonicalPath, GivesTheCanonicalPathOfAnExistingFile) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString real = QDir(dir.path()).canonicalPath();
  ASSERT_TRUE(QDir(real).mkpath(QStringLiteral("Program Folder/bin")));
  QFile program(real + QStringLiteral("/Program Folder/bin/ovrelware"));
  ASSERT_TRUE(program.open(QIODevice::WriteOnly));
  program.close();
  // A linked folder stands in for a short name: the result names the real one.
  ASSERT_TRUE(
      QFile::link(real + QStringLiteral("/Program Folder"), real + QStringLiteral("/PROGRA~1")));

  EXPECT_EQ(CanonicalPath(real + QStringLiteral("/PROGRA~1/bin/ovrelware")),
            real + QStringLiteral("/Program Folder/bin/ovrelware"));
  EXPECT_EQ(CanonicalPath(real + QStringLiteral("/Program Folder/bin/../bin/./ovrelware")),
            real + QStringLiteral("/Program Folder/bin/ovrelware"));
  EXPECT_EQ(CanonicalPath(real + QStringLiteral("/PROGRA~1")),
            real + QStringLiteral("/Program Folder"));
}

TEST(CanonicalPath, IsEmptyForMissingPathsAndWildcards) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  EXPECT_EQ(CanonicalPath(dir.path() + QStringLiteral("/missing/ovrelware")), QString());
  EXPECT_EQ(CanonicalPath(dir.path() + QStringLiteral("/*")), QString());
  EXPECT_EQ(CanonicalPath(dir.path() + QStringLiteral("/?")), QString());
  EXPECT_EQ(CanonicalPath(QString()), QString());
}

}  // namespace
}  // namespace ovrel
