// Draws the manual's screenshots from the real windows, offscreen:
//   make_screens <images folder> <source data folder>
// The windows work on a scratch copy of the shipped templates and sample
// photos, so nothing in the build or the user's settings is touched.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPixmap>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "app/settings.h"
#include "gui/about_dialog.h"
#include "gui/main_window.h"
#include "gui/option_dialog.h"

namespace fs = std::filesystem;

namespace {

bool Save(const QPixmap& picture, const QString& folder, const char* name) {
  const QString path =
      folder + QLatin1Char('/') + QString::fromLatin1(name) + QStringLiteral(".png");
  if (picture.isNull() || !picture.save(path, "PNG")) {
    std::fprintf(stderr, "make_screens: cannot write %s\n", path.toLocal8Bit().constData());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_screens <images folder> <source data folder>\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QString images = QString::fromLocal8Bit(argv[1]);
  const fs::path data = fs::path(argv[2]);
  if (!QDir().mkpath(images)) {
    std::fprintf(stderr, "make_screens: cannot make %s\n", argv[1]);
    return 1;
  }

  QTemporaryDir scratch;
  if (!scratch.isValid()) return 1;
  const fs::path folder = fs::path(scratch.path().toStdString());
  std::error_code ec;
  fs::copy(data / "Watermarks", folder / "Watermarks", fs::copy_options::recursive, ec);
  fs::copy(data / "samples", folder / "photos", fs::copy_options::recursive, ec);
  const std::string programFolder = folder.string() + "/";

  bool ok = true;
  {
    imprimo::TfrmMain window(programFolder, programFolder);
    // The output folder is only shown; nothing is processed.
    window.Settings().OutPath = "/home/user/Pictures/Imprimo/";
    window.resize(805, 620);
    window.show();
    QStringList photos;
    for (const auto& entry : fs::directory_iterator(folder / "photos", ec))
      photos << QString::fromStdString(entry.path().string());
    photos.sort();
    window.AddImages(photos);
    window.Pages()->setCurrentIndex(imprimo::TfrmMain::kPageDetails);
    QApplication::processEvents();
    ok &= Save(window.grab(), images, "main-window");

    imprimo::TSettings settings = window.Settings();
    imprimo::TProgramValues values = window.ProgramValues();
    imprimo::TfrmOption options(programFolder, settings, values);
    options.FormShow();
    options.show();
    auto* tabs = options.findChild<QTabWidget*>(QStringLiteral("pcOptions"));
    const char* pages[] = {"options-output", "options-resize", "options-rename", "options-border",
                           "options-other"};
    for (int i = 0; tabs != nullptr && i < tabs->count() && i < 5; ++i) {
      tabs->setCurrentIndex(i);
      QApplication::processEvents();
      ok &= Save(options.grab(), images, pages[i]);
    }
  }
  {
    imprimo::TfrmAbout about(programFolder);
    about.show();
    QApplication::processEvents();
    ok &= Save(about.grab(), images, "about");
  }
  return ok ? 0 : 1;
}
