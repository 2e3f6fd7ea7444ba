// Renders the program's icon into an icon-theme folder:
//   make_icon <theme folder> <icon name>
// writes <theme>/scalable/apps/<name>.svg and <theme>/<n>x<n>/apps/<name>.png
// for the sizes the desktop entry needs.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>
#include <cstdio>

#include "gui/app_icon.h"

namespace {

bool WritePng(const QString& theme, const QString& name, int size) {
  const QString folder = theme + QStringLiteral("/%1x%1/apps").arg(size);
  if (!QDir().mkpath(folder)) return false;
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  imprimo::PaintAppIcon(p, size);
  p.end();
  return image.save(folder + QLatin1Char('/') + name + QStringLiteral(".png"), "PNG");
}

bool WriteSvg(const QString& theme, const QString& name) {
  const QString folder = theme + QStringLiteral("/scalable/apps");
  if (!QDir().mkpath(folder)) return false;
  QSvgGenerator svg;
  svg.setFileName(folder + QLatin1Char('/') + name + QStringLiteral(".svg"));
  svg.setSize(QSize(64, 64));
  svg.setViewBox(QRectF(0, 0, 64, 64));
  svg.setTitle(QStringLiteral("Imprimo"));
  QPainter p;
  if (!p.begin(&svg)) return false;
  imprimo::PaintAppIcon(p, 64);
  return p.end();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_icon <theme folder> <icon name>\n");
    return 2;
  }
  QGuiApplication app(argc, argv);
  const QString theme = QString::fromLocal8Bit(argv[1]);
  const QString name = QString::fromLocal8Bit(argv[2]);
  bool ok = WriteSvg(theme, name);
  for (const int size : {48, 256}) ok = WritePng(theme, name, size) && ok;
  if (!ok) {
    std::fprintf(stderr, "make_icon: could not write the icons into %s\n", argv[1]);
    return 1;
  }
  return 0;
}
