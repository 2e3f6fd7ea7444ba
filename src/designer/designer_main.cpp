// MarkDesigner, the template editor: with no argument it starts a new
// template, with one argument it opens that template file.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <string>

#include "designer/designer_icon.h"
#include "designer/designer_window.h"
#include "platform/program_folder.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("MarkDesigner"));
  QApplication::setApplicationDisplayName(QStringLiteral("MarkDesigner"));
  QApplication::setDesktopFileName(QStringLiteral("org.imprimo.MarkDesigner"));
  QApplication::setWindowIcon(imprimo::DesignerIcon());

  const QStringList arguments = QApplication::arguments().mid(1);
  if (arguments.size() > 1) {
    std::fprintf(stderr, "usage: MarkDesigner [TEMPLATE.wg]\n");
    return 2;
  }
  imprimo::TfrmDesigner window(imprimo::ExecutableFolder());
  window.show();
  // The window is up before a file is read, so a message about a file that
  // does not open has a window to stand over.
  if (!arguments.isEmpty() && !arguments.front().isEmpty()) window.OpenDocument(arguments.front());
  return app.exec();
}
