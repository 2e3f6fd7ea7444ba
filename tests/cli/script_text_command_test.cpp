// imprimo-batch on the texts that used to go wrong: colour emoji, Arabic with
// a year and a layer too large for the picture. The outputs
// are read back with ImageMagick, and the Arabic line is compared with a
// rendering of Pillow's own text layout.
#include <string>

#include "pipeline/pipeline_test_util.h"

namespace imprimo::testing {
namespace {

#ifndef IMPRIMO_BATCH_EXE
#define IMPRIMO_BATCH_EXE ""
#endif

struct TTextRun {
  TScratchFolder scratch;
  std::string program = scratch / "prog/";
  std::string source = scratch / "grey.png";
  std::string out = scratch / "out/";

  TTextRun() {
    fs::create_directories(program);
    fs::create_directories(out);
  }
  // Runs one template with a single text layer over the grey source.
  std::string Run(const std::string& layerKeys, const std::string& options, int& exitCode) {
    fs::remove_all(out);
    fs::create_directories(out);
    const std::string tpl = scratch / "t.wg";
    WriteText(tpl,
              "[L1]\r\nEnabled=1\r\nStyle=0\r\nFontColor=16777215\r\nAlpha=100\r\n"
              "PlaceStyle=0\r\n" +
                  layerKeys);
    return RunCommandText(std::string("'") + IMPRIMO_BATCH_EXE + "' --program-folder " +
                              Quote(program) + " --template " + Quote(tpl) + " --out " +
                              Quote(out) + " --format png " + options + " " + Quote(source) +
                              " 2>&1",
                          &exitCode);
  }
  std::string Output() const { return out + "grey.png"; }
};

// Pixels of an RGBA picture in columns [x0, x1) that are not the grey ground.
int Marked(const std::vector<uint8_t>& rgba, int w, int h, int x0, int x1) {
  int n = 0;
  for (int y = 0; y < h; ++y)
    for (int x = x0; x < x1; ++x) {
      const uint8_t* p = &rgba[(size_t(y) * w + x) * 4];
      n += p[0] != 0x80 || p[1] != 0x80 || p[2] != 0x80;
    }
  return n;
}

TEST(ScriptTextCommand, EmojiArabicAndHugeTexts) {
  if (std::string(IMPRIMO_BATCH_EXE).empty() || !HaveMagick()) GTEST_SKIP() << "no ImageMagick";
  TTextRun run;
  int rc = -1;
  ASSERT_TRUE(HaveTool("convert -size 1200x800 xc:'#808080' " + Quote(run.source)));

  // A camera and sparkles around a studio name: drawn with the name, no
  // warning, also under --strict.
  std::string text = run.Run(
      "Text=\xF0\x9F\x93\xB7 Studio \xE2\x9C\xA8\r\nFontName=DejaVu Sans\r\nFontSize=40\r\n"
      "Position=1\r\n",
      "--strict", rc);
  EXPECT_EQ(rc, 0) << text;
  EXPECT_EQ(text.find("[warn]"), std::string::npos) << text;
  int w = 0, h = 0;
  std::vector<uint8_t> rgba;
  ASSERT_TRUE(MagickRgba(run.Output(), w, h, rgba)) << text;
  ASSERT_EQ(w, 1200);
  EXPECT_GT(Marked(rgba, w, h, 0, 50), 400);    // the camera
  EXPECT_GT(Marked(rgba, w, h, 60, 250), 800);  // "Studio" and the sparkles

  // A right-to-left line with a year, checked against Pillow's layout.
  text = run.Run(
      "Text=\xD8\xAD\xD9\x82\xD9\x88\xD9\x82 \xD8\xA7\xD9\x84\xD8\xB7\xD8\xA8\xD8\xB9 2026\r\n"
      "FontName=Noto Sans Arabic\r\nFontSize=60\r\nPosition=5\r\n",
      "--strict", rc);
  EXPECT_EQ(rc, 0) << text;
  const std::string py = "/usr/bin/python3";
  if (HaveTool(py + " -c 'import sys; from PIL import features; "
                    "sys.exit(not features.check(\"raqm\"))'")) {
    // Mean difference of our ink box from Pillow's rendering of the right
    // line and of the line with the year reversed, both at our em size.
    const std::string script =
        "import sys\n"
        "from PIL import Image, ImageFont, ImageDraw, ImageChops\n"
        "font = ImageFont.truetype(sys.argv[2], 80, layout_engine=ImageFont.Layout.RAQM)\n"
        "def ink(im):\n"
        "    return im.crop(ImageChops.difference(im, Image.new('L', im.size, 128)).getbbox())\n"
        "def ref(t):\n"
        "    im = Image.new('L', (2000, 300), 128)\n"
        "    ImageDraw.Draw(im).text((50, 50), t, font=font, fill=255)\n"
        "    return ink(im)\n"
        "ours = ink(Image.open(sys.argv[1]).convert('L'))\n"
        "def dist(r):\n"
        "    h = ImageChops.difference(ours, r.resize(ours.size)).histogram()\n"
        "    return sum(i * n for i, n in enumerate(h)) / (ours.size[0] * ours.size[1])\n"
        "words = '\\u062d\\u0642\\u0648\\u0642 \\u0627\\u0644\\u0637\\u0628\\u0639 '\n"
        "print(dist(ref(words + '2026')), dist(ref(words + '6202')))\n";
    const std::string scriptPath = run.scratch / "compare.py";
    WriteText(scriptPath, script);
    const std::string got =
        RunCommandText(py + " " + Quote(scriptPath) + " " + Quote(run.Output()) +
                       " /usr/share/fonts/truetype/noto/NotoSansArabic-Regular.ttf 2>&1");
    double right = -1, reversed = -1;
    ASSERT_EQ(std::sscanf(got.c_str(), "%lf %lf", &right, &reversed), 2) << got;
    EXPECT_LT(right * 2, reversed) << got;
    EXPECT_LT(right, 6) << got;
  }

  // 5000 points on 1200 x 800 from the top-left corner: nothing of it shows,
  // so the row warns, and --strict fails it.
  const std::string huge =
      "Text=\xC2\xA9 Studio 2026\r\nFontName=DejaVu Sans\r\nFontSize=5000\r\nPosition=1\r\n";
  text = run.Run(huge, "", rc);
  EXPECT_EQ(rc, 0) << text;
  EXPECT_NE(text.find("[warn] " + run.source +
                      ": layer L1: the text was not drawn: none of it "
                      "falls on the picture"),
            std::string::npos)
      << text;
  text = run.Run(huge, "--strict", rc);
  EXPECT_EQ(rc, 1) << text;
  EXPECT_NE(text.find("[fail]"), std::string::npos) << text;
}

}  // namespace
}  // namespace imprimo::testing
