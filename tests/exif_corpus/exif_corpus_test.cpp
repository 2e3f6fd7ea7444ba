// The reader over the public sample files, checked against exiftool's raw
// values, and the metadata rewrite of a real encoder's output.
#include <gtest/gtest.h>
#include <stdio.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "exif/exif_builder.h"
#include "exif/exif_reader.h"
#include "support/corpus_support.h"
#include "support/reference_tools.h"

using imprimo::TimgData;
namespace fs = std::filesystem;

namespace {

const fs::path kCorpus = fs::path(IMPRIMO_CORPUS_DIR);

std::vector<fs::path> JpegFiles(const fs::path& folder) {
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    std::string ext = e.path().extension().string();
    for (char& c : ext) c = char(std::tolower((unsigned char)c));
    if (e.is_regular_file() && (ext == ".jpg" || ext == ".jpeg")) files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

using ::imprimo::testing::RunCommandText;

bool HaveExiftool() { return RunCommandText("exiftool -ver 2>/dev/null").size() > 0; }

using TagMap = std::map<std::string, std::string>;

// exiftool's raw values of the EXIF tags, per file path.
std::map<std::string, TagMap> ExiftoolValues(const fs::path& folder) {
  std::string text = RunCommandText(
      "exiftool -n -s -EXIF:Make -EXIF:Model -EXIF:DateTimeOriginal -EXIF:ExposureTime "
      "-EXIF:FNumber -EXIF:FocalLength -EXIF:ISO -ext jpg -ext jpeg -r '" +
      folder.string() + "' 2>/dev/null");
  std::map<std::string, TagMap> result;
  std::istringstream in(text);
  std::string line, current;
  while (std::getline(in, line)) {
    if (line.rfind("======== ", 0) == 0) {
      current = fs::weakly_canonical(line.substr(9)).string();
      result[current];
      continue;
    }
    size_t colon = line.find(" : ");
    if (current.empty() || colon == std::string::npos) continue;
    std::string name = line.substr(0, line.find(' '));
    result[current][name] = line.substr(colon + 3);
  }
  return result;
}

// exiftool ends an ASCII value at its first zero byte and drops trailing
// blanks; the reader keeps the blanks and shows inner zero bytes as dots, so
// it may go on after a dot that stands for the terminating zero.
bool SameAscii(const std::string& ours, const std::string& raw) {
  if (ours.rfind(raw, 0) != 0) return false;
  if (ours.size() > raw.size() && ours[raw.size()] == '.') return true;
  return ours.find_first_not_of(" .", raw.size()) == std::string::npos;
}

double FractionOf(const std::string& text) {
  long long n = 0, d = 0;
  if (std::sscanf(text.c_str(), "%lld/%lld", &n, &d) != 2 || d == 0) return NAN;
  return double(n) / double(d);
}

std::string Printf(const char* format, double v) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, v);
  return buffer;
}

TEST(ExifCorpus, NoFileCrashesTheReader) {
  IMPRIMO_REQUIRE_CORPUS_PATH(kCorpus);
  size_t files = 0, withExif = 0;
  TimgData reader(255);
  for (const char* set : {"exif", "jpeg"}) {
    for (const fs::path& file : JpegFiles(kCorpus / set)) {
      ++files;
      bool ok = reader.ReadMetadata(file.string());
      if (reader.HasExifBlock()) ++withExif;
      EXPECT_TRUE(ok || reader.ErrorText() == "Not an EXIF file" ||
                  reader.ErrorText() == "Illegal Exif construction")
          << file << ": " << reader.ErrorText();
    }
  }
  EXPECT_GT(files, 100u);
  EXPECT_GT(withExif, 45u);
}

TEST(ExifCorpus, AgreesWithExiftool) {
  const fs::path folder = kCorpus / "exif";
  IMPRIMO_REQUIRE_CORPUS_PATH(folder);
  if (!HaveExiftool()) GTEST_SKIP() << "exiftool is not installed";
  auto reference = ExiftoolValues(folder);
  ASSERT_GT(reference.size(), 50u);
  TimgData reader(255);
  size_t compared = 0;
  for (const auto& [path, tags] : reference) {
    SCOPED_TRACE(path);
    reader.ReadMetadata(path);
    for (const auto& [name, raw] : tags) {
      SCOPED_TRACE(name + " = " + raw);
      const std::string tagName = name == "ISO" ? "ISOSpeedRatings" : name;
      const std::string ours = reader.TagValueByName(tagName);
      ++compared;
      if (name == "Make" || name == "Model" || name == "DateTimeOriginal") {
        EXPECT_TRUE(SameAscii(ours, raw)) << "ours: " << ours;
      } else if (name == "ExposureTime") {
        ASSERT_GE(ours.size(), 4u);
        EXPECT_EQ(ours.substr(ours.size() - 4), " sec");
        EXPECT_NEAR(FractionOf(ours), std::stod(raw), 1e-9 * std::stod(raw)) << ours;
      } else if (name == "FNumber") {
        EXPECT_EQ(ours, Printf("F%0.1f", std::stod(raw)));
      } else if (name == "FocalLength") {
        EXPECT_EQ(ours, Printf("%5.2f mm", std::stod(raw)));
      } else if (name == "ISO") {
        std::string joined = ours;
        for (size_t at; (at = joined.find(", ")) != std::string::npos;) joined.replace(at, 2, " ");
        EXPECT_EQ(joined, raw);
      }
    }
    // The fixed fields agree with the tag list.
    if (tags.count("Make")) {
      EXPECT_EQ(reader.CameraMake(), reader.TagValueByName("Make").substr(0, 32));
    }
    if (tags.count("DateTimeOriginal")) {
      EXPECT_TRUE(SameAscii(reader.DateTime(), tags.at("DateTimeOriginal")));
    }
  }
  EXPECT_GT(compared, 200u);
}

}  // namespace
