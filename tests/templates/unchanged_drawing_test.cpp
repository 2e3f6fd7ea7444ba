// Templates written before the size, margin and orientation keys existed
// must draw exactly as they always did: each is drawn on fixed landscape and
// portrait pictures with the clocks fixed, and the pixels are compared with
// hashes recorded before those keys were added, and with the same template
// holding the new keys at their defaults.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/date_format.h"
#include "platform/random.h"
#include "platform/text.h"
#include "render/text_variables.h"
#include "support/fixed_clocks.h"
#include "templates/template_file.h"
#include "templates/template_state.h"

namespace imprimo {
namespace {

namespace fs = std::filesystem;

// A picture with some structure, so that blending shows in every pixel.
TBitmap Picture(int w, int h) {
  TBitmap b(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      b.SetPixelRGB(x, y,
                    (uint32_t((x * 255) / w) << 16) | (uint32_t((y * 255) / h) << 8) |
                        uint32_t(((x + y) * 7) & 0xFF));
  return b;
}

uint64_t Fnv1a(const TBitmap& b) {
  uint64_t h = 1469598103934665603ull;
  auto mix = [&](uint64_t v) {
    h ^= v;
    h *= 1099511628211ull;
  };
  mix(static_cast<uint64_t>(b.PixelFormat()));
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) mix(b.PixelRGB(x, y));
  return h;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Templates of the tests: the placement modes, effects and picture layers
// that the shipped samples do not all use.
const char* const kTestTemplates[] = {
    "[Fit]\r\nText=Fitted line\r\nPlaceStyle=2\r\nHorzSpace=30\r\nVertSpace=40\r\n"
    "FontName=DejaVu Sans\r\nAlpha=70\r\n",
    "[Turned]\r\nText=Turned & mirrored\r\nFontName=Liberation Serif\r\nFontSize=30\r\n"
    "Angle=-45\r\nHorzMirror=1\r\nOutline=1\r\nPosition=5\r\nOffsetX=7\r\nOffsetY=-9\r\n"
    "isShadow=1\r\nShadowOffsetX=-3\r\nShadowOffsetY=4\r\nShadowBlur=30\r\nBlur=20\r\n",
    "[Grad]\r\nText=Gradient\r\nFontSize=40\r\nGradient=1\r\nGradientStyle=4\r\n"
    "GradientStartColor=0x00FFFF\r\nGradientEndColor=0xFF0000\r\nPosition=2\r\n",
    "[Spray]\r\nText=Spray {$S12}\r\nFontSize=24\r\nSpray=3\r\nNoise=40\r\nPosition=0\r\n",
    "[Tiles]\r\nText=tile\r\nFontSize=12\r\nPlaceStyle=1\r\nHorzSpace=-2\r\nVertSpace=15\r\n"
    "Angle=15\r\n",
    "[LogoTiles]\r\nStyle=1\r\nPicture=imprimo-logo.png\r\nPlaceStyle=1\r\nHorzSpace=40\r\n"
    "VertSpace=30\r\nAlpha=40\r\nVertMirror=1\r\n",
    "[LogoFit]\r\nStyle=1\r\nPicture=imprimo-logo.png\r\nPlaceStyle=2\r\nHorzSpace=50\r\n"
    "VertSpace=20\r\nisBGTransparent=1\r\nBGColor=0xFF00FF\r\n",
    "[LogoRandom]\r\nStyle=1\r\nPicture=imprimo-logo.png\r\nPlaceStyle=3\r\nOffsetX=5\r\n",
    "[LogoCorner]\r\nStyle=1\r\nPicture=imprimo-logo.png\r\nPosition=7\r\nOffsetX=-30\r\n"
    "OffsetY=12\r\nAlpha=100\r\n",
};

class UnchangedDrawing : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("imprimo_same_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    folder_ = dir_.string() + "/";
    fs::copy_file(fs::path(IMPRIMO_SOURCE_DIR) / "data/Watermarks/imprimo-logo.png",
                  dir_ / "imprimo-logo.png", fs::copy_options::overwrite_existing);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Draws the template text on a w x h picture; the hash of the result.
  uint64_t Draw(const std::string& text, int w, int h) {
    const std::string path = folder_ + "t.wg";
    std::ofstream(path, std::ios::binary) << text;
    TTemplateState state;
    state.TemplateDoc = OpenTemplateFile(path);
    PrepareLayers(state, folder_);
    TBitmap picture = Picture(w, h);
    ApplyTemplate(state, picture, "IMG_0042.JPG");
    return Fnv1a(picture);
  }

  // The template with the newer keys written into every section at their
  // defaults.
  static std::string WithDefaultKeys(const std::string& text) {
    std::string out;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find('\n', start);
      end = end == std::string::npos ? text.size() : end + 1;
      const std::string line = text.substr(start, end - start);
      out += line;
      if (line.find('[') != std::string::npos && line.find(']') != std::string::npos &&
          line.find('=') == std::string::npos)
        out += "SizeMode=0\r\nRelativeSize=50\r\nOffsetMode=0\r\nShowOn=0\r\n";
      start = end;
    }
    return out;
  }

  // Every template: the shipped samples written before the new keys, then
  // the test templates above.
  std::vector<std::pair<std::string, std::string>> Templates() {
    std::vector<std::pair<std::string, std::string>> out;
    for (const char* name : {"Copyright", "Diagonal Proof", "Logo", "Photo Info"})
      out.emplace_back(name, ReadAll(fs::path(IMPRIMO_SOURCE_DIR) / "data/Watermarks" /
                                     (std::string(name) + ".wg")));
    int i = 0;
    for (const char* t : kTestTemplates) out.emplace_back("test " + std::to_string(i++), t);
    return out;
  }

  fs::path dir_;
  std::string folder_;
  TFixedClocks clocks_{TestTime(2024, 2, 29, 13, 5)};
};

// Hashes recorded by this test on the drawing as it was before the new keys
// (landscape 640 x 480, then portrait 360 x 500), in the order of Templates().
const uint64_t kRecorded[][2] = {
    {0x8f8b48c03d57c2b1ull, 0xace2a6a34a8457ebull},  // Copyright
    {0x4b4aef9b9607c5e2ull, 0xa339ad468a8e3d39ull},  // Diagonal Proof
    {0xafb0e80c7d117f97ull, 0xb8e4ded9a71dbcdaull},  // Logo
    {0xd5d7a439e7284fceull, 0x0a3638259676cd21ull},  // Photo Info
    {0x4d32cd763704d659ull, 0x9f21e7b44fb3cd6eull},  // test 0
    {0xd586275853e80bccull, 0xd8b52c6b15e48543ull},  // test 1
    {0xe2c1d14951867c74ull, 0x83aef2ce98b43962ull},  // test 2
    {0x004fc1021d757520ull, 0x25c2fc21823b95a6ull},  // test 3
    {0x547962e30e02590dull, 0x9d8d83eca8bf4248ull},  // test 4
    {0xd6607f8b0de5207eull, 0x9a7f366d2f926fe0ull},  // test 5
    {0x40a3f7bbdaae4182ull, 0xff641bdac3cb883full},  // test 6
    {0xb45e957116309125ull, 0xeb946ac112f3c00full},  // test 7
    {0xa8414e00536584c0ull, 0x73c4bd9be5f07d90ull},  // test 8
};

TEST_F(UnchangedDrawing, OldTemplatesDrawAsBefore) {
  const auto templates = Templates();
  const bool record = std::getenv("IMPRIMO_RECORD_HASHES") != nullptr;
  for (size_t i = 0; i < templates.size(); ++i) {
    const auto& [name, text] = templates[i];
    SCOPED_TRACE(name);
    const uint64_t landscape = Draw(text, 640, 480);
    const uint64_t portrait = Draw(text, 360, 500);
    if (record) {
      std::printf("    {0x%016llxull, 0x%016llxull},  // %s\n",
                  static_cast<unsigned long long>(landscape),
                  static_cast<unsigned long long>(portrait), name.c_str());
      continue;
    }
    ASSERT_LT(i, std::size(kRecorded));
    EXPECT_EQ(landscape, kRecorded[i][0]);
    EXPECT_EQ(portrait, kRecorded[i][1]);
    EXPECT_EQ(Draw(WithDefaultKeys(text), 640, 480), landscape);
    EXPECT_EQ(Draw(WithDefaultKeys(text), 360, 500), portrait);
  }
}

}  // namespace
}  // namespace imprimo
