// The temporary program folder a window test runs over (prog/ with its
// Watermarks folder under a fresh root, removed afterwards), and the small
// files the tests write into it.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QColor>
#include <QImage>
#include <QString>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/qt_application.h"

namespace imprimo::testing {

class WindowTestFolder : public ::testing::Test {
 protected:
  // Makes root_ named after prefix, the process and a counter, with
  // root_/prog/Watermarks; folder_ is the program folder, ending with "/".
  void MakeProgramFolder(const std::string& prefix) {
    EnsureApplication();
    static std::atomic<int> counter{0};
    root_ = std::filesystem::temp_directory_path() /
            (prefix + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_ / "prog" / "Watermarks");
    folder_ = (root_ / "prog").string() + "/";
  }
  void RemoveProgramFolder() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }

  // A small picture of one colour, written by the toolkit's own encoders.
  static void WriteImage(const std::string& path, int width, int height, const char* format,
                         QColor colour = QColor(40, 90, 160)) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    ASSERT_TRUE(image.save(QString::fromStdString(path), format)) << path;
  }
  static void WriteText(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::filesystem::path root_;
  std::string folder_;
};

}  // namespace imprimo::testing
