#include "render/text_layer.h"

#include <cstdio>
#include <memory>

#include "platform/numeric.h"
#include "platform/random.h"
#include "platform/text.h"
#include "render/relative_layout.h"
#include "render/text_renderer.h"

namespace imprimo {

TPlacePoint PlaceInImage(int W, int H, int w, int h, int position) {
  Randomize();
  const int dx = W - w, dy = H - h;
  switch (position) {
    case 1:
      return {0, 0};
    case 2:
      return {dx / 2, 0};
    case 3:
      return {dx, 0};
    case 4:
      return {0, dy / 2};
    case 5:
      return {dx / 2, dy / 2};
    case 6:
      return {dx, dy / 2};
    case 7:
      return {0, dy};
    case 8:
      return {dx / 2, dy};
    case 9:
      return {dx, dy};
    default: {
      int x = Random(dx);
      int y = Random(dy);
      return {x, y};
    }
  }
}

std::vector<TPlacePoint> TilePositions(int W, int H, int w, int h, int horzSpace, int vertSpace) {
  const int64_t stepX = int64_t{w} + horzSpace;
  const int64_t stepY = int64_t{h} + vertSpace;
  // A step that does not advance would tile forever: one copy instead.
  if (stepX <= 0 || stepY <= 0) return {{0, 0}};
  const int64_t cols = W > 0 ? (W + stepX - 1) / stepX : 0;
  const int64_t rows = H > 0 ? (H + stepY - 1) / stepY : 0;
  if (cols * rows > kMaxTileCopies) return {};
  std::vector<TPlacePoint> out;
  out.reserve(static_cast<size_t>(cols * rows));
  for (int64_t y = 0; y < H; y += stepY)
    for (int64_t x = 0; x < W; x += stepX)
      out.push_back({static_cast<int>(x), static_cast<int>(y)});
  return out;
}

namespace {

std::u16string Utf32ToUtf16(char32_t c) {
  if (c < 0x10000) return std::u16string(1, static_cast<char16_t>(c));
  c -= 0x10000;
  return {static_cast<char16_t>(0xD800 + (c >> 10)), static_cast<char16_t>(0xDC00 + (c & 0x3FF))};
}

std::string CharacterName(char32_t c) {
  char code[16];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
  std::string name = code;
  // Controls and lone surrogates are named by their code alone.
  if (c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0) && !(c >= 0xD800 && c <= 0xDFFF) &&
      c <= 0x10FFFF)
    name += " (" + Utf16ToUtf8(Utf32ToUtf16(c)) + ")";
  return name;
}

// A size beyond the renderer's largest em is drawn at that em instead.
void NoteSizeLimit(const TLogFont& font, int scale, std::vector<std::string>& notes) {
  const int64_t em = -int64_t{font.height} * scale;
  if (font.height >= 0 || em <= kMaxFontEmPixels) return;
  notes.push_back("the text is too large to draw at its size; it is drawn at " +
                  std::to_string(kMaxFontEmPixels / scale) + " pixels instead of " +
                  std::to_string(-int64_t{font.height}));
}

// Warnings for what the renderer could not put on the picture: characters
// without a drawable glyph, and a text none of whose ink fell on it.
void NoteWhatWasLeftOut(const TIAFontEx& renderer, const TLogFont& font, std::u16string_view text,
                        std::vector<std::string>& notes) {
  for (char32_t c : renderer.LeftOut())
    notes.push_back("the character " + CharacterName(c) +
                    " has no glyph that can be drawn and was left out");
  if (renderer.InkOnCanvas()) return;
  // A text of blanks has no ink to miss.
  if (TTextLayout(font, text).InkBox().empty) return;
  notes.push_back(
      "the text was not drawn: none of it falls on the picture (too large, or placed outside "
      "it)");
}

// The layer's text with its variables filled in, cut to the longest drawn.
std::u16string LayerText(const TMarkItem& item, const std::string& fileName, int32_t sequence,
                         TExifSummary summary, std::vector<std::string>* notes) {
  std::u16string text =
      ExpandTextVariables(item.Text, Utf8ToUtf16(fileName), sequence, std::move(summary));
  if (CutLayerText(text) && notes)
    notes->push_back("the text is longer than " + std::to_string(kMaxLayerTextChars) +
                     " characters once its variables are filled in; only its first " +
                     std::to_string(kMaxLayerTextChars) + " are drawn");
  return text;
}

// Gives the canvas the layer's font at the size it is drawn at on a W x H
// picture; margins given relative to the picture become pixels in item, and
// the effects of a layer sized relative to it grow or shrink with the font.
void SetLayerFont(TCanvas& canvas, TIAFontEx& renderer, TMarkItem& item, std::u16string_view text,
                  int W, int H) {
  TFont& font = canvas.Font();
  font.SetName(item.FontName);
  font.SetColor(item.FontColor);
  font.SetSize(item.FontSize);
  font.SetCharSet(item.FontCharSet);
  font.SetStyle(item.FontStyle);
  font.SetPitch(item.FontPitch == 1   ? TFontPitch::fpVariable
                : item.FontPitch == 2 ? TFontPitch::fpFixed
                                      : TFontPitch::fpDefault);
  ResolveRelativeMargins(item, W, H);
  if (const int length = RelativeLength(item, W, H); length > 0) {
    // The font's cell takes the asked height; the pixel lengths of the
    // effects grow or shrink with it from the size the layer was designed
    // at (FontSize).
    const int designed = renderer.TIAFont::TextHeight(u"Hg");
    font.SetHeight(length);
    const int cell = renderer.TIAFont::TextHeight(u"Hg");
    if (designed > 0 && cell > 0)
      ScaleLayerEffects(item, static_cast<double>(cell) / static_cast<double>(designed));
  }
  if (item.PlaceStyle == 2 && int64_t{W} > 2 * int64_t{item.HorzSpace}) {
    int64_t avail = int64_t{W} - 2 * int64_t{item.HorzSpace};
    font.SetSize(static_cast<int>(
        RoundHalfEven(static_cast<double>(avail) / static_cast<double>(text.size() + 1))));
  }
}

// Hands the layer's shadow, effects, gradient and texture to the renderer.
void SetLayerEffects(TIAFontEx& renderer, const TMarkItem& item, const TPicture* texture) {
  TIAEffect& fx = renderer.Effect();
  TIAShadow& sh = fx.Shadow();
  sh.SetEnabled(item.isShadow);
  sh.SetBlur(static_cast<TBlurStrength>(item.ShadowBlur));
  sh.SetColor(item.ShadowColor);
  sh.SetAlpha(static_cast<TAlpha>(item.ShadowAlpha));
  sh.SetOffsetX(static_cast<TOffset>(item.ShadowOffsetX));
  sh.SetOffsetY(static_cast<TOffset>(item.ShadowOffsetY));
  fx.SetBlur(static_cast<TBlurStrength>(item.Blur));
  fx.SetAlpha(static_cast<TAlpha>(item.Alpha));
  fx.SetAngle(static_cast<TAngle>(item.Angle));
  fx.SetNoise(static_cast<uint8_t>(item.Noise));
  fx.SetSpray(static_cast<TSprayRange>(item.Spray));
  fx.SetOutline(item.Outline);
  fx.SetHorzMirror(item.HorzMirror);
  fx.SetVertMirror(item.VertMirror);
  TIAGradual& gradient = fx.Gradual();
  gradient.SetEnabled(item.Gradient);
  gradient.SetStyle(static_cast<TGradualStyle>(item.GradientStyle <= 5 ? item.GradientStyle : 0));
  gradient.SetStartColor(item.GradientStartColor);
  gradient.SetEndColor(item.GradientEndColor);
  if (texture && !texture->Empty()) {
    TIATexture& tex = fx.Texture();
    tex.SetPicture(*texture);
    tex.SetMode(static_cast<TTextureMode>(item.TextureMode <= 3 ? item.TextureMode : 0));
    tex.SetEnabled(true);
  }
}

// Calls out(x, y) for the top-left corner of every copy of a tw x th text
// box the layer places on a W x H picture (only the first while out says
// so by returning false). False when a tiling would need too many copies.
template <typename TOut>
bool PlaceTextCopies(const TMarkItem& item, int W, int H, int tw, int th, TOut&& out) {
  switch (item.PlaceStyle) {
    case 1: {
      const auto positions = TilePositions(W, H, tw, th, item.HorzSpace, item.VertSpace);
      if (positions.empty()) return false;  // too many copies to draw
      for (const TPlacePoint& p : positions)
        if (!out(p.x, p.y)) break;
      return true;
    }
    case 2:
      out(item.HorzSpace, item.VertSpace);
      return true;
    default: {
      const int position = item.PlaceStyle == 3 ? 0 : item.Position;
      const TPlacePoint p = PlaceInImage(W, H, tw, th, position);
      const int64_t x = int64_t{p.x} + item.OffsetX, y = int64_t{p.y} + item.OffsetY;
      // Far outside the image there is nothing to draw.
      if (x >= INT32_MIN / 2 && x <= INT32_MAX / 2 && y >= INT32_MIN / 2 && y <= INT32_MAX / 2)
        out(static_cast<int>(x), static_cast<int>(y));
      return true;
    }
  }
}

// Sets the canvas and a renderer up for the layer and draws it, or, with
// measure set, only works out where it would draw: the first box into
// measure->Box (measure->Drawn stays false when nothing would be drawn).
bool RunTextLayer(TCanvas& canvas, TMarkItem item, const std::string& fileName,
                  TExifSummary summary, int32_t sequence, TTextLayerBox* measure,
                  const TPicture* texture, std::vector<std::string>* notes) {
  const int W = canvas.Bitmap().Width(), H = canvas.Bitmap().Height();
  if (!LayerShownOn(item, W, H)) return true;
  auto renderer = std::make_unique<TIAFontEx>(&canvas);
  // Every layer starts its own random sequence, so its noise and spray do
  // not depend on which images were drawn before it (or on which thread).
  Randomize();
  try {
    const std::u16string text = LayerText(item, fileName, sequence, std::move(summary), notes);
    SetLayerFont(canvas, *renderer, item, text, W, H);
    renderer->SetQuality(0);
    canvas.Brush().Style = TBrushStyle::bsClear;
    if (notes) NoteSizeLimit(canvas.Font().LogFont(), renderer->Mask().Scale(), *notes);
    SetLayerEffects(*renderer, item, texture);

    if (text.empty()) return true;
    const int tw = renderer->TextWidth(text);
    const int th = renderer->TextHeight(text);
    if (measure) {
      measure->Tiled = item.PlaceStyle == 1;
      measure->Random = item.PlaceStyle != 1 && item.PlaceStyle != 2 &&
                        (item.PlaceStyle == 3 || item.Position < 1 || item.Position > 9);
    }
    // Draws a copy, or records the first box; true while more copies are wanted.
    auto out = [&](int x, int y) {
      if (!measure) {
        renderer->TextOut(x, y, text);
        return true;
      }
      if (!measure->Drawn) {
        measure->Drawn = true;
        measure->Box = {x, y, x + tw, y + th};
      }
      return false;
    };
    if (!PlaceTextCopies(item, W, H, tw, th, out)) return false;
    if (notes) NoteWhatWasLeftOut(*renderer, canvas.Font().LogFont(), text, *notes);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

bool DrawTextLayer(TCanvas& canvas, TMarkItem item, const std::string& fileName,
                   TExifSummary summary, int32_t sequence, const TPicture* texture,
                   std::vector<std::string>* notes) {
  return RunTextLayer(canvas, std::move(item), fileName, std::move(summary), sequence, nullptr,
                      texture, notes);
}

TTextLayerBox MeasureTextLayer(TBitmap& bitmap, TMarkItem item, const std::string& fileName,
                               TExifSummary summary, int32_t sequence) {
  TTextLayerBox box;
  TCanvas canvas(bitmap);
  if (!RunTextLayer(canvas, std::move(item), fileName, std::move(summary), sequence, &box, nullptr,
                    nullptr))
    box.Drawn = false;
  return box;
}

bool DrawTextLayer(TBitmap& bitmap, TMarkItem item, const std::string& fileName,
                   TExifSummary summary, int32_t sequence, const TPicture* texture,
                   std::vector<std::string>* notes) {
  TCanvas canvas(bitmap);
  return DrawTextLayer(canvas, std::move(item), fileName, std::move(summary), sequence, texture,
                       notes);
}

}  // namespace imprimo
