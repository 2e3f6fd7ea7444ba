// The desktop program. Everything it needs is found beside the executable or
// in the per-user data folder. Files and folders named on the command line
// are added to the list at start (a folder with its pictures, as a drop
// adds it); --help and --version print and quit; --list-templates prints
// the template list as the window loads it, one name a line, and quits.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "app/program_usage.h"
#include "gui/app_icon.h"
#include "gui/main_window.h"
#include "lang/language_file.h"
#include "lang/locale_language.h"
#include "platform/program_folder.h"

namespace {

// The --help text, from the option descriptions the man page is made of.
const std::string kUsage = imprimo::ProgramUsageText(imprimo::ImprimoProgramDoc());

// What the command line asks for: an answer printed at once (exit code in
// exitCode), or the paths to add at start.
struct TCommandLine {
  bool Done = false;
  int ExitCode = 0;
  bool ListTemplates = false;
  QStringList Paths;
};

TCommandLine ReadCommandLine(int argc, char** argv) {
  TCommandLine line;
  bool optionsEnd = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (!optionsEnd && arg[0] == '-' && arg[1] != '\0') {
      if (std::strcmp(arg, "--") == 0) {
        optionsEnd = true;
      } else if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
        std::fputs(kUsage.c_str(), stdout);
        line.Done = true;
        return line;
      } else if (std::strcmp(arg, "-V") == 0 || std::strcmp(arg, "--version") == 0) {
        std::printf("imprimo %s\n", imprimo::TfrmMain::kVersion);
        line.Done = true;
        return line;
      } else if (std::strcmp(arg, "--list-templates") == 0) {
        line.ListTemplates = true;
      } else {
        std::fprintf(stderr, "imprimo: unknown option %s\n%s", arg, kUsage.c_str());
        line.Done = true;
        line.ExitCode = 2;
        return line;
      }
      continue;
    }
    line.Paths << QDir::cleanPath(QFileInfo(QString::fromLocal8Bit(arg)).absoluteFilePath());
  }
  return line;
}

}  // namespace

int main(int argc, char** argv) {
  const TCommandLine commandLine = ReadCommandLine(argc, argv);
  if (commandLine.Done) return commandLine.ExitCode;
  const bool listTemplates = commandLine.ListTemplates;
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
  // The paths go in once the window is up, with the add's progress and stop.
  if (!commandLine.Paths.isEmpty())
    QTimer::singleShot(0, &window,
                       [&window, paths = commandLine.Paths] { window.DragDropMDrop(paths); });
  return app.exec();
}
