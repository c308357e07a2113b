// ovrel-helpdoc INPUT.md OUTPUT.pdf
// Renders a Markdown user guide into an A4 PDF with Qt's own text layout.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTextDocument>
#include <QUrl>
#include <algorithm>
#include <cstdio>

#include "ProductInfo.h"

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: ovrel-helpdoc INPUT.md OUTPUT.pdf\n");
    return 2;
  }
  QFile input(QString::fromLocal8Bit(argv[1]));
  if (!input.open(QIODevice::ReadOnly | QIODevice::Text)) {
    std::fprintf(stderr, "ovrel-helpdoc: cannot read %s\n", argv[1]);
    return 1;
  }
  const QString markdown = QString::fromUtf8(input.readAll());

  QPdfWriter pdf(QString::fromLocal8Bit(argv[2]));
  pdf.setTitle(QStringLiteral("Sorvani Ovrel Help"));
  pdf.setCreator(QString::fromLatin1(ovrel::kProductTitle));
  pdf.setPageSize(QPageSize(QPageSize::A4));
  pdf.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
  pdf.setResolution(300);

  QTextDocument document;
  QFont font(QStringLiteral("Sans Serif"), 10);
  font.setStyleHint(QFont::SansSerif);
  document.setDefaultFont(font);
  document.setMarkdown(markdown);
  // Pictures named in the guide ("![text](name.png)") lie beside it; they are
  // handed to the document, as printing does not load them by itself.
  const QDir folder = QFileInfo(input).absoluteDir();
  static const QRegularExpression picture(QStringLiteral("!\\[[^\\]]*\\]\\(([^)]+)\\)"));
  for (auto it = picture.globalMatch(markdown); it.hasNext();) {
    const QString name = it.next().captured(1);
    QImage image(folder.filePath(name));
    if (image.isNull()) {
      std::fprintf(stderr, "ovrel-helpdoc: cannot read the picture %s\n", qPrintable(name));
      return 1;
    }
    // At most 600 pixels wide in the layout (the page's text width at 96
    // dots per inch), sharper on paper for it.
    image.setDevicePixelRatio(std::max(1.0, image.width() / 600.0));
    document.addResource(QTextDocument::ImageResource, QUrl(name), image);
  }
  document.print(&pdf);
  if (!QFile::exists(QString::fromLocal8Bit(argv[2]))) {
    std::fprintf(stderr, "ovrel-helpdoc: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
