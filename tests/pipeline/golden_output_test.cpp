// Every output format written by whole runs, compared with digests recorded
// from an earlier build: the bytes of every file stay the same. WebP, AVIF and
// TIFF outputs may be laid out differently by a future writer; for them the
// record also holds ImageMagick's decoded pixels and exiftool's tag list, and
// a file whose bytes moved still passes when both of those are unchanged.
//
// To record the tables again (after a change that is meant to alter output
// bytes), run this test with IMPRIMO_RECORD_GOLDEN=1 set: it rewrites the
// files under tests/data/golden/ in the source tree, and says so.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "pipeline/pipeline_test_util.h"
#include "support/icc_profiles.h"
#include "support/metadata_fixtures.h"
#include "support/sha256.h"

namespace imprimo::testing {
namespace {

const std::string kGoldenDir = std::string(IMPRIMO_TEST_DATA_DIR) + "/golden/";
// Containers whose layout may change while pixels and tags stay.
const std::set<std::string> kRelaidFormats = {"webp", "avif", "tif"};

bool Recording() {
  const char* v = std::getenv("IMPRIMO_RECORD_GOLDEN");
  return v && *v && std::string(v) != "0";
}

std::string Extension(const std::string& name) { return name.substr(name.rfind('.') + 1); }

// The JPEG of a camera workflow: EXIF with GPS, XMP, IPTC and an Adobe RGB
// profile whose creation time is fixed, so the source is the same every run.
std::vector<uint8_t> TaggedSource() {
  std::string profile = AdobeRgbIccProfile();
  std::fill(profile.begin() + 24, profile.begin() + 36, '\0');
  const RasterImage picture = MetadataPicture(64, 48);
  std::vector<std::string> segments = CameraSegments();
  const size_t length = 2 + 14 + profile.size();
  segments.push_back(std::string("\xFF\xE2", 2) + char(length >> 8) + char(length & 0xFF) +
                     std::string("ICC_PROFILE\0\x01\x01", 14) + profile);
  const std::string jpeg = JpegWithSegments(segments, CodedJpeg(picture));
  return std::vector<uint8_t>(jpeg.begin(), jpeg.end());
}

// A 32 x 20 logo: orange with alpha rising from left to right.
void WriteLogo(const std::string& path) {
  RasterImage logo;
  ImageCreate(logo, 32, 20, ifA8R8G8B8);
  for (int y = 0; y < 20; ++y) {
    uint8_t* p = logo.Row(y);
    for (int x = 0; x < 32; ++x, p += 4) p[0] = 0, p[1] = 140, p[2] = 255, p[3] = uint8_t(8 * x);
  }
  TMemoryStream stream;
  ASSERT_TRUE(WriteImageStream("png", stream, logo));
  WriteBytes(path, stream.Data());
}

// Three sources (tagged, turned by orientation 6, bare) through every output
// format with a text and a logo layer, the metadata kept and pictures turned
// upright.
struct TGoldenRun {
  TRunEnv env;
  TRecordingHost host;

  TGoldenRun() {
    WriteBytes(env.Src("tagged.jpg"), TaggedSource());
    samples::TExifFields turned;
    turned.Orientation = 6;
    WritePicture(env.Src("turned.jpg"), 64, 40, "jpg", true, turned);
    WritePicture(env.Src("bare.jpg"), 56, 48, "jpg");
    WriteLogo(env.scratch / "Watermarks/logo.png");
    WriteText(env.templatePath,
              "[Text]\r\nEnabled=1\r\nStyle=0\r\nText=Imprimo 27\r\nFontName=DejaVu Sans\r\n"
              "FontSize=12\r\nFontColor=0x20E0FF\r\nAlpha=85\r\nPlaceStyle=0\r\nPosition=1\r\n"
              "OffsetX=3\r\nOffsetY=3\r\n"
              "[Logo]\r\nEnabled=1\r\nStyle=1\r\nPicture=logo.png\r\nAlpha=80\r\n"
              "PlaceStyle=0\r\nPosition=1\r\nOffsetX=20\r\nOffsetY=18\r\n");
    env.settings.KeepExif = true;
    env.settings.AutoRotate = true;
    env.settings.OverwriteOutput = true;
    env.AddFiles(host, {env.Src("bare.jpg"), env.Src("tagged.jpg"), env.Src("turned.jpg")});
  }

  // Runs every output format on the given number of workers; the files
  // written, by name ("tagged.webp").
  std::map<std::string, std::vector<uint8_t>> Run(int jobs) {
    fs::remove_all(env.Out(""));
    fs::create_directories(env.Out(""));
    env.context.Jobs = jobs;
    for (int format = 0; format < kSaveFormatCount; ++format) {
      env.settings.SaveFormat = format;
      for (ImageListEntry& row : host.rows) row.Columns.fill("");
      RunBatch(env.context, host);
    }
    std::map<std::string, std::vector<uint8_t>> files;
    for (const std::string& name : FilesUnder(env.Out(""))) files[name] = ReadBytes(env.Out(name));
    return files;
  }
};

std::string Digest(const std::vector<uint8_t>& bytes) {
  return Sha256Hex(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// ImageMagick's 8-bit RGBA samples of the file, digested; "unreadable" when
// it cannot decode it.
std::string PixelDigest(const std::string& path) {
  TMagickPicture picture;
  if (!MagickRead(path, picture)) return "unreadable";
  return std::to_string(picture.Width) + "x" + std::to_string(picture.Height) + " " +
         Digest(picture.Samples);
}

// Whether an exiftool "Group:Tag" key is where a block sits in the file
// (StripOffsets, MediaDataOffset): layout, not content.
bool IsLayoutKey(const std::string& line) {
  const size_t end = line.find("\":");
  if (end == std::string::npos) return false;
  const std::string key = line.substr(0, end);
  return key.ends_with("Offset") || key.ends_with("Offsets");
}

// exiftool's "-a -G1 -j" lines for the file, sorted, without the file
// system's entries, the tool's version, the file's own name and the places
// of its blocks.
std::string TagList(const std::string& path) {
  std::istringstream in(RunCommandText("exiftool -a -G1 -j " + Quote(path) + " 2>/dev/null"));
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    line.erase(0, line.find_first_not_of(' '));
    if (!line.empty() && line.back() == ',') line.pop_back();
    if (line.empty() || line == "[{" || line == "}]" || line.rfind("\"SourceFile\"", 0) == 0 ||
        line.rfind("\"System:", 0) == 0 || line.rfind("\"ExifTool:ExifToolVersion", 0) == 0 ||
        IsLayoutKey(line))
      continue;
    lines.push_back(line);
  }
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  return text;
}

std::string ReadText(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

// "name value" lines into a map.
std::map<std::string, std::string> ReadTable(const std::string& path) {
  std::map<std::string, std::string> table;
  std::istringstream in(ReadText(path));
  std::string line;
  while (std::getline(in, line)) {
    const size_t space = line.find(' ');
    if (space != std::string::npos) table[line.substr(0, space)] = line.substr(space + 1);
  }
  return table;
}

void WriteTable(const std::string& path, const std::map<std::string, std::string>& table) {
  std::string text;
  for (const auto& [name, value] : table) text += name + " " + value + "\n";
  WriteText(path, text);
}

TEST(GoldenOutput, EveryFormatWritesTheRecordedBytes) {
  if (!HaveMagick() || !HaveExiftool()) GTEST_SKIP() << "ImageMagick or exiftool missing";
  TGoldenRun run;
  const auto files = run.Run(1);
  ASSERT_EQ(files.size(), 3u * kSaveFormatCount)
      << ::testing::PrintToString(FilesUnder(run.env.Out("")));
  // The bytes do not depend on the number of workers.
  EXPECT_TRUE(files == run.Run(2)) << "two workers wrote other bytes than one";

  std::map<std::string, std::string> digests, pixels;
  std::map<std::string, std::string> tags;
  for (const auto& [name, bytes] : files) {
    digests[name] = Digest(bytes);
    if (!kRelaidFormats.count(Extension(name))) continue;
    pixels[name] = PixelDigest(run.env.Out(name));
    tags[name] = TagList(run.env.Out(name));
  }

  if (Recording()) {
    fs::create_directories(kGoldenDir + "tags");
    WriteTable(kGoldenDir + "outputs.txt", digests);
    WriteTable(kGoldenDir + "pixels.txt", pixels);
    for (const auto& [name, list] : tags) WriteText(kGoldenDir + "tags/" + name + ".txt", list);
    std::printf("recorded %zu outputs into %s\n", digests.size(), kGoldenDir.c_str());
    return;
  }

  const auto recorded = ReadTable(kGoldenDir + "outputs.txt");
  const auto recordedPixels = ReadTable(kGoldenDir + "pixels.txt");
  ASSERT_EQ(recorded.size(), digests.size()) << "the recorded table is missing or incomplete";
  for (const auto& [name, digest] : digests) {
    SCOPED_TRACE(name);
    const auto it = recorded.find(name);
    ASSERT_NE(it, recorded.end()) << "no recorded digest";
    if (it->second == digest) continue;
    if (!kRelaidFormats.count(Extension(name))) {
      ADD_FAILURE() << "the bytes changed";
      continue;
    }
    // A container written another way: the same pixels and the same tags.
    EXPECT_EQ(pixels[name], recordedPixels.at(name)) << "bytes and pixels changed";
    EXPECT_EQ(tags[name], ReadText(kGoldenDir + "tags/" + name + ".txt"))
        << "bytes and tags changed";
  }
}

}  // namespace
}  // namespace imprimo::testing
