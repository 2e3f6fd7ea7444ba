// The desktop program: no command-line options; everything it needs is found
// beside the executable or in the per-user data folder.
#include <QApplication>
#include <cstdio>
#include <exception>
#include <string>

#include "gui/app_icon.h"
#include "gui/main_window.h"
#include "platform/program_folder.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Imprimo"));
  QApplication::setApplicationDisplayName(QStringLiteral("Imprimo"));
  QApplication::setApplicationVersion(QString::fromLatin1(imprimo::TfrmMain::kVersion));
  QApplication::setWindowIcon(imprimo::AppIcon());

  const std::string programFolder = imprimo::ExecutableFolder();
  std::string dataFolder = programFolder;
  try {
    dataFolder = imprimo::ResolveDataFolder(programFolder);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "imprimo: no writable data folder, using %s: %s\n", programFolder.c_str(),
                 e.what());
  }

  imprimo::TfrmMain window(programFolder, dataFolder);
  window.show();
  return app.exec();
}
