#include "render/text_renderer.h"

#include <algorithm>
#include <cstdlib>

#include "platform/random.h"

namespace imprimo {

namespace {
// Installs a turned copy of the canvas font for the life of the guard.
class RotatedFont {
 public:
  RotatedFont(TCanvas& canvas, int angle) : canvas_(canvas), saved_(canvas.Font().LogFont()) {
    if (angle == 0) return;
    active_ = true;
    TLogFont lf = saved_;
    lf.escapement = angle * 10;
    lf.orientation = 0;
    canvas.Font().SetLogFont(lf);
  }
  ~RotatedFont() {
    if (active_) canvas_.Font().SetLogFont(saved_);
  }
  RotatedFont(const RotatedFont&) = delete;
  RotatedFont& operator=(const RotatedFont&) = delete;

 private:
  TCanvas& canvas_;
  TLogFont saved_;
  bool active_ = false;
};

uint8_t Clamp255(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }
}  // namespace

TIAFont::TIAFont(TCanvas* canvas)
    : canvas_(canvas),
      mask_(std::make_unique<TIAMask>(this)),
      blend_(std::make_unique<TIABlend>(this)) {}

TIAFont::~TIAFont() = default;

void TIAFont::TextExtent(std::u16string_view text, TSize& size) { mask_->Measure(text, size); }

int TIAFont::TextWidth(std::u16string_view text) {
  TSize s;
  TextExtent(text, s);
  return s.cx;
}

int TIAFont::TextHeight(std::u16string_view text) {
  TSize s;
  TextExtent(text, s);
  return s.cy;
}

TIAFontEx::TIAFontEx(TCanvas* canvas)
    : TIAFont(canvas), effect_(std::make_unique<TIAEffect>(nullptr)) {}

TIAFontEx::~TIAFontEx() = default;

void TIAFontEx::TextExtent(std::u16string_view text, TSize& size) {
  size = {};
  if (!Canvas()) return;
  {
    RotatedFont rotated(*Canvas(), effect_->Angle());
    TIAFont::TextExtent(text, size);
  }
  const TIAShadow& sh = effect_->Shadow();
  if (sh.Enabled()) {
    size.cx += std::abs(sh.OffsetX());
    size.cy += std::abs(sh.OffsetY());
  }
}

void TIAFontEx::TextOut(int x, int y, std::u16string_view text) {
  TCanvas* canvas = Canvas();
  if (!canvas || text.empty()) return;
  RotatedFont rotated(*canvas, effect_->Angle());
  TIAEffect& fx = *effect_;
  const TIAShadow& sh = fx.Shadow();
  TIAMask& mask = Mask();

  int tx = x, ty = y, sx = x, sy = y;
  if (sh.Enabled()) {
    tx = x + std::max(-sh.OffsetX(), 0);
    ty = y + std::max(-sh.OffsetY(), 0);
    sx = x + std::max<int>(sh.OffsetX(), 0);
    sy = y + std::max<int>(sh.OffsetY(), 0);
  }

  // Brush style is put back however the drawing ends.
  struct BrushGuard {
    TCanvas& c;
    TBrushStyle style;
    ~BrushGuard() { c.Brush().Style = style; }
  } brushGuard{*canvas, canvas->Brush().Style};

  MaskKey key{std::u16string(text),
              canvas->Font().LogFont(),
              mask.Quality(),
              fx.Outline(),
              fx.HorzMirror(),
              fx.VertMirror(),
              sh.Enabled(),
              sh.Blur(),
              fx.Blur()};
  const bool reusable = reuse_ && fx.Spray() == 0;
  const bool reuse = reusable && cachedKey_ && *cachedKey_ == key;
  if (!reuse) cachedKey_.reset();

  if (!reuse) {
    mask.Build(text);
    if (fx.Outline()) mask.Outline();
    if (fx.Spray() > 0) mask.Spray(fx.Spray());
    if (fx.HorzMirror()) mask.MirrorHorz();
    if (fx.VertMirror()) mask.MirrorVert();
  }

  if (sh.Enabled()) {
    if (!reuse) {
      cachedShadow_.Assign(mask);
      if (sh.Blur() > 0) cachedShadow_.Blur(sh.Blur());
    }
    Blend().PaintColor(sx, sy, cachedShadow_, (int(fx.Alpha()) * sh.Alpha()) / 100, sh.Color());
    canvas->Brush().Style = TBrushStyle::bsClear;
  }

  if (reuse) {
    mask.Assign(cachedText_);
  } else {
    if (fx.Blur() > 0) mask.Blur(fx.Blur());
    if (reusable) {
      cachedText_.Assign(mask);
      cachedKey_ = std::move(key);
    }
  }

  const TIATexture& tex = fx.Texture();
  if (tex.Enabled() && !tex.Picture().Empty()) {
    FillTexture();
    if (fx.Noise() > 0) AddNoise(fx.Noise());
    Blend().PaintForeground(tx, ty, mask, fx.Alpha());
  } else if (fx.Gradual().Enabled()) {
    FillGradient();
    if (fx.Noise() > 0) AddNoise(fx.Noise());
    Blend().PaintForeground(tx, ty, mask, fx.Alpha());
  } else if (fx.Noise() > 0) {
    FillNoise();
    Blend().PaintForeground(tx, ty, mask, fx.Alpha());
  } else {
    Blend().PaintColor(tx, ty, mask, fx.Alpha(), canvas->Font().Color());
  }
}

void TIAFontEx::FillGradient() {
  TIAMask& mask = Mask();
  TBitmap& fg = Blend().Foreground();
  const int w = mask.Width(), h = mask.Height();
  fg.SetFormatAndSize(TPixelFormat::pf24bit, w, h);
  const TIAGradual& g = effect_->Gradual();
  const TGradualStyle st = g.Style();
  const bool horizontal = st == TGradualStyle::gsLeftToRight ||
                          st == TGradualStyle::gsRightToLeft || st == TGradualStyle::gsCenterToLR;
  const bool centre = st == TGradualStyle::gsCenterToLR || st == TGradualStyle::gsCenterToTB;
  const int b = horizontal ? w : h;
  const int n = centre ? (b + 1) / 2 : b;
  const bool forward = st == TGradualStyle::gsLeftToRight || st == TGradualStyle::gsTopToBottom;
  TRGB from = ColorToTRGB(forward ? g.StartColor() : g.EndColor());
  TRGB to = ColorToTRGB(forward ? g.EndColor() : g.StartColor());
  std::vector<TRGB> line(size_t(std::max(b, 0)));
  for (int i = 0; i < n; ++i)
    line[i] = {static_cast<uint8_t>(from.r + (to.r - from.r) * i / n),
               static_cast<uint8_t>(from.g + (to.g - from.g) * i / n),
               static_cast<uint8_t>(from.b + (to.b - from.b) * i / n)};
  if (centre)
    for (int m = 0; m < n; ++m) line[b - 1 - m] = line[m];
  for (int r = 0; r < h; ++r) {
    uint8_t* p = fg.ScanLine(r);
    for (int x = 0; x < w; ++x, p += 3) {
      const TRGB& c = horizontal ? line[x] : line[r];
      p[0] = c.b, p[1] = c.g, p[2] = c.r;
    }
  }
}

void TIAFontEx::FillNoise() {
  TIAMask& mask = Mask();
  TBitmap& fg = Blend().Foreground();
  fg.SetFormatAndSize(TPixelFormat::pf24bit, mask.Width(), mask.Height());
  const int n = effect_->Noise();
  TRGB c = ColorToTRGB(Canvas()->Font().Color());
  for (int r = 0; r < fg.Height(); ++r) {
    uint8_t* p = fg.ScanLine(r);
    for (int x = 0; x < fg.Width(); ++x, p += 3) {
      p[2] = Clamp255(c.r + Random(n) - n / 2);
      p[1] = Clamp255(c.g + Random(n) - n / 2);
      p[0] = Clamp255(c.b + Random(n) - n / 2);
    }
  }
}

void TIAFontEx::AddNoise(int amount) {
  TBitmap& fg = Blend().Foreground();
  for (int r = 0; r < fg.Height(); ++r) {
    uint8_t* p = fg.ScanLine(r);
    for (int i = 0; i < fg.Width() * 3; ++i) p[i] = Clamp255(p[i] + Random(amount) - amount / 2);
  }
}

namespace {
// Draws a picture at its own size; an icon's transparent pixels (alpha) let
// the destination show.
void DrawPicture(TBitmap& dst, int x, int y, const TPicture& pic) {
  const TBitmap& src = pic.Bitmap();
  if (!pic.IsIcon() || src.PixelFormat() != TPixelFormat::pf32bit) {
    BitBlt(dst, x, y, src.Width(), src.Height(), src, 0, 0);
    return;
  }
  for (int sy = 0; sy < src.Height(); ++sy) {
    int dy = y + sy;
    if (dy < 0 || dy >= dst.Height()) continue;
    const uint8_t* s = src.ScanLine(sy);
    for (int sx = 0; sx < src.Width(); ++sx) {
      int dx = x + sx;
      if (dx < 0 || dx >= dst.Width()) continue;
      int a = s[4 * sx + 3];
      if (a == 0) continue;
      uint32_t d = dst.PixelRGB(dx, dy);
      auto mix = [a](int sv, int dv) { return (sv * a + dv * (255 - a) + 127) / 255; };
      uint32_t r = mix(s[4 * sx + 2], (d >> 16) & 255), g = mix(s[4 * sx + 1], (d >> 8) & 255),
               b = mix(s[4 * sx], d & 255);
      dst.SetPixelRGB(dx, dy, (r << 16) | (g << 8) | b);
    }
  }
}
}  // namespace

void TIAFontEx::FillTexture() {
  TIAMask& mask = Mask();
  TBitmap& fg = Blend().Foreground();
  const int w = mask.Width(), h = mask.Height();
  fg.SetFormatAndSize(TPixelFormat::pf24bit, w, h);
  TCanvas fc(fg);
  fc.Brush().Style = TBrushStyle::bsSolid;
  fc.Brush().Color = Canvas()->Font().Color();
  fc.FillRect({0, 0, w, h});
  const TPicture& pic = effect_->Texture().Picture();
  if (pic.Empty()) return;
  const int pw = pic.Bitmap().Width(), ph = pic.Bitmap().Height();
  switch (effect_->Texture().Mode()) {
    case TTextureMode::tmTiled:
      for (int i = 0; i <= h / ph; ++i)
        for (int j = 0; j <= w / pw; ++j) DrawPicture(fg, j * pw, i * ph, pic);
      break;
    case TTextureMode::tmStretched:
      if (pic.IsIcon()) {
        // The icon is set on the window-text colour first, then stretched.
        TBitmap flat(pw, ph, TPixelFormat::pf24bit);
        TCanvas flatCanvas(flat);
        flatCanvas.Brush().Color = clWindowText;
        flatCanvas.FillRect({0, 0, pw, ph});
        DrawPicture(flat, 0, 0, pic);
        fc.StretchDraw({0, 0, w, h}, flat);
      } else {
        fc.StretchDraw({0, 0, w, h}, pic.Bitmap());
      }
      break;
    case TTextureMode::tmCenter:
      DrawPicture(fg, (w - pw) / 2, (h - ph) / 2, pic);
      break;
    case TTextureMode::tmNormal:
      DrawPicture(fg, 0, 0, pic);
      break;
  }
}

}  // namespace imprimo
