// Draws the manual's screenshots from the real windows, offscreen:
//   make_screens <images folder> <source data folder>
// The windows work on a scratch copy of the shipped templates and sample
// photos, so nothing in the build or the user's settings is touched.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QMessageBox>
#include <QPixmap>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <cstdio>
#include <filesystem>
#include <fstream>
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

// Small templates that each show a few keys; the manual shows a sample
// photo watermarked with each.
struct Demo {
  const char* name;
  const char* layers;
};

constexpr const char* kFont = "FontName=DejaVu Sans\r\nFontColor=$FFFFFF\r\nAlpha=100\r\n";

const Demo kDemos[] = {
    {"effect-position",
     "[A]\r\nText=1\r\nFontSize=22\r\nPosition=1\r\n%F"
     "[B]\r\nText=5\r\nFontSize=22\r\nPosition=5\r\n%F"
     "[C]\r\nText=9\r\nFontSize=22\r\nPosition=9\r\nOffsetX=-10\r\nOffsetY=-6\r\n%F"},
    {"effect-tiles",
     "[T]\r\nText=Imprimo\r\nFontSize=10\r\nPlaceStyle=1\r\nHorzSpace=16\r\n"
     "VertSpace=14\r\n%FAlpha=60\r\n"},
    {"effect-fit", "[T]\r\nText=Imprimo\r\nPlaceStyle=2\r\nHorzSpace=20\r\nVertSpace=80\r\n%F"},
    {"effect-angle", "[T]\r\nText=Imprimo\r\nFontSize=26\r\nAngle=30\r\nPosition=5\r\n%F"},
    {"effect-shadow",
     "[T]\r\nText=Imprimo\r\nFontSize=26\r\nFontStyle=1\r\nPosition=5\r\n%F"
     "isShadow=1\r\nShadowOffsetX=3\r\nShadowOffsetY=3\r\nShadowBlur=30\r\nShadowAlpha=90\r\n"},
    {"effect-outline",
     "[T]\r\nText=Imprimo\r\nFontSize=30\r\nFontStyle=1\r\nOutline=1\r\nPosition=5\r\n%F"},
    {"effect-blur", "[T]\r\nText=Imprimo\r\nFontSize=30\r\nBlur=40\r\nPosition=5\r\n%F"},
    {"effect-alpha",
     "[A]\r\nText=100\r\nFontSize=30\r\nPosition=4\r\nOffsetX=20\r\n%F"
     "[B]\r\nText=40\r\nFontSize=30\r\nPosition=6\r\nOffsetX=-20\r\n%FAlpha=40\r\n"},
    {"effect-mirror", "[T]\r\nText=Imprimo\r\nFontSize=26\r\nHorzMirror=1\r\nPosition=5\r\n%F"},
    {"effect-noise-spray",
     "[A]\r\nText=Noise\r\nFontSize=26\r\nNoise=160\r\nPosition=2\r\nOffsetY=30\r\n%F"
     "[B]\r\nText=Spray\r\nFontSize=26\r\nSpray=20\r\nPosition=8\r\nOffsetY=-30\r\n%F"},
    {"effect-picture",
     "[P]\r\nStyle=1\r\nPicture=imprimo-logo.png\r\nPosition=9\r\nOffsetX=-8\r\n"
     "OffsetY=-8\r\nAlpha=85\r\n"
     "isBGTransparent=1\r\nBGColor=$FF00FF\r\n"},
};

std::string DemoText(const char* layers) {
  std::string text(layers);
  for (size_t at; (at = text.find("%F")) != std::string::npos;) text.replace(at, 2, kFont);
  return text;
}

// Runs the window's batch with one demo template over one photo, resized
// small, and keeps the result as the demo's picture.
bool DrawDemo(imprimo::TfrmMain& window, const Demo& demo, const fs::path& folder,
              const QString& images) {
  auto* list = window.findChild<QComboBox*>(QStringLiteral("cbListTpl"));
  const int index = list ? list->findText(QString::fromLatin1(demo.name)) : -1;
  if (index < 0) return false;
  const fs::path out = folder / "out" / demo.name;
  std::error_code ec;
  fs::create_directories(out, ec);
  imprimo::TSettings& s = window.Settings();
  s.Resize = true;
  s.NewWidth = 360;
  s.NewHeight = 240;
  s.ResizeMode = 3;
  s.SaveFormat = 1;
  s.PathType = 2;
  s.OutPath = out.string() + "/";
  s.Rename = false;
  s.OverwriteOutput = true;
  s.DrawBorder = false;
  window.ProgramValues().TplIndex = index;
  window.ProgramValues().Open = false;
  window.ProgramValues().RemoveList = false;
  window.ProgramValues().Close = false;
  window.SettingsToPanel();
  window.actProcessExecute();
  for (const auto& entry : fs::directory_iterator(out, ec)) {
    const QImage result(QString::fromStdString(entry.path().string()));
    if (!result.isNull())
      return result.save(
          images + QLatin1Char('/') + QString::fromLatin1(demo.name) + QStringLiteral(".png"),
          "PNG");
  }
  std::fprintf(stderr, "make_screens: %s gave no picture\n", demo.name);
  return false;
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
  for (const Demo& demo : kDemos)
    std::ofstream(folder / "Watermarks" / (std::string(demo.name) + ".wg"), std::ios::binary)
        << DemoText(demo.layers);

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
    options.hide();

    // The effect pictures, from one photo.
    imprimo::TMainDialogs quiet;
    quiet.MessageBox = [](QMessageBox::Icon icon, const QString&, const QString& text,
                          QMessageBox::StandardButtons) {
      if (icon == QMessageBox::Critical || icon == QMessageBox::Warning)
        std::fprintf(stderr, "make_screens: %s\n", text.toLocal8Bit().constData());
      return int(icon == QMessageBox::Question ? QMessageBox::Yes : QMessageBox::No);
    };
    quiet.OpenFolder = [](const QString&) { return true; };
    window.SetDialogs(quiet);
    window.actRemoveAllExecute();
    if (!photos.isEmpty()) window.AddImages({photos.front()});
    for (const Demo& demo : kDemos) ok &= DrawDemo(window, demo, folder, images);
  }
  {
    imprimo::TfrmAbout about(programFolder);
    about.show();
    QApplication::processEvents();
    ok &= Save(about.grab(), images, "about");
  }
  return ok ? 0 : 1;
}
