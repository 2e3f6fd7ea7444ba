// Shared helpers for the batch tests: scratch folders, generated pictures
// (with or without a camera EXIF block), templates and a recording host.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "../../tools/exif_block.h"
#include "app/batch_run.h"
#include "app/image_list.h"
#include "app/naming.h"
#include "imaging/file_format.h"
#include "imaging/imaging_stream.h"
#include "imaging/raster_image.h"
#include "support/reference_tools.h"

namespace imprimo::testing {

namespace fs = std::filesystem;

class TScratchFolder {
 public:
  TScratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "imprimo-pipeline-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern + "/";
  }
  ~TScratchFolder() {
    std::error_code ec;
    // Undo permission changes so the folder can be removed.
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::end(it);
         it.increment(ec))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
  }
  const std::string& Path() const { return path_; }  // trailing "/"
  std::string operator/(const std::string& rel) const { return path_ + rel; }

 private:
  std::string path_;
};

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void WriteText(const std::string& path, const std::string& text) {
  WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

// A w x h 24-bit picture with a diagonal gradient.
inline void MakePicture(RasterImage& image, int w, int h) {
  ImageCreate(image, w, h, ifR8G8B8);
  for (int y = 0; y < h; ++y) {
    uint8_t* row = image.Row(y);
    for (int x = 0; x < w; ++x) {
      row[3 * x] = static_cast<uint8_t>(x * 255 / std::max(1, w - 1));
      row[3 * x + 1] = static_cast<uint8_t>(y * 255 / std::max(1, h - 1));
      row[3 * x + 2] = static_cast<uint8_t>((x + y) & 0xFF);
    }
  }
}

// Writes a picture in the format named by ext ("jpg", "png", "bmp"...); a
// JPEG gets a camera EXIF block when withExif.
inline void WritePicture(const std::string& path, int w, int h, const std::string& ext = "jpg",
                         bool withExif = false, samples::TExifFields exif = {}) {
  RasterImage image;
  MakePicture(image, w, h);
  TMemoryStream stream;
  if (!WriteImageStream(ext, stream, image)) throw std::runtime_error("encode failed: " + ext);
  std::vector<uint8_t> bytes = stream.Data();
  if (withExif) bytes = samples::SpliceApp1(bytes, samples::BuildExifApp1(exif));
  WriteBytes(path, bytes);
}

// A template of one text layer at the top left; text may hold variables.
inline void WriteTextTemplate(const std::string& path, const std::string& text) {
  WriteText(path,
            "[Text]\r\nEnabled=1\r\nStyle=0\r\nText=" + text +
                "\r\nFontName=DejaVu Sans\r\nFontSize=18\r\nFontColor=0xFFFFFF\r\nAlpha=100\r\n"
                "PlaceStyle=0\r\nPosition=1\r\nOffsetX=4\r\nOffsetY=4\r\n");
}

// A host that records what the run tells it.
class TRecordingHost : public TBatchHost, public TImageListHost {
 public:
  std::vector<ImageListEntry> rows;
  std::vector<int> progress;
  std::vector<std::string> captions;
  std::vector<std::string> errors, questions, opened;
  std::vector<TRunState> states;
  std::vector<std::pair<int, int>> finished;  // row, status
  std::vector<TImageResult> results;
  std::vector<int64_t> shownRenameNo;
  bool answer = false;
  bool closed = false, removedAll = false, focused = false;
  bool stop = false;
  int stopAfterRow = -1;  // the Stop command arrives while this row is processed
  std::string outputFolderText;
  std::function<void()> panelToSettings;
  std::function<void(int)> onFinished;

  void AddPaths(const std::vector<std::string>& paths) { AddImages(*this, paths); }

  int RowCount() const override { return static_cast<int>(rows.size()); }
  std::string RowText(int row) const override { return rows.at(row).Path; }
  void SetRowIcon(int row, int icon) override { rows.at(row).Icon = icon; }
  void SetRowColumn(int row, int sub, const std::string& text) override {
    rows.at(row).Columns.at(sub) = text;
  }
  void RemoveAllRows() override {
    removedAll = true;
    rows.clear();
  }
  void PanelToSettings() override {
    if (panelToSettings) panelToSettings();
  }
  std::string OutputFolderText() const override { return outputFolderText; }
  void FocusOutputFolder() override { focused = true; }
  void SetRunState(TRunState s) override { states.push_back(s); }
  void ShowProgress(bool) override {}
  void SetProgress(int percent, const std::string& caption) override {
    progress.push_back(percent);
    captions.push_back(caption);
  }
  void ProcessMessages() override {}
  bool StopRequested() const override { return stop; }
  void ClearStopRequested() override { stop = false; }
  void ShowError(const std::string& text) override { errors.push_back(text); }
  bool AskQuestion(const std::string& text) override {
    questions.push_back(text);
    return answer;
  }
  void ShowRenameNo(int64_t n) override { shownRenameNo.push_back(n); }
  void CloseProgram() override { closed = true; }
  void OpenFolder(const std::string& f) override { opened.push_back(f); }
  void ImageFinished(int row, int status, const TImageResult& r) override {
    finished.emplace_back(row, status);
    results.push_back(r);
    if (row == stopAfterRow) stop = true;
    if (onFinished) onFinished(row);
  }
  bool IsInList(const std::string& path) const override { return imprimo::IsInList(rows, path); }
  void AddRow(ImageListEntry e) override { InsertSorted(rows, std::move(e)); }
};

// Settings, folders and working objects of one test run.
struct TRunEnv {
  TScratchFolder scratch;
  TSettings settings;
  TProgramValues values;
  std::vector<std::string> added;
  TWorkingObjects work;
  std::string templatePath;
  TRunContext context{settings, values, scratch.Path(), scratch.Path(), added, {}, work};

  TRunEnv() {
    fs::create_directories(scratch / "Watermarks");
    fs::create_directories(scratch / "src");
    fs::create_directories(scratch / "out");
    templatePath = scratch / "Watermarks/empty.wg";
    WriteText(templatePath, "");
    context.TemplatePath = templatePath;
    settings.PathType = 2;
    settings.OutPath = scratch / "out/";
    settings.ScrPath = scratch / "src/";
    values.Open = false;
  }
  std::string Src(const std::string& rel) const { return scratch / ("src/" + rel); }
  std::string Out(const std::string& rel) const { return scratch / ("out/" + rel); }
  // Adds files as one add-files command would.
  void AddFiles(TRecordingHost& host, const std::vector<std::string>& paths) {
    host.AddPaths(paths);
    if (!paths.empty()) NoteAddedFiles(added, settings, paths.front());
  }
};

// How many times what occurs in text.
inline size_t CountOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

inline std::vector<std::string> FilesUnder(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::end(it);
       it.increment(ec))
    if (it->is_regular_file()) names.push_back(fs::relative(it->path(), folder).string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace imprimo::testing
