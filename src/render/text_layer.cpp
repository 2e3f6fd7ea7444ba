#include "render/text_layer.h"

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

// Sets the canvas and a renderer up for the layer and draws it, or, with
// measure set, only works out where it would draw: the first box into
// measure->Box (measure->Drawn stays false when nothing would be drawn).
bool RunTextLayer(TCanvas& canvas, TMarkItem item, const std::string& fileName,
                  TExifSummary summary, int32_t sequence, TTextLayerBox* measure,
                  const TPicture* texture) {
  const TBitmap& bmp = canvas.Bitmap();
  if (!LayerShownOn(item, bmp.Width(), bmp.Height())) return true;
  auto renderer = std::make_unique<TIAFontEx>(&canvas);
  // Every layer starts its own random sequence, so its noise and spray do
  // not depend on which images were drawn before it (or on which thread).
  Randomize();
  try {
    std::u16string text =
        ExpandTextVariables(item.Text, Utf8ToUtf16(fileName), sequence, std::move(summary));

    TFont& font = canvas.Font();
    font.SetName(item.FontName);
    font.SetColor(item.FontColor);
    font.SetSize(item.FontSize);
    font.SetCharSet(item.FontCharSet);
    font.SetStyle(item.FontStyle);
    font.SetPitch(item.FontPitch == 1   ? TFontPitch::fpVariable
                  : item.FontPitch == 2 ? TFontPitch::fpFixed
                                        : TFontPitch::fpDefault);
    ResolveRelativeMargins(item, bmp.Width(), bmp.Height());
    if (const int length = RelativeLength(item, bmp.Width(), bmp.Height()); length > 0) {
      // The font's cell takes the asked height; the pixel lengths of the
      // effects grow or shrink with it from the size the layer was designed
      // at (FontSize).
      const int designed = renderer->TIAFont::TextHeight(u"Hg");
      font.SetHeight(length);
      const int cell = renderer->TIAFont::TextHeight(u"Hg");
      if (designed > 0 && cell > 0)
        ScaleLayerEffects(item, static_cast<double>(cell) / static_cast<double>(designed));
    }
    if (item.PlaceStyle == 2 && int64_t{bmp.Width()} > 2 * int64_t{item.HorzSpace}) {
      int64_t avail = int64_t{bmp.Width()} - 2 * int64_t{item.HorzSpace};
      font.SetSize(static_cast<int>(
          RoundHalfEven(static_cast<double>(avail) / static_cast<double>(text.size() + 1))));
    }
    renderer->SetQuality(0);
    canvas.Brush().Style = TBrushStyle::bsClear;

    TIAEffect& fx = renderer->Effect();
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

    if (text.empty()) return true;
    const int tw = renderer->TextWidth(text);
    const int th = renderer->TextHeight(text);
    if (measure) {
      measure->Tiled = item.PlaceStyle == 1;
      measure->Random = item.PlaceStyle != 1 && item.PlaceStyle != 2 &&
                        (item.PlaceStyle == 3 || item.Position < 1 || item.Position > 9);
    }
    auto out = [&](int x, int y) {
      if (!measure) {
        renderer->TextOut(x, y, text);
      } else if (!measure->Drawn) {
        measure->Drawn = true;
        measure->Box = {x, y, x + tw, y + th};
      }
    };

    switch (item.PlaceStyle) {
      case 1: {
        auto positions =
            TilePositions(bmp.Width(), bmp.Height(), tw, th, item.HorzSpace, item.VertSpace);
        if (positions.empty()) return false;  // too many copies to draw
        for (const TPlacePoint& p : positions) {
          out(p.x, p.y);
          if (measure) break;
        }
        break;
      }
      case 2:
        out(item.HorzSpace, item.VertSpace);
        break;
      default: {
        int position = item.PlaceStyle == 3 ? 0 : item.Position;
        TPlacePoint p = PlaceInImage(bmp.Width(), bmp.Height(), tw, th, position);
        int64_t x = int64_t{p.x} + item.OffsetX, y = int64_t{p.y} + item.OffsetY;
        if (x < INT32_MIN / 2 || x > INT32_MAX / 2 || y < INT32_MIN / 2 || y > INT32_MAX / 2)
          return true;  // far outside the image: nothing to draw
        out(static_cast<int>(x), static_cast<int>(y));
        break;
      }
    }
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

bool DrawTextLayer(TCanvas& canvas, TMarkItem item, const std::string& fileName,
                   TExifSummary summary, int32_t sequence, const TPicture* texture) {
  return RunTextLayer(canvas, std::move(item), fileName, std::move(summary), sequence, nullptr,
                      texture);
}

TTextLayerBox MeasureTextLayer(TBitmap& bitmap, TMarkItem item, const std::string& fileName,
                               TExifSummary summary, int32_t sequence) {
  TTextLayerBox box;
  TCanvas canvas(bitmap);
  if (!RunTextLayer(canvas, std::move(item), fileName, std::move(summary), sequence, &box, nullptr))
    box.Drawn = false;
  return box;
}

bool DrawTextLayer(TBitmap& bitmap, TMarkItem item, const std::string& fileName,
                   TExifSummary summary, int32_t sequence, const TPicture* texture) {
  TCanvas canvas(bitmap);
  return DrawTextLayer(canvas, std::move(item), fileName, std::move(summary), sequence, texture);
}

}  // namespace imprimo
