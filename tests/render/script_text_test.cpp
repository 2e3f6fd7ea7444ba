// Texts beyond plain Latin: right-to-left lines with numbers, colour emoji,
// and layers that put nothing on the picture.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/canvas.h"
#include "platform/font.h"
#include "render/text_layer.h"
#include "render/text_variables.h"

namespace imprimo {
namespace {

TLogFont Face(const char* family, int em) {
  TLogFont lf;
  lf.faceName = family;
  lf.height = -em;
  return lf;
}

// The clusters (code point indexes) of the layout's glyphs from left to
// right, one entry per cluster, in the order of its leftmost glyph.
std::vector<size_t> VisualClusters(const TLogFont& lf, std::u16string_view text) {
  std::vector<TPlacedGlyph> glyphs = TTextLayout(lf, text).Glyphs();
  std::stable_sort(glyphs.begin(), glyphs.end(),
                   [](const TPlacedGlyph& a, const TPlacedGlyph& b) { return a.x < b.x; });
  std::vector<size_t> order;
  for (const TPlacedGlyph& g : glyphs)
    if (std::find(order.begin(), order.end(), g.cluster) == order.end()) order.push_back(g.cluster);
  return order;
}

std::vector<size_t> Range(size_t from, size_t to) {  // from..to inclusive, either way
  std::vector<size_t> out;
  for (size_t i = from;; from < to ? ++i : --i) {
    out.push_back(i);
    if (i == to) break;
  }
  return out;
}

std::vector<size_t> Join(std::initializer_list<std::vector<size_t>> parts) {
  std::vector<size_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Arabic letters join, so a word may shape to fewer glyphs than letters:
// only the order of the clusters that have glyphs is compared.
std::vector<size_t> Present(const std::vector<size_t>& expected, const std::vector<size_t>& got) {
  std::vector<size_t> out;
  for (size_t c : expected)
    if (std::find(got.begin(), got.end(), c) != got.end()) out.push_back(c);
  return out;
}

TEST(ScriptText, RightToLeftLinesKeepNumbersAndPunctuationInOrder) {
  {
    // "© حقوق الطبع 2026": a right-to-left line (its first strong letter is
    // Arabic): the year reads 2026 at the left, the sign stands at the right.
    const std::u16string text =
        u"\u00A9 \u062D\u0642\u0648\u0642 \u0627\u0644\u0637\u0628\u0639 2026";
    const TLogFont lf = Face("Noto Sans Arabic", 60);
    ASSERT_EQ(ResolveFace(lf).family, "Noto Sans Arabic");
    const auto got = VisualClusters(lf, text);
    const auto want = Join({Range(13, 16), Range(12, 0)});
    EXPECT_EQ(got, Present(want, got));
    EXPECT_EQ(got.front(), 13u);  // "2"
    EXPECT_EQ(got.back(), 0u);    // "©"
  }
  {
    // Hebrew with a number: "שלום 123!" reads right to left, 123 in its own
    // order at the left and the "!" at the left end.
    const std::u16string text = u"\u05E9\u05DC\u05D5\u05DD 123!";
    const auto got = VisualClusters(Face("Noto Sans Hebrew", 40), text);
    EXPECT_EQ(got, Join({{8}, Range(5, 7), Range(4, 0)}));
  }
  {
    // A left-to-right line with an Arabic phrase holding a number and
    // punctuation: "Photo: مرحبا 2026, Studio." keeps the Latin parts in
    // place; inside the phrase the number stands left of the word.
    const std::u16string text = u"Photo: \u0645\u0631\u062D\u0628\u0627 2026, Studio.";
    const TLogFont lf = Face("DejaVu Sans", 40);
    const auto got = VisualClusters(lf, text);
    const auto want = Join({Range(0, 6), Range(13, 16), Range(12, 7), Range(17, 25)});
    EXPECT_EQ(got, Present(want, got));
    EXPECT_EQ(got.size(), want.size());  // DejaVu Sans does not join these
  }
  // Arabic-Indic digits keep their order as well: "٢٠٢٦" in an Arabic line.
  const auto digits =
      VisualClusters(Face("Noto Sans Arabic", 40), u"\u0633\u0646\u0629 \u0662\u0660\u0662\u0666");
  EXPECT_EQ(digits.front(), 4u);
  EXPECT_EQ(std::vector<size_t>(digits.begin(), digits.begin() + 4), Range(4, 7));
  // A left-to-right text lays out as it always did.
  EXPECT_EQ(VisualClusters(Face("DejaVu Sans", 30), u"Studio 2026"), Range(0, 10));
}

constexpr uint32_t kGrey = 0x808080;

TBitmap Grey(int w, int h) {
  TBitmap b(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.SetPixelRGB(x, y, kGrey);
  return b;
}

// Pixels changed from the grey ground in columns [x0, x1).
int Changed(const TBitmap& b, int x0, int x1) {
  int n = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = std::max(x0, 0); x < std::min(x1, b.Width()); ++x) n += b.PixelRGB(x, y) != kGrey;
  return n;
}

TMarkItem Layer(const std::u16string& text, const char* family, int size, int position = 5) {
  TMarkItem item;
  item.Style = 0;
  item.Text = text;
  item.FontName = family;
  item.FontSize = size;
  item.FontColor = 0xFFFFFF;
  item.Alpha = 100;
  item.PlaceStyle = 0;
  item.Position = position;
  item.isShadow = false;
  return item;
}

struct TDrawn {
  TBitmap bitmap;
  bool ok = false;
  std::vector<std::string> notes;
  TRect box;
};

TDrawn Draw(const TMarkItem& item, int w = 600, int h = 200) {
  TDrawn d{Grey(w, h)};
  d.ok = DrawTextLayer(d.bitmap, item, "a.jpg", {}, -1, nullptr, &d.notes);
  TBitmap scratch = Grey(w, h);
  d.box = MeasureTextLayer(scratch, item, "a.jpg", {}, -1).Box;
  return d;
}

TEST(ScriptText, ColourEmojiAreDrawnWithTheRestOfTheLayer) {
  // The sparkles exist only in the colour face here.
  ASSERT_EQ(FallbackFamilyFor(Face("DejaVu Sans", 20), U'\u2728'), "Noto Color Emoji");
  // A camera before the studio name and sparkles after it, in a face that
  // has neither: both come from other faces and are drawn.
  const TDrawn d = Draw(Layer(u"\U0001F4F7 Studio \u2728", "DejaVu Sans", 40));
  EXPECT_TRUE(d.ok);
  EXPECT_TRUE(d.notes.empty()) << d.notes.front();
  const int w = d.box.Right - d.box.Left;
  ASSERT_GT(w, 100);
  // The camera fills much of the first em and the sparkles the last.
  const int em = 53;  // 40 points
  EXPECT_GT(Changed(d.bitmap, d.box.Left, d.box.Left + em), em * em / 5);
  EXPECT_GT(Changed(d.bitmap, d.box.Right - em, d.box.Right), em * em / 10);
  EXPECT_GT(Changed(d.bitmap, d.box.Left + em, d.box.Right - em), 500);  // "Studio"

  // The whole layer in the colour face itself: the letters it lacks come
  // from another face, the camera and sparkles from its own bitmaps.
  const TDrawn own = Draw(Layer(u"\U0001F4F7 Studio \u2728", "Noto Color Emoji", 40));
  EXPECT_TRUE(own.ok);
  EXPECT_TRUE(own.notes.empty()) << own.notes.front();
  EXPECT_GT(Changed(own.bitmap, own.box.Left, own.box.Left + em), em * em / 5);
  EXPECT_GT(Changed(own.bitmap, own.box.Right - em, own.box.Right), em * em / 10);
  // The camera's inner lines show: the lens is not one filled blob, so the
  // coverage inside the camera varies.
  std::vector<uint32_t> shades;
  for (int y = own.box.Top; y < own.box.Bottom; ++y)
    for (int x = own.box.Left; x < own.box.Left + em; ++x)
      if (own.bitmap.PixelRGB(x, y) != kGrey) shades.push_back(own.bitmap.PixelRGB(x, y));
  std::sort(shades.begin(), shades.end());
  shades.erase(std::unique(shades.begin(), shades.end()), shades.end());
  EXPECT_GT(shades.size(), 20u);

  // Drawn as coverage in the text colour: the colour glyph's pixels are
  // white over grey, never the emoji's own colours.
  for (const TBitmap* b : {&d.bitmap, &own.bitmap})
    for (int y = 0; y < b->Height(); ++y)
      for (int x = 0; x < b->Width(); ++x) {
        const uint32_t p = b->PixelRGB(x, y), r = p >> 16, g = (p >> 8) & 255;
        ASSERT_TRUE(r == g && g == (p & 255) && r >= 0x80) << x << "," << y;
      }

  // Far off the target a colour glyph draws nothing, and no coordinate
  // overflows on the way.
  std::vector<uint8_t> grey(64 * 64);
  TGreyTarget target{grey.data(), 64, 64, 0, 64};
  const TTextLayout camera(Face("Noto Color Emoji", 40), u"\U0001F4F7");
  EXPECT_TRUE(camera.Draw(target, -1e12, 1e12));
  EXPECT_TRUE(camera.Draw(target, 1e12, -1e12));
  EXPECT_EQ(std::count(grey.begin(), grey.end(), 0), 64 * 64);
  EXPECT_TRUE(camera.Draw(target, 4, 4));
  EXPECT_GT(64 * 64 - std::count(grey.begin(), grey.end(), 0), 500);

  // Turned, the emoji stays inside the measured box.
  TMarkItem turned = Layer(u"\U0001F4F7\u2728", "DejaVu Sans", 40);
  turned.Angle = 30;
  const TDrawn t = Draw(turned, 300, 300);
  EXPECT_TRUE(t.notes.empty());
  EXPECT_GT(Changed(t.bitmap, 0, 300), 1000);
  EXPECT_EQ(Changed(t.bitmap, 0, t.box.Left) + Changed(t.bitmap, t.box.Right, 300), 0);
}

TEST(ScriptText, ALayerThatPutsNothingOnThePictureSaysSo) {
  // 5000 points on 1200 x 800: from the top-left corner only the space above
  // the letters falls on the picture.
  const TDrawn corner = Draw(Layer(u"\u00A9 Studio 2026", "DejaVu Sans", 5000, 1), 1200, 800);
  EXPECT_EQ(Changed(corner.bitmap, 0, 1200), 0);
  ASSERT_EQ(corner.notes.size(), 1u);
  EXPECT_NE(corner.notes[0].find("none of it falls on the picture"), std::string::npos);
  // Centred, part of it shows: no warning.
  const TDrawn centre = Draw(Layer(u"\u00A9 Studio 2026", "DejaVu Sans", 5000, 5), 1200, 800);
  EXPECT_GT(Changed(centre.bitmap, 0, 1200), 0);
  EXPECT_TRUE(centre.notes.empty());
  // Blanks have nothing to miss; an offset beyond the picture misses it.
  EXPECT_TRUE(Draw(Layer(u"   ", "DejaVu Sans", 40)).notes.empty());
  TMarkItem away = Layer(u"Studio", "DejaVu Sans", 40, 1);
  away.OffsetX = 2000000000;
  EXPECT_EQ(Draw(away).notes.size(), 1u);
  // Beyond the largest size the renderer draws, the layer says at what size
  // it was drawn.
  const TDrawn huge = Draw(Layer(u"S", "DejaVu Sans", 20000, 5), 400, 400);
  ASSERT_FALSE(huge.notes.empty());
  EXPECT_NE(huge.notes[0].find("too large to draw at its size"), std::string::npos);
}

uint32_t Be32(const std::string& b, size_t at) {
  return uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 |
         uint32_t(uint8_t(b[at + 2])) << 8 | uint8_t(b[at + 3]);
}
uint16_t Be16(const std::string& b, size_t at) {
  return uint16_t(uint8_t(b[at]) << 8 | uint8_t(b[at + 1]));
}

// Byte offset of an sfnt table, or 0.
size_t TableOffset(const std::string& font, const char* tag) {
  const uint16_t tables = Be16(font, 4);
  for (size_t i = 0; i < tables; ++i) {
    const size_t rec = 12 + 16 * i;
    if (font.compare(rec, 4, tag) == 0) return Be32(font, rec + 8);
  }
  return 0;
}

// A copy of DejaVu Sans named "Broken Sans" whose "Q" has an outline no
// rasteriser can read (a contour count far beyond its data), made known to
// the font lookup of this process.
bool InstallBrokenFace(const std::string& folder) {
  const std::string file = ResolveFace(Face("DejaVu Sans", 20)).file;
  std::ifstream in(file, std::ios::binary);
  std::string font((std::istreambuf_iterator<char>(in)), {});
  if (font.size() < 12) return false;
  // The family in the name table, UTF-16 and 8-bit records alike.
  auto rename = [&](const std::string& from, const std::string& to) {
    for (size_t at = font.find(from); at != std::string::npos; at = font.find(from, at + 1))
      font.replace(at, to.size(), to);
  };
  rename("DejaVu Sans", "Broken Sans");
  std::string wideFrom, wideTo;
  for (char c : std::string("DejaVu Sans")) wideFrom += std::string(1, '\0') + c;
  for (char c : std::string("Broken Sans")) wideTo += std::string(1, '\0') + c;
  rename(wideFrom, wideTo);
  // The glyph of "Q" through FreeType's own character map.
  FT_Library lib = nullptr;
  FT_Face face = nullptr;
  if (FT_Init_FreeType(&lib) != 0) return false;
  unsigned gid = 0;
  if (FT_New_Face(lib, file.c_str(), 0, &face) == 0) {
    gid = FT_Get_Char_Index(face, 'Q');
    FT_Done_Face(face);
  }
  FT_Done_FreeType(lib);
  const size_t head = TableOffset(font, "head"), loca = TableOffset(font, "loca");
  const size_t glyf = TableOffset(font, "glyf");
  if (gid == 0 || !head || !loca || !glyf) return false;
  const bool longOffsets = Be16(font, head + 50) != 0;
  const size_t at =
      glyf + (longOffsets ? Be32(font, loca + 4 * gid) : 2u * Be16(font, loca + 2 * gid));
  font[at] = 0x7F;  // numberOfContours = 0x7FFF
  font[at + 1] = char(0xFF);
  const std::string path = folder + "BrokenSans.ttf";
  std::ofstream(path, std::ios::binary) << font;
  return FcConfigAppFontAddFile(nullptr, reinterpret_cast<const FcChar8*>(path.c_str())) == FcTrue;
}

TEST(ScriptText, AGlyphThatCannotBeDrawnIsLeftOutAndNamed) {
  const std::string folder =
      (std::filesystem::temp_directory_path() / ("imprimo-broken-" + std::to_string(::getpid())))
          .string() +
      "/";
  std::filesystem::create_directories(folder);
  ASSERT_TRUE(InstallBrokenFace(folder));
  ASSERT_EQ(ResolveFace(Face("Broken Sans", 20)).family, "Broken Sans");
  const TDrawn d = Draw(Layer(u"SQS", "Broken Sans", 40, 1));
  std::filesystem::remove_all(folder);
  EXPECT_TRUE(d.ok);
  ASSERT_EQ(d.notes.size(), 1u);
  EXPECT_EQ(d.notes[0], "the character U+0051 (Q) has no glyph that can be drawn and was left out");
  // Both S are drawn, with the Q's place kept empty between them.
  const TTextLayout layout(Face("Broken Sans", 53), u"SQS");
  ASSERT_EQ(layout.Undrawable(), std::vector<char32_t>{U'Q'});
  const std::vector<TPlacedGlyph> glyphs = layout.Glyphs();
  ASSERT_EQ(glyphs.size(), 2u);
  const int s = GetTextExtentPoint(Face("Broken Sans", 53), u"S").cx, second = int(glyphs[1].x);
  ASSERT_GT(second - s, 20);  // the width of the Q
  EXPECT_GT(Changed(d.bitmap, 0, s), 100);
  EXPECT_EQ(Changed(d.bitmap, s + 3, second - 3), 0);
  EXPECT_GT(Changed(d.bitmap, second, second + s), 100);
}

TEST(ScriptText, AFilledInTextIsCutToTheLayerLimit) {
  // 400 file-name variables of a 200-character name fill in to 80,000
  // characters: the layer draws the first 65536 and says so.
  std::u16string text;
  for (int i = 0; i < 400; ++i) text += u"{$FX}";
  TMarkItem item = Layer(text, "DejaVu Sans", 8, 1);
  TBitmap b = Grey(300, 40);
  std::vector<std::string> notes;
  EXPECT_TRUE(DrawTextLayer(b, item, std::string(196, 'n') + ".jpg", {}, -1, nullptr, &notes));
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_NE(notes[0].find("once its variables are filled in"), std::string::npos);
  EXPECT_GT(Changed(b, 0, 300), 100);
  std::u16string exact(kMaxLayerTextChars - 1, u'x');
  exact += u"\U0001F4F7";
  EXPECT_FALSE(CutLayerText(exact));
  exact += u"y";
  EXPECT_TRUE(CutLayerText(exact));
  EXPECT_EQ(exact.substr(exact.size() - 2), u"\U0001F4F7");
}

}  // namespace
}  // namespace imprimo
