// Decodes the shared conformance files and compares the pixels with
// independent decoders (Pillow, ImageMagick) or the suites' reference images.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "imaging/file_format.h"
#include "imaging/formats/basic_formats.h"
#include "imaging/raster_image.h"
#include "support/imaging_support.h"

namespace imprimo {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = IMPRIMO_CORPUS_DIR;

struct TRgba {
  int width = 0, height = 0;
  bool alpha = false;
  std::vector<uint8_t> rgba;  // R, G, B, A per pixel
};

using testing::Quote;
using testing::RunCommand;

// The python interpreter that has Pillow, or empty.
const std::string& PillowPython() {
  static const std::string python = [] {
    for (const char* py : {"/usr/bin/python3", "python3"})
      if (std::system((std::string(py) + " -c 'import PIL' >/dev/null 2>&1").c_str()) == 0)
        return std::string(py);
    return std::string();
  }();
  return python;
}

bool PillowDecode(const fs::path& file, TRgba& out) {
  if (PillowPython().empty()) return false;
  bool ok;
  const fs::path script = fs::path(IMPRIMO_SOURCE_DIR) / "tests/imaging_corpus/oracle_decode.py";
  auto bytes =
      RunCommand(PillowPython() + " " + Quote(script) + " " + Quote(file) + " 2>/dev/null", ok);
  if (!ok) return false;
  auto nl = std::find(bytes.begin(), bytes.end(), '\n');
  if (nl == bytes.end()) return false;
  int a = 0;
  if (std::sscanf(std::string(bytes.begin(), nl).c_str(), "%d %d %d", &out.width, &out.height,
                  &a) != 3)
    return false;
  out.alpha = a != 0;
  out.rgba.assign(nl + 1, bytes.end());
  return out.rgba.size() == static_cast<size_t>(out.width) * out.height * 4;
}

// A portable map a reference tool wrote, read with our own (separately
// tested) parser.
bool FromPortableMap(const std::vector<uint8_t>& bytes, TRgba& out) {
  try {
    RasterImage img = DecodePortableMap(bytes);
    out.alpha = GetImageFormatInfo(img.Format)->HasAlphaChannel;
    ImageConvert(img, ifA8R8G8B8);
    out.width = img.Width;
    out.height = img.Height;
    out.rgba.resize(img.Size);
    for (int32_t i = 0; i < img.Size; i += 4) {
      out.rgba[i] = img.Bits[i + 2];
      out.rgba[i + 1] = img.Bits[i + 1];
      out.rgba[i + 2] = img.Bits[i];
      out.rgba[i + 3] = img.Bits[i + 3];
    }
    return true;
  } catch (const EImagingError&) {
    return false;
  }
}

// ImageMagick's decode of the first frame, turned upright.
bool MagickDecode(const fs::path& file, TRgba& out) {
  testing::TMagickPicture picture;
  if (!testing::MagickRead(file.string(), picture, {.AutoOrient = true})) return false;
  out.width = picture.Width;
  out.height = picture.Height;
  out.alpha = picture.HasAlpha;
  out.rgba = std::move(picture.Samples);
  return true;
}

// The netpbm tools scale every sample to 0..255 and write a portable map.
bool NetpbmDecode(const fs::path& file, TRgba& out) {
  static const bool have = testing::HaveTool("pamdepth -version");
  if (!have) return false;
  const std::string ext = file.extension().string();
  const std::string cmd =
      (ext == ".pfm" ? "pfmtopam -maxval 255 " : "pamdepth 255 ") + Quote(file) + " 2>/dev/null";
  // The tools complain about junk after the image but still write it whole,
  // which the decoder below checks.
  bool ok;
  auto bytes = RunCommand(cmd, ok);
  return FromPortableMap(bytes, out);
}

enum class TOracle { Magick, Pillow, Netpbm };

const char* OracleName(TOracle o) {
  return o == TOracle::Magick ? "ImageMagick" : o == TOracle::Pillow ? "Pillow" : "netpbm";
}

// Decodes with the first oracle in order that can; used names it.
bool OracleDecode(const fs::path& file, const std::vector<TOracle>& order, TRgba& out,
                  std::string& used) {
  for (TOracle o : order) {
    bool ok = o == TOracle::Magick   ? MagickDecode(file, out)
              : o == TOracle::Pillow ? PillowDecode(file, out)
                                     : NetpbmDecode(file, out);
    if (ok) {
      used = OracleName(o);
      return true;
    }
  }
  return false;
}

// Compares our decode with the oracle: colour where the oracle pixel is not
// fully transparent, alpha when both sides carry alpha. Returns the number of
// mismatching pixels and describes the first one.
int Compare(const RasterImage& ours, const TRgba& ref, int tolerance, std::string& first) {
  if (ours.Width != ref.width || ours.Height != ref.height) {
    first = "size " + std::to_string(ours.Width) + "x" + std::to_string(ours.Height) + " vs " +
            std::to_string(ref.width) + "x" + std::to_string(ref.height);
    return -1;
  }
  const bool ourAlpha = GetImageFormatInfo(ours.Format)->HasAlphaChannel;
  RasterImage argb;
  ImageClone(ours, argb);
  ImageConvert(argb, ifA8R8G8B8);
  int bad = 0;
  for (int i = 0; i < ours.Width * ours.Height; ++i) {
    const uint8_t* o = &argb.Bits[4 * i];
    const uint8_t* r = &ref.rgba[4 * i];
    auto near = [&](int a, int b) { return std::abs(a - b) <= tolerance; };
    bool same = true;
    if (r[3] != 0 || !ref.alpha) same = near(o[2], r[0]) && near(o[1], r[1]) && near(o[0], r[2]);
    if (ourAlpha && ref.alpha) same = same && near(o[3], r[3]);
    if (!same && bad++ == 0) {
      char buf[160];
      std::snprintf(buf, sizeof buf, "pixel (%d,%d): ours %d,%d,%d,%d oracle %d,%d,%d,%d",
                    i % ours.Width, i / ours.Width, o[2], o[1], o[0], o[3], r[0], r[1], r[2], r[3]);
      first = buf;
    }
  }
  return bad;
}

std::vector<fs::path> Files(const fs::path& dir, const std::set<std::string>& exts) {
  std::vector<fs::path> out;
  if (!fs::is_directory(dir)) return out;
  for (auto& e : fs::directory_iterator(dir)) {
    std::string ext = e.path().extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (e.is_regular_file() && exts.count(ext)) out.push_back(e.path());
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Loading must either succeed with a valid image or fail in the documented
// ways (false or EImagingError).
enum class TOutcome { Loaded, Refused };
TOutcome TryLoad(const fs::path& file, RasterImage& img) {
  try {
    if (ReadImageFile(file.string(), img) && ImageIsValid(img)) return TOutcome::Loaded;
  } catch (const EImagingError&) {
  }
  return TOutcome::Refused;
}

const std::vector<TOracle> kImageOracles = {TOracle::Pillow, TOracle::Magick};
const std::vector<TOracle> kMapOracles = {TOracle::Netpbm, TOracle::Magick};

#define REQUIRE_CORPUS(sub)                                        \
  do {                                                             \
    IMPRIMO_REQUIRE_CORPUS_PATH(kCorpus / sub);                    \
    if (PillowPython().empty() && !testing::HaveMagick()) {        \
      GTEST_SKIP() << "no oracle decoder (Pillow or ImageMagick)"; \
    }                                                              \
  } while (false)

// Checks every file in a list against an oracle decoding the file itself,
// or its reference picture where references names one; returns how many
// were compared. Every file must load, and every file must be compared:
// one that no oracle decodes fails too. Each failure names the reference the
// file was checked against, and a summary line says how many files each
// reference checked.
int CheckGood(const std::vector<fs::path>& files, int tolerance, const std::vector<TOracle>& order,
              const std::map<std::string, fs::path>& references = {}) {
  int compared = 0;
  std::map<std::string, int> byReference;
  for (const fs::path& f : files) {
    RasterImage img;
    if (TryLoad(f, img) != TOutcome::Loaded) {
      ADD_FAILURE() << "could not load " << f;
      continue;
    }
    TRgba ref;
    fs::path source = f;
    std::string reference;
    if (auto it = references.find(f.filename().string()); it != references.end())
      source = it->second;
    if (!OracleDecode(source, order, ref, reference)) {
      ADD_FAILURE() << f.filename() << ": no reference decoder reads " << source;
      continue;
    }
    if (source != f)
      reference =
          "the set's reference picture " + source.filename().string() + " read by " + reference;
    std::string first;
    int bad = Compare(img, ref, tolerance, first);
    EXPECT_EQ(bad, 0) << f.filename() << " against " << reference << ": " << first;
    ++byReference[reference.starts_with("the set's") ? "reference pictures" : reference];
    ++compared;
  }
  std::string summary;
  for (const auto& [name, count] : byReference)
    summary += (summary.empty() ? "" : ", ") + std::to_string(count) + " against " + name;
  std::printf("%d of %zu files compared: %s\n", compared, files.size(), summary.c_str());
  return compared;
}

TEST(BmpCorpus, GoodFilesMatchAnIndependentDecoder) {
  REQUIRE_CORPUS("bmp/bmpsuite/g");
  auto files = Files(kCorpus / "bmp/bmpsuite/g", {".bmp"});
  ASSERT_FALSE(files.empty());
  // Pillow misplaces pixels of some 4-bit run-length files, so ImageMagick goes first.
  EXPECT_GT(CheckGood(files, 0, {TOracle::Magick, TOracle::Pillow}), 20);
}

TEST(BmpCorpus, BadFilesAreRefusedAndNothingCrashes) {
  REQUIRE_CORPUS("bmp/bmpsuite/b");
  // Files whose damage is harmless to a careful reader may load: a wrong file
  // size, image size or density field, or a bit field with no blue bits.
  const std::set<std::string> mayLoad = {"baddens1.bmp", "baddens2.bmp", "badfilesize.bmp",
                                         "badbitssize.bmp", "rgb16-880.bmp"};
  for (const fs::path& f : Files(kCorpus / "bmp/bmpsuite/b", {".bmp"})) {
    RasterImage img;
    TOutcome o = TryLoad(f, img);
    if (!mayLoad.count(f.filename().string())) {
      EXPECT_EQ(o, TOutcome::Refused) << f.filename();
    }
  }
  // Questionable files: any outcome but a crash; the ones we load are valid.
  int loaded = 0;
  for (const fs::path& f : Files(kCorpus / "bmp/bmpsuite/q", {".bmp"})) {
    RasterImage img;
    loaded += TryLoad(f, img) == TOutcome::Loaded;
  }
  EXPECT_GT(loaded, 10);
}

TEST(TgaCorpus, ConformanceFilesMatchTheirReferences) {
  REQUIRE_CORPUS("tga");
  // gdk-pixbuf: reference PNGs listed in REFS.txt.
  std::map<std::string, fs::path> refs;
  const fs::path gdk = kCorpus / "tga/gdk-pixbuf/reftests";
  std::ifstream list(gdk / "REFS.txt");
  std::string line;
  while (std::getline(list, line)) {
    auto arrow = line.find(" -> ");
    if (line.empty() || line[0] == '#' || arrow == std::string::npos) continue;
    refs[line.substr(0, arrow)] = gdk / line.substr(arrow + 4);
  }
  EXPECT_GT(CheckGood(Files(gdk, {".tga"}), 0, kImageOracles, refs), 30);

  // dertee: the PNG beside each file. Those PNGs widen 5-bit channels by
  // 255/31 where we repeat the bits (as the other suites expect), which can
  // differ by one.
  const fs::path dertee = kCorpus / "tga/dertee-tga-test-suite/tombexcavator";
  std::map<std::string, fs::path> sameName;
  for (const fs::path& f : Files(dertee, {".tga"})) {
    fs::path png = f;
    png.replace_extension(".png");
    if (fs::exists(png)) sameName[f.filename().string()] = png;
  }
  EXPECT_GT(CheckGood(Files(dertee, {".tga"}), 1, kImageOracles, sameName), 5);

  // Truevision conformance files and the 64x64 set: the file itself through Pillow.
  EXPECT_GT(CheckGood(Files(kCorpus / "tga/ftrvxmtrx-tga", {".tga"}), 0, kImageOracles), 10);
  CheckGood(Files(kCorpus / "tga/oiio-images", {".tga"}), 0, kImageOracles);
}

TEST(TgaCorpus, BrokenFilesAreRefused) {
  REQUIRE_CORPUS("tga/gdk-pixbuf/fail");
  // A colour map shorter than the indices it serves, runs past the end,
  // missing maps and absurd sizes all end in a refusal.
  for (const fs::path& f : Files(kCorpus / "tga/gdk-pixbuf/fail", {".tga"})) {
    RasterImage img;
    TOutcome o = TryLoad(f, img);
    if (f.filename() != "randomly-modified-valid.1.tga" &&
        f.filename() != "androstanRezeptor.tga") {
      EXPECT_EQ(o, TOutcome::Refused) << f.filename();
    }
  }
}

TEST(PortableMapCorpus, GoodFilesMatchAnIndependentDecoder) {
  REQUIRE_CORPUS("pnm");
  std::vector<fs::path> good;
  const std::set<std::string> exts = {".pbm", ".pgm", ".ppm", ".pnm", ".pam", ".pfm"};
  for (const char* dir :
       {"pnm/haskell-netpbm", "pnm/haskell-netpbm/internet-set3", "pnm/zigimg-test-suite/netpbm",
        "pnm/libjxl-testdata", "pnm/gdk-pixbuf/randomly-modified"})
    for (auto& f : Files(kCorpus / dir, exts)) good.push_back(f);
  const std::set<std::string> notGood = {
      "obj10__0-from-coil-100-invalid-since-16-bit-little-endian.ppm",  // loads, but not as its
                                                                        // author meant
      "bug775232.pnm", "invalid.4.ppm",
      // A comment right after the magic characters: checked on their own below.
      "gitlogo-comment-after-magic-number.ppm", "valid.1.ppm",
      // Cut short: fewer samples than the header announces.
      "cathedral.pnm"};
  std::vector<fs::path> checked;
  for (auto& f : good)
    if (!notGood.count(f.filename().string())) checked.push_back(f);
  for (const char* pam :
       {"simple_blackandwhite.pam", "simple_blackandwhite_alpha.pam",
        "simple_blackandwhite_comments.pam", "simple_grayscale_alpha_maxval_255.pam",
        "simple_grayscale_maxval_255.pam", "simple_rgba_maxval_255.pam",
        "simple_rgba_maxval_65535.pam"})
    checked.push_back(kCorpus / "pnm/zigimg-test-suite/pam" / pam);
  EXPECT_GT(CheckGood(checked, 0, kMapOracles), 20);
  // Float maps: values clamp to 0..1 before the 8-bit comparison; rounding may differ by one.
  CheckGood(Files(kCorpus / "pnm/oiio-images", {".pfm"}), 1, kMapOracles);
}

// A comment may follow the two magic characters directly ("P6#..."); netpbm
// reads these files, and so must we.
TEST(PortableMapCorpus, CommentRightAfterTheMagicMatchesNetpbm) {
  REQUIRE_CORPUS("pnm");
  const std::vector<fs::path> files = {
      kCorpus / "pnm/haskell-netpbm/gitlogo-comment-after-magic-number.ppm",
      kCorpus / "pnm/gdk-pixbuf/randomly-modified/valid.1.ppm"};
  EXPECT_EQ(CheckGood(files, 0, kMapOracles), 2);
}

TEST(PortableMapCorpus, BadFilesAreRefused) {
  REQUIRE_CORPUS("pnm");
  std::vector<fs::path> bad;
  for (auto& f : Files(kCorpus / "pnm/haskell-netpbm/bad", {".ppm"})) bad.push_back(f);
  for (auto& f : Files(kCorpus / "pnm/gdk-pixbuf/fail", {".ppm"})) bad.push_back(f);
  bad.push_back(kCorpus / "pnm/haskell-netpbm/weird/gitlogo-width-0.ppm");
  for (const char* pam :
       {"invalid_first_token.pam", "invalid_maxval.pam", "non_matching_tuple_type.pam",
        "unknown_tupletype.pam", "unsupported_depth.pam", "value_greater_than_maxval.pam"})
    bad.push_back(kCorpus / "pnm/zigimg-test-suite/pam" / pam);
  // A comment glued to the data block is a user error that readers tolerate,
  // and a comment right after the magic characters is legal (netpbm and
  // ImageMagick read that file).
  const std::set<std::string> tolerated = {
      "gitlogo-comment-user-error.ppm", "gitlogo-comment-user-error-no-space-after-magic.ppm",
      "gitlogo-comment-without-following-extra-newline-before-data-block.ppm"};
  for (const fs::path& f : bad) {
    RasterImage img;
    TOutcome o = TryLoad(f, img);
    if (!tolerated.count(f.filename().string())) {
      EXPECT_EQ(o, TOutcome::Refused) << f.filename();
    }
  }
}

}  // namespace
}  // namespace imprimo
