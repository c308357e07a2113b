// The splash picture is decoded by libjpeg; damaged data gives no picture.
#include <gtest/gtest.h>

#include <QFile>

#include "app/JpegImage.h"

namespace ovrel {
namespace {

QByteArray SplashJpeg() {
  QFile file(QStringLiteral(":/ovrel/splash.jpg"));
  EXPECT_TRUE(file.open(QIODevice::ReadOnly));
  return file.readAll();
}

TEST(JpegImage, DecodesTheSplashPicture) {
  const QImage image = DecodeJpeg(SplashJpeg());
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), QSize(81, 81));
  // A light source in the middle of dark blue.
  const QColor centre = image.pixelColor(40, 40);
  const QColor corner = image.pixelColor(1, 1);
  EXPECT_GT(centre.lightness(), 220);
  EXPECT_LT(corner.lightness(), 90);
  EXPECT_GT(corner.blue(), corner.red());
}

TEST(JpegImage, DamagedDataGivesNoPicture) {
  const QByteArray jpeg = SplashJpeg();
  EXPECT_TRUE(DecodeJpeg(QByteArray()).isNull());
  EXPECT_TRUE(DecodeJpeg(QByteArray("GIF89a not a jpeg at all")).isNull());
  EXPECT_TRUE(DecodeJpeg(jpeg.left(20)).isNull());  // cut inside the header
  QByteArray noStart = jpeg;
  noStart[1] = '\x00';  // no start-of-image marker
  EXPECT_TRUE(DecodeJpeg(noStart).isNull());
}

}  // namespace
}  // namespace ovrel
