// A template editor window over a temporary folder, its dialogs answered by
// the test and every message it shows recorded.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QTest>
#include <atomic>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "designer/designer_window.h"
#include "designer/layer_editor.h"
#include "ini/ini_document.h"
#include "support/window_test_folder.h"
#include "templates/template_file.h"

namespace imprimo::testing_designer {

namespace fs = std::filesystem;

using ::imprimo::testing::EnsureApplication;

struct ShownMessage {
  QMessageBox::Icon Icon;
  QString Text;
};

class DesignerFixture : public ::imprimo::testing::WindowTestFolder {
 protected:
  void SetUp() override {
    MakeProgramFolder("imprimo_designer_");
    fs::create_directories(root_ / "prog" / "samples");
    wm_ = folder_ + "Watermarks/";
    // A small sample, so every preview is drawn at full size at once.
    WriteImage(folder_ + "samples/sample.bmp", 320, 240, "BMP", QColor(30, 60, 90));
  }
  void TearDown() override {
    if (window_) window_->setAttribute(Qt::WA_DeleteOnClose, false);
    window_.reset();
    std::error_code ec;
    fs::permissions(root_ / "ro", fs::perms::owner_all, ec);
    RemoveProgramFolder();
  }

  TfrmDesigner& Open() {
    window_ = std::make_unique<TfrmDesigner>(folder_);
    TDesignerDialogs dialogs;
    dialogs.MessageBox = [this](QMessageBox::Icon icon, const QString&, const QString& text,
                                QMessageBox::StandardButtons) {
      messages_.push_back({icon, text});
      if (answers_.empty()) return int(QMessageBox::Cancel);
      const int answer = answers_.front();
      answers_.pop_front();
      return answer;
    };
    dialogs.OpenFile = [this](const QString&, const QString&, const QString&) {
      if (files_.empty()) return QString();
      const QString f = files_.front();
      files_.pop_front();
      return f;
    };
    dialogs.SaveFile = dialogs.OpenFile;
    window_->SetDialogs(std::move(dialogs));
    window_->show();
    WaitPreview();
    return *window_;
  }

  // Waits until the preview shows the document as it is now.
  void WaitPreview() { QTRY_VERIFY_WITH_TIMEOUT(window_->PreviewCurrent(), 20000); }

  template <typename T>
  T* Find(const char* name) const {
    return window_->findChild<T*>(QString::fromLatin1(name));
  }
  void Trigger(const char* action) {
    QAction* a = Find<QAction>(action);
    ASSERT_NE(a, nullptr) << action;
    a->trigger();
  }

  // A template with one text layer, written as a user would type it.
  std::string WriteTemplate(const std::string& name, const std::string& body) {
    const std::string path = wm_ + name + ".wg";
    WriteText(path, body);
    return path;
  }

  // The saved file's layer as the engine reads it.
  static TMarkItem ReadLayer(const std::string& path, size_t index) {
    IniDocument doc = OpenTemplateFile(path);
    TMarkItem item;
    const auto sections = doc.SectionNames();
    EXPECT_LT(index, sections.size());
    if (index < sections.size()) ReadMarkItem(doc, sections[index], item);
    return item;
  }

  std::string wm_;
  std::unique_ptr<TfrmDesigner> window_;
  std::vector<ShownMessage> messages_;
  std::deque<int> answers_;
  std::deque<QString> files_;
};

}  // namespace imprimo::testing_designer
