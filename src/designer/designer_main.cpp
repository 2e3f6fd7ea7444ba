// MarkDesigner, the template editor: with no argument it starts a new
// template, with one argument it opens that template file.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <string>

#include "app/program_usage.h"
#include "designer/designer_icon.h"
#include "designer/designer_window.h"
#include "platform/program_folder.h"
#include "platform/version.h"

namespace {

// The --help text, from the option descriptions the man page is made of.
const std::string kUsage = imprimo::ProgramUsageText(imprimo::DesignerProgramDoc());

}  // namespace

int main(int argc, char** argv) {
  // Answers that need no window come before any display is opened.
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--") break;
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage.c_str(), stdout);
      return 0;
    }
    if (arg == "-V" || arg == "--version") {
      std::printf("MarkDesigner %s\n", imprimo::kProgramVersion);
      return 0;
    }
    if (arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "MarkDesigner: unknown option %s\n%s", arg.c_str(), kUsage.c_str());
      return 2;
    }
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("MarkDesigner"));
  QApplication::setApplicationDisplayName(QStringLiteral("MarkDesigner"));
  QApplication::setDesktopFileName(QStringLiteral("org.imprimo.MarkDesigner"));
  QApplication::setWindowIcon(imprimo::DesignerIcon());

  QStringList arguments = QApplication::arguments().mid(1);
  arguments.removeOne(QStringLiteral("--"));
  if (arguments.size() > 1) {
    std::fputs(kUsage.c_str(), stderr);
    return 2;
  }
  imprimo::TfrmDesigner window(imprimo::ExecutableFolder());
  window.show();
  // The window is up before a file is read, so a message about a file that
  // does not open has a window to stand over.
  if (!arguments.isEmpty() && !arguments.front().isEmpty()) window.OpenDocument(arguments.front());
  return app.exec();
}
