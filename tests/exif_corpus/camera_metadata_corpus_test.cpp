// The corpus's camera and phone files carried into every output format that
// holds metadata: exiftool finds no warning in an output that it did not
// find in its source, and reads the same maker note fields.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "exif/metadata_writer.h"
#include "imaging/file_format.h"
#include "support/imaging_support.h"
#include "support/metadata_fixtures.h"

namespace imprimo {
namespace {

namespace fs = std::filesystem;
using namespace ::imprimo::testing;

// The exiftool lines of each file: warnings and maker note fields (previews
// and thumbnails left out, as they are not carried, and so are the CIFF
// records an old camera kept in an APP0 segment, which are no EXIF).
std::map<std::string, std::set<std::string>> WarningsAndMakerNotes(
    const std::vector<std::string>& paths) {
  std::string command = "exiftool -a -G0:1 -s -warning -MakerNotes:all";
  for (const std::string& p : paths) command += " " + Quote(p);
  std::istringstream listing(RunCommandText(command + " 2>/dev/null"));
  std::map<std::string, std::set<std::string>> lines;
  std::string line, file = paths.size() == 1 ? paths.front() : "";
  while (std::getline(listing, line)) {
    if (line.rfind("======== ", 0) == 0) {
      file = line.substr(9);
      continue;
    }
    const bool preview =
        line.find("Preview") != std::string::npos || line.find("Thumbnail") != std::string::npos ||
        line.find("JpgFromRaw") != std::string::npos || line.rfind("[MakerNotes:CIFF]", 0) == 0;
    if (!file.empty() && line.rfind("[", 0) == 0 && !preview) lines[file].insert(line);
  }
  return lines;
}

TEST(CameraMetadataCorpus, OutputsGainNoExiftoolWarningAndKeepTheirMakerNotes) {
  if (!HaveExiftool()) GTEST_SKIP() << "exiftool is not installed";
  const fs::path root = fs::path(CorpusDir()) / "exif/exif-samples";
  IMPRIMO_REQUIRE_CORPUS_PATH(root);
  std::vector<std::string> sources;
  for (const char* folder : {"camera", "gps", "phone-hdr", "exif-org", "xmp"})
    for (const auto& e : fs::directory_iterator(root / folder))
      if (e.path().extension() == ".jpg") sources.push_back(e.path().string());
  std::sort(sources.begin(), sources.end());
  ASSERT_GT(sources.size(), 30u);
  const auto before = WarningsAndMakerNotes(sources);

  RasterImage image;
  ImageCreate(image, 32, 24, ifR8G8B8);
  for (const std::string ext : {"jpg", "tif", "png", "webp", "avif"}) {
    const fs::path folder = TempFolder("corpus_meta", ext);
    std::vector<std::string> outputs;
    for (const std::string& source : sources) {
      const std::string out = (folder / (fs::path(source).stem().string() + "." + ext)).string();
      SaveWithSourceMetadata(source, out, image, {});
      outputs.push_back(out);
    }
    const auto after = WarningsAndMakerNotes(outputs);
    for (size_t i = 0; i < sources.size(); ++i) {
      const std::set<std::string> empty;
      const auto s = before.find(sources[i]), o = after.find(outputs[i]);
      const std::set<std::string>& was = s == before.end() ? empty : s->second;
      const std::set<std::string>& now = o == after.end() ? empty : o->second;
      std::string gained, lost;
      for (const std::string& line : now)
        if (!was.count(line)) gained += line + "\n";
      for (const std::string& line : was)
        if (!now.count(line) && line.find("Warning") == std::string::npos) lost += line + "\n";
      EXPECT_EQ(gained, "") << outputs[i];
      EXPECT_EQ(lost, "") << outputs[i];
    }
    fs::remove_all(folder);
  }
}

}  // namespace
}  // namespace imprimo
