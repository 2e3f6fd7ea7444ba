// A main window over a temporary program folder, with its dialogs answered
// by the test and every message it shows recorded.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QString>
#include <atomic>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gui/main_window.h"
#include "gui/option_dialog.h"
#include "support/window_test_folder.h"

namespace imprimo::testing_gui {

namespace fs = std::filesystem;

using ::imprimo::testing::EnsureApplication;

struct ShownMessage {
  QMessageBox::Icon icon;
  QString caption;
  QString text;
};

class WindowFixture : public ::imprimo::testing::WindowTestFolder {
 protected:
  void SetUp() override {
    MakeProgramFolder("imprimo_guirun_");
    fs::create_directories(root_ / "out");
    out_ = (root_ / "out").string() + "/";
  }
  void TearDown() override {
    window_.reset();
    RemoveProgramFolder();
  }

  // The window, shown, with its dialogs routed to the test.
  TfrmMain& Open() {
    window_ = std::make_unique<TfrmMain>(folder_, folder_);
    TMainDialogs dialogs;
    dialogs.MessageBox = [this](QMessageBox::Icon icon, const QString& caption, const QString& text,
                                QMessageBox::StandardButtons) {
      messages_.push_back({icon, caption, text});
      if (answers_.empty()) return int(QMessageBox::No);
      const int answer = answers_.front();
      answers_.pop_front();
      return answer;
    };
    dialogs.OpenFolder = [this](const QString& folder) {
      openedFolders_.push_back(folder);
      return openerWorks_;
    };
    // A line of text is answered from texts_; unanswered, it is cancelled.
    dialogs.AskText = [this](const QString&, const QString&, QString& text) {
      proposed_.push_back(text);
      if (texts_.empty()) return false;
      text = texts_.front();
      texts_.pop_front();
      return true;
    };
    // The options dialog is answered by the test; unanswered, it is cancelled.
    dialogs.ShowOptions = [this](TfrmOption& dialog) {
      ++optionRuns_;
      return showOptions_ ? showOptions_(dialog) : int(QDialog::Rejected);
    };
    window_->SetDialogs(std::move(dialogs));
    window_->show();
    return *window_;
  }

  // A template with one text layer in the program's Watermarks folder.
  void WriteTemplate(const std::string& name = "Sample") {
    WriteText(folder_ + "Watermarks/" + name + ".wg",
              "[Copyright]\r\nText=(c) Imprimo {$S001}\r\nFontName=Liberation Sans\r\n"
              "FontSize=12\r\nFontColor=$FFFFFF\r\nAlpha=100\r\nPosition=9\r\n");
  }

  std::vector<std::string> Rows() const {
    std::vector<std::string> rows;
    for (int i = 0; i < window_->RowCount(); ++i) rows.push_back(window_->RowText(i).toStdString());
    return rows;
  }
  std::vector<int> Icons() const {
    std::vector<int> icons;
    for (int i = 0; i < window_->RowCount(); ++i) icons.push_back(window_->RowIcon(i));
    return icons;
  }

  std::string out_;
  std::unique_ptr<TfrmMain> window_;
  std::vector<ShownMessage> messages_;
  std::deque<int> answers_;
  std::vector<QString> openedFolders_;
  bool openerWorks_ = true;  // what the desktop's opener answers
  std::deque<QString> texts_;
  std::vector<QString> proposed_;
  std::function<int(TfrmOption&)> showOptions_;
  int optionRuns_ = 0;
};

}  // namespace imprimo::testing_gui
