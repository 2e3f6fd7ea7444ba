#include "render/text_renderer.h"

#include <algorithm>
#include <cmath>
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
  if (!reuse) {
    cachedKey_.reset();
    TSize full;
    mask.Measure(text, full);
    if (full.cx > kMaxMaskSide || full.cy > kMaxMaskSide ||
        int64_t{full.cx} * full.cy > tileLimit_) {
      TextOutInTiles(tx, ty, sx, sy, full, text);
      return;
    }
  }

  if (!reuse) {
    mask.Build(text);
    NoteLeftOut(mask);
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
    NoteInk(cachedShadow_, sx, sy);
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

  NoteInk(mask, tx, ty);
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

namespace {
// Pixels of one tile of a mask drawn in parts, margins included.
constexpr int64_t kTilePixels = int64_t{1} << 22;
constexpr int kTileSide = 8192;
}  // namespace

void TIAFontEx::BuildWindow(std::u16string_view text, TSize full, int x0, int y0, int x1, int y1) {
  TIAEffect& fx = *effect_;
  TIAMask& mask = Mask();
  // A mirrored mask shows the mirrored part of the unmirrored one.
  int rx0 = x0, rx1 = x1, ry0 = y0, ry1 = y1;
  if (fx.HorzMirror()) rx0 = full.cx - x1, rx1 = full.cx - x0;
  if (fx.VertMirror()) ry0 = full.cy - y1, ry1 = full.cy - y0;
  mask.Render(text, {rx1 - rx0, ry1 - ry0}, {-rx0, -ry0});
  NoteLeftOut(mask);
  if (fx.Outline()) mask.Outline();
  if (fx.Spray() > 0) mask.Spray(fx.Spray());
  if (fx.HorzMirror()) mask.MirrorHorz();
  if (fx.VertMirror()) mask.MirrorVert();
}

void TIAFontEx::TextOutInTiles(int tx, int ty, int sx, int sy, TSize full,
                               std::u16string_view text) {
  TCanvas& canvas = *Canvas();
  TIAEffect& fx = *effect_;
  const TIAShadow& sh = fx.Shadow();
  TIAMask& mask = Mask();
  const int W = canvas.Bitmap().Width(), H = canvas.Bitmap().Height();
  // Outline reads one pixel round, spray up to its radius, each blur two.
  const int margin = 1 + fx.Spray() + 2 + 2;
  struct FillReset {
    TIAFontEx& f;
    ~FillReset() { f.fillFull_ = {}, f.fillAt_ = {}; }
  } fillReset{*this};

  for (int pass = sh.Enabled() ? 0 : 1; pass < 2; ++pass) {
    const bool shadow = pass == 0;
    const int64_t px = shadow ? sx : tx, py = shadow ? sy : ty;
    // The part of the box on the canvas.
    const int vx0 = static_cast<int>(std::clamp<int64_t>(-px, 0, full.cx));
    const int vx1 = static_cast<int>(std::clamp<int64_t>(W - px, 0, full.cx));
    const int vy0 = static_cast<int>(std::clamp<int64_t>(-py, 0, full.cy));
    const int vy1 = static_cast<int>(std::clamp<int64_t>(H - py, 0, full.cy));
    if (vx0 < vx1 && vy0 < vy1) {
      const int64_t budget = std::min(kTilePixels, tileLimit_);
      const int side = static_cast<int>(std::clamp<int64_t>(
          static_cast<int64_t>(std::sqrt(static_cast<double>(budget))), 8, kTileSide));
      const int tileW = std::min(vx1 - vx0, side);
      const int tileH = static_cast<int>(
          std::clamp<int64_t>(budget / (tileW + 2 * margin) - 2 * margin, 1, kTileSide));
      for (int y0 = vy0; y0 < vy1; y0 += tileH) {
        const int y1 = std::min(vy1, y0 + tileH);
        for (int x0 = vx0; x0 < vx1; x0 += tileW) {
          const int x1 = std::min(vx1, x0 + tileW);
          const int wx0 = std::max(0, x0 - margin), wy0 = std::max(0, y0 - margin);
          const int wx1 = std::min(full.cx, x1 + margin), wy1 = std::min(full.cy, y1 + margin);
          BuildWindow(text, full, wx0, wy0, wx1, wy1);
          const int blur = shadow ? sh.Blur() : fx.Blur();
          if (blur > 0) mask.Blur(blur);
          mask.Crop(x0 - wx0, y0 - wy0, x1 - x0, y1 - y0);
          const int at_x = static_cast<int>(px + x0), at_y = static_cast<int>(py + y0);
          NoteInk(mask, at_x, at_y);
          if (shadow) {
            Blend().PaintColor(at_x, at_y, mask, (int(fx.Alpha()) * sh.Alpha()) / 100, sh.Color());
            continue;
          }
          fillFull_ = full;
          fillAt_ = {x0, y0};
          const TIATexture& tex = fx.Texture();
          if (tex.Enabled() && !tex.Picture().Empty()) {
            FillTexture();
            if (fx.Noise() > 0) AddNoise(fx.Noise());
            Blend().PaintForeground(at_x, at_y, mask, fx.Alpha());
          } else if (fx.Gradual().Enabled()) {
            FillGradient();
            if (fx.Noise() > 0) AddNoise(fx.Noise());
            Blend().PaintForeground(at_x, at_y, mask, fx.Alpha());
          } else if (fx.Noise() > 0) {
            FillNoise();
            Blend().PaintForeground(at_x, at_y, mask, fx.Alpha());
          } else {
            Blend().PaintColor(at_x, at_y, mask, fx.Alpha(), canvas.Font().Color());
          }
        }
      }
    }
    if (shadow) canvas.Brush().Style = TBrushStyle::bsClear;
  }
}

void TIAFontEx::NoteInk(const TIAMask& mask, int x, int y) {
  if (inkOnCanvas_ || !Canvas()) return;
  const int W = Canvas()->Bitmap().Width(), H = Canvas()->Bitmap().Height();
  const int64_t r0 = std::max<int64_t>(0, -int64_t{y});
  const int64_t r1 = std::min<int64_t>(mask.Height(), int64_t{H} - y);
  const int64_t c0 = std::max<int64_t>(0, -int64_t{x});
  const int64_t c1 = std::min<int64_t>(mask.Width(), int64_t{W} - x);
  for (int64_t r = r0; r < r1 && c0 < c1; ++r) {
    const uint8_t* row = mask.Row(static_cast<int>(r));
    if (std::any_of(row + c0, row + c1, [](uint8_t v) { return v != 0; })) {
      inkOnCanvas_ = true;
      return;
    }
  }
}

void TIAFontEx::NoteLeftOut(const TIAMask& mask) {
  for (char32_t c : mask.LeftOut())
    if (std::find(leftOut_.begin(), leftOut_.end(), c) == leftOut_.end()) leftOut_.push_back(c);
}

void TIAFontEx::FillGradient() {
  TIAMask& mask = Mask();
  TBitmap& fg = Blend().Foreground();
  const int w = mask.Width(), h = mask.Height();
  fg.SetFormatAndSize(TPixelFormat::pf24bit, w, h);
  const int fullW = fillFull_.cx > 0 ? fillFull_.cx : w;
  const int fullH = fillFull_.cy > 0 ? fillFull_.cy : h;
  const TIAGradual& g = effect_->Gradual();
  const TGradualStyle st = g.Style();
  const bool horizontal = st == TGradualStyle::gsLeftToRight ||
                          st == TGradualStyle::gsRightToLeft || st == TGradualStyle::gsCenterToLR;
  const bool centre = st == TGradualStyle::gsCenterToLR || st == TGradualStyle::gsCenterToTB;
  const int b = horizontal ? fullW : fullH;
  const int n = centre ? (b + 1) / 2 : b;
  const bool forward = st == TGradualStyle::gsLeftToRight || st == TGradualStyle::gsTopToBottom;
  TRGB from = ColorToTRGB(forward ? g.StartColor() : g.EndColor());
  TRGB to = ColorToTRGB(forward ? g.EndColor() : g.StartColor());
  // Colour i of the line across the whole box; only the mask's part of the
  // line is made.
  auto colourAt = [&](int64_t i) -> TRGB {
    if (centre && i >= b - n) i = b - 1 - i;  // the second half mirrors the first
    auto mix = [&](int f, int t) {
      return static_cast<uint8_t>(f + static_cast<int>(int64_t{t - f} * i / n));
    };
    return {mix(from.r, to.r), mix(from.g, to.g), mix(from.b, to.b)};
  };
  const int start = horizontal ? fillAt_.x : fillAt_.y;
  std::vector<TRGB> line(size_t(std::max(horizontal ? w : h, 0)));
  for (size_t k = 0; k < line.size(); ++k) line[k] = colourAt(start + int64_t(k));
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
  // The fill of a tile is the part at fillAt_ of the fill of the whole box.
  const int ox = fillAt_.x, oy = fillAt_.y;
  const int fullW = fillFull_.cx > 0 ? fillFull_.cx : w;
  const int fullH = fillFull_.cy > 0 ? fillFull_.cy : h;
  const TRect whole{-ox, -oy, fullW - ox, fullH - oy};
  switch (effect_->Texture().Mode()) {
    case TTextureMode::tmTiled:
      for (int i = oy / ph; i <= (oy + h) / ph; ++i)
        for (int j = ox / pw; j <= (ox + w) / pw; ++j)
          DrawPicture(fg, j * pw - ox, i * ph - oy, pic);
      break;
    case TTextureMode::tmStretched:
      if (pic.IsIcon()) {
        // The icon is set on the window-text colour first, then stretched.
        TBitmap flat(pw, ph, TPixelFormat::pf24bit);
        TCanvas flatCanvas(flat);
        flatCanvas.Brush().Color = clWindowText;
        flatCanvas.FillRect({0, 0, pw, ph});
        DrawPicture(flat, 0, 0, pic);
        fc.StretchDraw(whole, flat);
      } else {
        fc.StretchDraw(whole, pic.Bitmap());
      }
      break;
    case TTextureMode::tmCenter:
      DrawPicture(fg, (fullW - pw) / 2 - ox, (fullH - ph) / 2 - oy, pic);
      break;
    case TTextureMode::tmNormal:
      DrawPicture(fg, -ox, -oy, pic);
      break;
  }
}

}  // namespace imprimo
