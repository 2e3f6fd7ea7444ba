// The desktop program. Everything it needs is found beside the executable or
// in the per-user data folder. One option, --list-templates, prints the
// template list as the window loads it, one name a line, and quits.
#include <QApplication>
#include <QComboBox>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "gui/app_icon.h"
#include "gui/main_window.h"
#include "lang/language_file.h"
#include "lang/locale_language.h"
#include "platform/program_folder.h"

int main(int argc, char** argv) {
  const bool listTemplates = argc == 2 && std::strcmp(argv[1], "--list-templates") == 0;
  // The listing shows no window, so it needs no display.
  if (listTemplates && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Imprimo"));
  QApplication::setApplicationDisplayName(QStringLiteral("Imprimo"));
  QApplication::setApplicationVersion(QString::fromLatin1(imprimo::TfrmMain::kVersion));
  QApplication::setDesktopFileName(QStringLiteral("org.imprimo.Imprimo"));
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
  // When our texts are in the user's language, the toolkit's own dialogs
  // (file choosers, standard buttons) speak it too.
  QTranslator toolkit;
  if (imprimo::LoadedLanguageFile().IsLoaded()) {
    const QLocale locale(
        QString::fromStdString(imprimo::LocaleNameForLanguageId(imprimo::ProgramLanguageId())));
    if (toolkit.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
      QApplication::installTranslator(&toolkit);
  }
  if (listTemplates) {
    const auto* list = window.findChild<QComboBox*>(QStringLiteral("cbListTpl"));
    if (list)
      for (int i = 0; i < list->count(); ++i)
        std::printf("%s\n", list->itemText(i).toUtf8().constData());
    std::fflush(stdout);
    // The window was never shown: ending here keeps its shut-down from
    // storing a geometry into Setup.ini.
    std::_Exit(list ? 0 : 1);
  }
  window.show();
  return app.exec();
}
