// Feeds arbitrary language files to the translation of a Qt window: either
// the bytes as a module, or the bytes as a readable source built into one
// (which reaches the address walk with any names and indexes).
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cstddef>
#include <cstdint>
#include <string>

#include "gui/form_translation.h"
#include "lang/lcf_file.h"

namespace {

QWidget& Window() {
  static int argc = 1;
  static char name[] = "fuzz";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  (void)app;
  static QWidget* window = [] {
    auto* w = new QWidget;
    w->setObjectName("frmFuzz");
    w->setWindowTitle("Fuzz");
    auto* column = new QVBoxLayout(w);
    auto* label = new QLabel("Label", w);
    label->setObjectName("lbText");
    column->addWidget(label);
    auto* combo = new QComboBox(w);
    combo->setObjectName("cbList");
    combo->addItems({"a", "b", "c"});
    column->addWidget(combo);
    auto* list = new QListWidget(w);
    list->setObjectName("lbItems");
    list->addItems({"x", "y"});
    column->addWidget(list);
    auto* table = new QTableWidget(1, 3, w);
    table->setObjectName("ListImgs");
    column->addWidget(table);
    auto* tabs = new QTabWidget(w);
    tabs->setObjectName("pcPages");
    auto* page = new QWidget;
    page->setObjectName("tsFirst");
    tabs->addTab(page, "First");
    tabs->addTab(new QWidget, "Second");
    column->addWidget(tabs);
    auto* memo = new QPlainTextEdit("one\ntwo", w);
    memo->setObjectName("mmNotes");
    column->addWidget(memo);
    auto* action = new QAction("Act", w);
    action->setObjectName("actGo");
    return w;
  }();
  return *window;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  QWidget& window = Window();
  std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) {
    try {
      bytes = imprimo::BuildLanguageModule(
          imprimo::ContentFromSources(imprimo::ParseLanguageSources(bytes)));
    } catch (const std::exception&) {
      return 0;
    }
  }
  imprimo::TranslateWindowFromBytes(window, "TfrmFuzz", std::move(bytes), 2052);
  (void)imprimo::WindowTexts(window);
  return 0;
}
