// Renders a program's icon into an icon-theme folder:
//   make_icon <theme folder> <icon name> [--designer]
// writes <theme>/scalable/apps/<name>.svg and <theme>/<n>x<n>/apps/<name>.png
// for the sizes the desktop entry needs: the icon of imprimo, or with
// --designer the template editor's.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>
#include <cstdio>
#include <cstring>

#include "gui/app_icon.h"
#ifdef IMPRIMO_MAKE_DESIGNER_ICON
#include "designer/designer_icon.h"
#endif

namespace {

using Painter = void (*)(QPainter&, double);
Painter paintIcon = imprimo::PaintAppIcon;
QString iconTitle = QStringLiteral("Imprimo");

bool WritePng(const QString& theme, const QString& name, int size) {
  const QString folder = theme + QStringLiteral("/%1x%1/apps").arg(size);
  if (!QDir().mkpath(folder)) return false;
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  paintIcon(p, size);
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
  svg.setTitle(iconTitle);
  QPainter p;
  if (!p.begin(&svg)) return false;
  paintIcon(p, 64);
  return p.end();
}

}  // namespace

int main(int argc, char** argv) {
  const bool designer = argc == 4 && std::strcmp(argv[3], "--designer") == 0;
  if (argc != 3 && !designer) {
    std::fprintf(stderr, "usage: make_icon <theme folder> <icon name> [--designer]\n");
    return 2;
  }
  if (designer) {
#ifdef IMPRIMO_MAKE_DESIGNER_ICON
    paintIcon = imprimo::PaintDesignerIcon;
    iconTitle = QStringLiteral("MarkDesigner");
#else
    std::fprintf(stderr, "make_icon: built without the template editor\n");
    return 2;
#endif
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
