#include "platform/font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_BBOX_H
#include FT_TRUETYPE_TABLES_H
#include <hb-ft.h>
#include <hb.h>
#include <unicode/ubidi.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <numbers>
#include <optional>
#include <unordered_map>

#include "platform/numeric.h"

namespace imprimo {
namespace {

// One loaded face with the metrics the layout needs, in font units.
struct FaceEntry {
  FT_Face ft = nullptr;
  hb_face_t* hb = nullptr;
  int upem = 2048;
  int winAscent = 0, winDescent = 0;
  int avgCharWidth = 0;
  int underlinePos = 0, underlineThick = 0;  // top of the line, above the baseline
  int strikePos = 0, strikeSize = 0;
  std::string family;
  std::string file;
  std::unordered_map<unsigned, bool> hasOutline;  // glyphs probed for an outline so far
};

// A font request resolved to a face plus the faces to fall back on.
struct Resolved {
  FaceEntry* primary = nullptr;
  bool syntheticBold = false;
  bool syntheticItalic = false;
  bool wantBold = false;
  bool wantItalic = false;
  struct Candidate {
    std::string file;
    int index = 0;
    int weight = FC_WEIGHT_REGULAR;
    bool roman = true;
    FcCharSet* charset = nullptr;  // owned
    FaceEntry* face = nullptr;     // loaded on first use
  };
  std::vector<Candidate> fallbacks;
  std::unordered_map<char32_t, int> fallbackOf;  // -1: no face has it
};

class FontSystem {
 public:
  static FontSystem& Get() {
    static FontSystem instance;
    return instance;
  }
  std::mutex& Mutex() { return mutex_; }
  FT_Library Library() const { return library_; }

  Resolved& Resolve(const TLogFont& font);
  FaceEntry* LoadFace(const std::string& file, int index);
  // Index into r.fallbacks of a face that has the code point, or -1.
  int FallbackFor(Resolved& r, char32_t cp);

 private:
  FontSystem() {
    FT_Init_FreeType(&library_);
    FcInit();
  }
  // Faces live for the whole process and are released at its exit.
  ~FontSystem() {
    for (auto& [key, r] : resolved_)
      for (auto& c : r->fallbacks)
        if (c.charset) FcCharSetDestroy(c.charset);
    resolved_.clear();
    for (auto& [key, f] : faces_) {
      if (!f) continue;
      if (f->hb) hb_face_destroy(f->hb);
      FT_Done_Face(f->ft);
    }
    faces_.clear();
    FT_Done_FreeType(library_);
    // No FcFini: the toolkit of the windows shares fontconfig and may still
    // hold its caches when this runs; finishing it here aborts the process
    // at exit.
  }

  std::mutex mutex_;
  FT_Library library_ = nullptr;
  std::map<std::pair<std::string, int>, std::unique_ptr<FaceEntry>> faces_;
  std::map<std::string, std::unique_ptr<Resolved>> resolved_;
};

std::string FcString(FcPattern* p, const char* object) {
  FcChar8* s = nullptr;
  if (FcPatternGetString(p, object, 0, &s) == FcResultMatch && s)
    return reinterpret_cast<const char*>(s);
  return {};
}
int FcInt(FcPattern* p, const char* object, int def) {
  int v = def;
  if (FcPatternGetInteger(p, object, 0, &v) != FcResultMatch) return def;
  return v;
}

bool SameAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

FcFontSet* SortFonts(const std::string& family, bool bold, bool italic, bool mono) {
  FcPattern* p = FcPatternCreate();
  FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(p, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(p, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  if (mono) FcPatternAddInteger(p, FC_SPACING, FC_MONO);
  FcConfigSubstitute(nullptr, p, FcMatchPattern);
  FcDefaultSubstitute(p);
  FcResult result;
  FcFontSet* set = FcFontSort(nullptr, p, FcTrue, nullptr, &result);
  FcPatternDestroy(p);
  if (set && set->nfont == 0) {
    FcFontSetDestroy(set);
    return nullptr;
  }
  return set;
}

FaceEntry* FontSystem::LoadFace(const std::string& file, int index) {
  auto key = std::make_pair(file, index);
  auto it = faces_.find(key);
  if (it != faces_.end()) return it->second.get();
  FT_Face face = nullptr;
  if (FT_New_Face(library_, file.c_str(), index, &face) != 0 || !face) {
    faces_[key] = nullptr;
    return nullptr;
  }
  auto e = std::make_unique<FaceEntry>();
  e->ft = face;
  e->file = file;
  e->family = face->family_name ? face->family_name : "";
  e->hb = hb_ft_face_create_referenced(face);
  e->upem = face->units_per_EM > 0 ? face->units_per_EM : 2048;
  auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
    e->winAscent = os2->usWinAscent;
    e->winDescent = os2->usWinDescent;
    e->avgCharWidth = os2->xAvgCharWidth;
    e->strikePos = os2->yStrikeoutPosition;
    e->strikeSize = os2->yStrikeoutSize;
  } else {
    e->winAscent = face->ascender;
    e->winDescent = -face->descender;
  }
  if (e->winAscent + e->winDescent <= 0) {
    e->winAscent = e->upem * 4 / 5;
    e->winDescent = e->upem / 5;
  }
  if (e->strikeSize <= 0) {
    e->strikePos = e->upem * 26 / 100;
    e->strikeSize = std::max(1, e->upem / 20);
  }
  e->underlinePos = face->underline_position;
  e->underlineThick = face->underline_thickness;
  if (e->underlineThick <= 0) {
    e->underlinePos = -e->upem / 10;
    e->underlineThick = std::max(1, e->upem / 20);
  }
  auto* raw = e.get();
  faces_[key] = std::move(e);
  return raw;
}

Resolved& FontSystem::Resolve(const TLogFont& font) {
  bool bold = font.weight >= 600;
  bool mono = (font.pitchAndFamily & 3) == FIXED_PITCH;
  std::string family = font.faceName.empty() ? std::string("sans-serif") : font.faceName;
  std::string key =
      family + '\x01' + (bold ? 'b' : 'n') + (font.italic ? 'i' : 'n') + (mono ? 'm' : 'v');
  auto it = resolved_.find(key);
  if (it != resolved_.end()) return *it->second;

  auto r = std::make_unique<Resolved>();
  r->wantBold = bold;
  r->wantItalic = font.italic;
  FcFontSet* set = SortFonts(family, bold, font.italic, mono);
  if (set && mono) {
    // A fixed pitch asks for a monospaced face unless the named family itself
    // is there; the family name wins over the pitch when it exists.
    FcPattern* first = set->fonts[0];
    if (FcInt(first, FC_SPACING, FC_PROPORTIONAL) != FC_MONO &&
        !SameAscii(FcString(first, FC_FAMILY), family)) {
      FcFontSetDestroy(set);
      set = SortFonts("monospace", bold, font.italic, true);
    }
  }
  if (!set) set = SortFonts("sans-serif", bold, font.italic, false);
  if (set) {
    for (int i = 0; i < set->nfont; ++i) {
      FcPattern* p = set->fonts[i];
      Resolved::Candidate c;
      c.file = FcString(p, FC_FILE);
      c.index = FcInt(p, FC_INDEX, 0);
      c.weight = FcInt(p, FC_WEIGHT, FC_WEIGHT_REGULAR);
      c.roman = FcInt(p, FC_SLANT, FC_SLANT_ROMAN) == FC_SLANT_ROMAN;
      FcCharSet* cs = nullptr;
      if (FcPatternGetCharSet(p, FC_CHARSET, 0, &cs) == FcResultMatch && cs)
        c.charset = FcCharSetCopy(cs);
      if (c.file.empty()) continue;
      if (!r->primary) {
        r->primary = LoadFace(c.file, c.index);
        if (!r->primary) continue;
        c.face = r->primary;
        r->syntheticBold = bold && c.weight < FC_WEIGHT_DEMIBOLD;
        r->syntheticItalic = font.italic && FcInt(p, FC_SLANT, FC_SLANT_ROMAN) == FC_SLANT_ROMAN;
      }
      r->fallbacks.push_back(std::move(c));
    }
    FcFontSetDestroy(set);
  }
  auto* raw = r.get();
  resolved_[key] = std::move(r);
  return *raw;
}

int FontSystem::FallbackFor(Resolved& r, char32_t cp) {
  auto it = r.fallbackOf.find(cp);
  if (it != r.fallbackOf.end()) return it->second;
  int found = -1;
  for (size_t i = 1; i < r.fallbacks.size(); ++i) {
    auto& c = r.fallbacks[i];
    if (c.charset && !FcCharSetHasChar(c.charset, cp)) continue;
    if (!c.face) c.face = LoadFace(c.file, c.index);
    if (c.face && FT_Get_Char_Index(c.face->ft, cp) != 0) {
      found = static_cast<int>(i);
      break;
    }
  }
  r.fallbackOf[cp] = found;
  return found;
}

std::u32string DecodeUtf16(std::u16string_view s) {
  std::u32string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char16_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] <= 0xDFFF) {
      out.push_back(0x10000 + ((char32_t(c) - 0xD800) << 10) + (s[i + 1] - 0xDC00));
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      out.push_back(0xFFFD);  // unpaired surrogate
    } else {
      out.push_back(c);
    }
  }
  return out;
}

bool NeedsNoFace(char32_t cp) {
  return cp < 0x20 || (cp >= 0x7F && cp < 0xA0) || (cp >= 0x200B && cp <= 0x200F) ||
         (cp >= 0xFE00 && cp <= 0xFE0F);
}

// Outline coordinates put canvas column c at x = c and canvas row r at
// y = -r (y up), in 26.6 units. The rasteriser only takes coordinates within
// +-2^18 pixels, so each glyph is moved by whole pixels next to the origin
// while it is drawn; the move depends on the glyph alone, never on the band,
// so drawing band by band gives the same coverage as drawing at once.
constexpr FT_Pos kRasterLimit = FT_Pos{1} << 17;

// Spans from the anti-aliasing rasteriser, blended into the band.
struct SpanTarget {
  TGreyTarget* target;
  int left;       // canvas column of span x = 0
  int64_t rowAt;  // band row of span y = 0 plus one
  int level;
};

void BlendSpans(int y, int count, const FT_Span* spans, void* user) {
  auto* st = static_cast<SpanTarget*>(user);
  TGreyTarget& t = *st->target;
  int64_t row = st->rowAt - 1 - y;
  if (row < 0 || row >= t.height) return;
  uint8_t* p = t.data + row * t.stride;
  for (int s = 0; s < count; ++s) {
    int x0 = st->left + spans[s].x;
    int x1 = x0 + spans[s].len;
    x0 = std::max(x0, 0);
    x1 = std::min(x1, t.width);
    int cov = spans[s].coverage;
    for (int x = x0; x < x1; ++x) {
      int v = p[x];
      p[x] =
          static_cast<uint8_t>(v + ((st->level - v) * cov + (st->level >= v ? 127 : -127)) / 255);
    }
  }
}

// The rasteriser reports span columns as 16-bit values, so wide outlines are
// drawn in windows of at most this many columns.
constexpr int kRasterWindow = 16384;

// Renders an outline (26.6, x = canvas column, y = -canvas row) into the band;
// false when part of it that falls on the band could not be drawn.
bool RenderOutline(FT_Library lib, FT_Outline* outline, TGreyTarget& t, int level) {
  FT_BBox box;
  FT_Outline_Get_CBox(outline, &box);
  const FT_Pos bandTop = -FT_Pos(t.top), bandBottom = -(FT_Pos(t.top) + t.height);
  if (box.xMax <= 0 || box.yMax <= bandBottom * 64 || box.xMin >= FT_Pos(t.width) * 64 ||
      box.yMin >= bandTop * 64)
    return true;
  // Whole pixels that bring the glyph's middle row next to y = 0.
  const FT_Pos shiftY = -(((box.yMin + box.yMax) / 2) >> 6);
  if (box.yMax - box.yMin > 2 * kRasterLimit * 64) return false;  // beyond the rasteriser
  int x0 = static_cast<int>(std::max<FT_Pos>(box.xMin >> 6, 0));
  int x1 = static_cast<int>(std::min<FT_Pos>(t.width, (box.xMax + 63) >> 6));
  FT_Outline_Translate(outline, 0, shiftY * 64);
  bool ok = true;
  for (int left = x0; left < x1; left += kRasterWindow) {
    int right = std::min(x1, left + kRasterWindow);
    // The part of the glyph left of this window must stay within the
    // rasteriser's range too: wider glyphs are not drawn.
    if (left * FT_Pos{64} - box.xMin > 2 * kRasterLimit * 64 ||
        box.xMax - left * FT_Pos{64} > 2 * kRasterLimit * 64) {
      ok = false;
      continue;
    }
    FT_Outline_Translate(outline, -FT_Pos(left) * 64, 0);
    SpanTarget st{&t, left, bandTop + shiftY, level};
    FT_Raster_Params params{};
    params.source = outline;
    params.flags = FT_RASTER_FLAG_AA | FT_RASTER_FLAG_DIRECT | FT_RASTER_FLAG_CLIP;
    params.gray_spans = BlendSpans;
    params.user = &st;
    params.clip_box.xMin = 0;
    params.clip_box.yMin = std::max(bandBottom + shiftY, -2 * kRasterLimit);
    params.clip_box.xMax = right - left;
    params.clip_box.yMax = std::min(bandTop + shiftY, 2 * kRasterLimit);
    if (FT_Outline_Render(lib, outline, &params) != 0) ok = false;
    FT_Outline_Translate(outline, FT_Pos(left) * 64, 0);
  }
  FT_Outline_Translate(outline, 0, -shiftY * 64);
  return ok;
}

// A colour bitmap glyph as coverage: alpha less half the luminance, so the
// opaque dark parts cover fully, the light parts half and the inner lines of
// the picture stay visible in the text's single colour.
struct BitmapGlyph {
  int width = 0, rows = 0;
  double left = 0, top = 0;  // strike pixels, x right and y up from the pen
  double scale = 1;          // layout pixels per strike pixel
  std::vector<uint8_t> coverage;
};

// The strike of a bitmap face nearest the em size, at least as large when
// there is one.
int BestStrike(FT_Face ft, int em) {
  int best = -1;
  for (int i = 0; i < ft->num_fixed_sizes; ++i) {
    const FT_Pos ppem = ft->available_sizes[i].y_ppem;
    if (best < 0) {
      best = i;
      continue;
    }
    const FT_Pos bestPpem = ft->available_sizes[best].y_ppem;
    const bool bigEnough = ppem >= FT_Pos{em} * 64, bestBigEnough = bestPpem >= FT_Pos{em} * 64;
    if (bigEnough != bestBigEnough ? bigEnough : (bigEnough ? ppem < bestPpem : ppem > bestPpem))
      best = i;
  }
  return best;
}

// Faces whose glyphs may be bitmaps: colour faces with strikes, and faces
// made of bitmaps alone.
bool HasBitmapStrikes(FT_Face ft) {
  return ft->num_fixed_sizes > 0 && (FT_HAS_COLOR(ft) || !FT_IS_SCALABLE(ft));
}

// Loads a glyph of a bitmap face (colour, grey or one bit a pixel); false
// when it has no bitmap there.
bool LoadBitmapGlyph(FT_Face ft, unsigned gid, int em, BitmapGlyph& out) {
  out = BitmapGlyph{};
  const int strike = BestStrike(ft, em);
  if (strike < 0 || FT_Select_Size(ft, strike) != 0) return false;
  if (FT_Load_Glyph(ft, gid, FT_LOAD_COLOR) != 0) return false;
  const FT_GlyphSlot slot = ft->glyph;
  if (slot->format != FT_GLYPH_FORMAT_BITMAP) return false;
  const FT_Bitmap& bm = slot->bitmap;
  const double ppem = ft->available_sizes[strike].y_ppem / 64.0;
  if (ppem <= 0) return false;
  out.scale = em / ppem;
  out.width = static_cast<int>(bm.width);
  out.rows = static_cast<int>(bm.rows);
  out.left = slot->bitmap_left;
  out.top = slot->bitmap_top;
  if (out.width == 0 || out.rows == 0) return true;  // a blank glyph
  out.coverage.resize(size_t(out.width) * out.rows);
  for (int r = 0; r < out.rows; ++r) {
    const uint8_t* row = bm.buffer + std::ptrdiff_t(r) * bm.pitch;
    uint8_t* cov = out.coverage.data() + size_t(r) * out.width;
    for (int c = 0; c < out.width; ++c) {
      switch (bm.pixel_mode) {
        case FT_PIXEL_MODE_BGRA: {
          // Premultiplied blue, green, red, alpha.
          const uint8_t* p = row + 4 * c;
          const int luma = (114 * p[0] + 587 * p[1] + 299 * p[2]) / 1000;
          cov[c] = static_cast<uint8_t>(std::max(0, p[3] - luma / 2));
          break;
        }
        case FT_PIXEL_MODE_GRAY:
          cov[c] = row[c];
          break;
        case FT_PIXEL_MODE_MONO:
          cov[c] = (row[c >> 3] & (0x80 >> (c & 7))) ? 255 : 0;
          break;
        default:
          return false;
      }
    }
  }
  return true;
}

// Coverage of a bitmap glyph at (u, v) in strike pixels from its top-left
// corner, sampled bilinearly between pixel centres; zero outside.
int SampleBitmap(const BitmapGlyph& g, double u, double v) {
  u -= 0.5;
  v -= 0.5;
  const double fu = std::floor(u), fv = std::floor(v);
  const int u0 = static_cast<int>(fu), v0 = static_cast<int>(fv);
  const double au = u - fu, av = v - fv;
  auto at = [&](int c, int r) -> double {
    if (c < 0 || r < 0 || c >= g.width || r >= g.rows) return 0;
    return g.coverage[size_t(r) * g.width + c];
  };
  const double top = at(u0, v0) * (1 - au) + at(u0 + 1, v0) * au;
  const double bottom = at(u0, v0 + 1) * (1 - au) + at(u0 + 1, v0 + 1) * au;
  return static_cast<int>(top * (1 - av) + bottom * av + 0.5);
}

// Where a glyph of the unturned cell lands on the canvas: canvas (X, Y) =
// origin + local (lx, ly) turned by the escapement.
struct CellFrame {
  double x = 0, y = 0;  // canvas point of the cell's top-left corner
  double c = 1, s = 0;  // cosine and sine of the escapement
};

// Draws a bitmap glyph with its pen at local (gx, gy) of the cell, widened
// by scaleX, into the band.
void DrawBitmapGlyph(const BitmapGlyph& g, double gx, double gy, double scaleX, const CellFrame& f,
                     TGreyTarget& t, int level) {
  if (g.coverage.empty()) return;
  const double sx = g.scale * scaleX, sy = g.scale;
  // Local corners of the bitmap.
  const double lx0 = gx + g.left * sx, ly0 = gy - g.top * sy;
  const double lx1 = lx0 + g.width * sx, ly1 = ly0 + g.rows * sy;
  double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
  for (double lx : {lx0, lx1})
    for (double ly : {ly0, ly1}) {
      const double X = f.x + lx * f.c + ly * f.s, Y = f.y - lx * f.s + ly * f.c;
      minX = std::min(minX, X), maxX = std::max(maxX, X);
      minY = std::min(minY, Y), maxY = std::max(maxY, Y);
    }
  const double bandTop = t.top, bandBottom = double(t.top) + t.height;
  if (!(minX < t.width && maxX > 0 && minY < bandBottom && maxY > bandTop)) return;
  const int c0 = static_cast<int>(std::max(0.0, std::floor(minX)));
  const int c1 = static_cast<int>(std::min(double(t.width), std::ceil(maxX)));
  const int r0 = static_cast<int>(std::max(bandTop, std::floor(minY)) - t.top);
  const int r1 = static_cast<int>(std::min(bandBottom, std::ceil(maxY)) - t.top);
  for (int r = r0; r < r1; ++r) {
    uint8_t* p = t.data + std::ptrdiff_t(r) * t.stride;
    const double dY = t.top + r + 0.5 - f.y;
    for (int col = c0; col < c1; ++col) {
      const double dX = col + 0.5 - f.x;
      const double lx = dX * f.c - dY * f.s, ly = dX * f.s + dY * f.c;
      const int cov = SampleBitmap(g, (lx - lx0) / sx, (ly - ly0) / sy);
      if (cov == 0) continue;
      const int v = p[col];
      p[col] = static_cast<uint8_t>(v + ((level - v) * cov + (level >= v ? 127 : -127)) / 255);
    }
  }
}

}  // namespace

struct LayoutGlyph {
  int face;  // index into the resolved candidates
  unsigned gid;
  int64_t penX;  // whole pixels from the reference point
  double xOff, yOff;
  uint32_t cluster;  // index of its first code point in the text
};

// How a glyph of a face can be drawn.
enum class GlyphKind { Outline, Bitmap, None };

class TTextLayoutImpl {
 public:
  TLogFont font;
  Resolved* resolved = nullptr;
  int em = 0;
  double scaleX = 1.0;
  int ascent = 0, descent = 0;
  int64_t advance = 0;
  std::vector<LayoutGlyph> glyphs;
  std::vector<char32_t> undrawable;
  std::map<std::pair<int, unsigned>, GlyphKind> kinds;

  // Whether the glyph has an outline, a bitmap of a colour face, or neither.
  GlyphKind KindOf(int faceIdx, unsigned gid) {
    auto key = std::make_pair(faceIdx, gid);
    auto it = kinds.find(key);
    if (it != kinds.end()) return it->second;
    GlyphKind kind = GlyphKind::None;
    FaceEntry* face = Face(faceIdx);
    if (face) {
      FT_Face ft = face->ft;
      auto [probed, fresh] = face->hasOutline.try_emplace(gid, false);
      if (fresh)
        probed->second = FT_IS_SCALABLE(ft) && FT_Load_Glyph(ft, gid, FT_LOAD_NO_SCALE) == 0 &&
                         ft->glyph->format == FT_GLYPH_FORMAT_OUTLINE;
      if (probed->second) {
        kind = GlyphKind::Outline;
      } else if (HasBitmapStrikes(ft)) {
        BitmapGlyph probe;
        if (LoadBitmapGlyph(ft, gid, em, probe)) kind = GlyphKind::Bitmap;
      }
    }
    kinds.emplace(key, kind);
    return kind;
  }

  GlyphKind Kind(int faceIdx, unsigned gid) const {
    auto it = kinds.find(std::make_pair(faceIdx, gid));
    return it == kinds.end() ? GlyphKind::Outline : it->second;
  }

  // The box of a bitmap glyph at the layout's size (26.6, y up from the
  // baseline); none when it is blank.
  std::optional<FT_BBox> BitmapBox(int faceIdx, unsigned gid) const {
    BitmapGlyph b;
    if (!LoadBitmap(faceIdx, gid, b) || b.coverage.empty()) return std::nullopt;
    const double sx = b.scale * scaleX * 64, sy = b.scale * 64;
    FT_BBox box;
    box.xMin = static_cast<FT_Pos>(std::floor(b.left * sx));
    box.xMax = static_cast<FT_Pos>(std::ceil((b.left + b.width) * sx));
    box.yMax = static_cast<FT_Pos>(std::ceil(b.top * sy));
    box.yMin = static_cast<FT_Pos>(std::floor((b.top - b.rows) * sy));
    return box;
  }

  // The glyph's bitmap at the layout's size; false when there is none.
  bool LoadBitmap(int faceIdx, unsigned gid, BitmapGlyph& out) const {
    FaceEntry* face = Face(faceIdx);
    return face && LoadBitmapGlyph(face->ft, gid, em, out);
  }

  FaceEntry* Face(int idx) const {
    if (idx == 0) return resolved->primary;
    return resolved->fallbacks[idx].face;
  }

  // A new copy of a glyph's outline at the layout's size, emboldened and
  // slanted as the font asks, not turned (26.6, y up from the baseline).
  // A blank glyph leaves `o` empty; false when the glyph could not be loaded.
  bool LoadOutline(FT_Library lib, int faceIdx, unsigned gid, FT_Outline& o) const {
    o = FT_Outline{};
    FaceEntry* face = Face(faceIdx);
    if (!face) return false;
    FT_Face ft = face->ft;
    if (FT_Set_Char_Size(ft, static_cast<FT_F26Dot6>(em * 64 * scaleX), em * 64, 72, 72) != 0)
      return false;
    if (FT_Load_Glyph(ft, gid, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0) return false;
    if (ft->glyph->format != FT_GLYPH_FORMAT_OUTLINE || ft->glyph->outline.n_points == 0)
      return true;
    FT_Outline& src = ft->glyph->outline;
    if (FT_Outline_New(lib, src.n_points, src.n_contours, &o) != 0) {
      o = FT_Outline{};
      return false;
    }
    FT_Outline_Copy(&src, &o);
    bool bold = resolved->wantBold &&
                (faceIdx == 0 ? resolved->syntheticBold
                              : resolved->fallbacks[faceIdx].weight < FC_WEIGHT_DEMIBOLD);
    if (bold) {
      FT_Pos strength = static_cast<FT_Pos>(em) * 64 / 24;
      FT_Outline_EmboldenXY(&o, strength, strength);
      FT_Outline_Translate(&o, strength / 2, 0);
    }
    if (resolved->wantItalic && resolved->fallbacks[faceIdx].roman) {
      FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000};
      FT_Outline_Transform(&o, &shear);
    }
    return true;
  }
};

namespace {

// The face of each code point: the primary face wherever it has the glyph,
// otherwise the first fallback face that has it.
std::vector<int> FacesOf(TTextLayoutImpl& L, FontSystem& fs, const std::u32string& cps) {
  FaceEntry* primary = L.resolved->primary;
  std::vector<int> faceOf(cps.size(), 0);
  for (size_t i = 0; i < cps.size(); ++i) {
    char32_t cp = cps[i];
    // Joiners and variation selectors belong to the character before them.
    if (i > 0 && cp >= 0x200B && NeedsNoFace(cp)) {
      faceOf[i] = faceOf[i - 1];
      continue;
    }
    if (NeedsNoFace(cp) || FT_Get_Char_Index(primary->ft, cp) != 0) continue;
    // Combining marks and neighbours of a fallback run stay in that run's face
    // when it has them.
    if (i > 0 && faceOf[i - 1] > 0 &&
        FT_Get_Char_Index(L.resolved->fallbacks[faceOf[i - 1]].face->ft, cp) != 0) {
      faceOf[i] = faceOf[i - 1];
      continue;
    }
    int fb = fs.FallbackFor(*L.resolved, cp);
    if (fb > 0) faceOf[i] = fb;
  }
  return faceOf;
}

struct BidiCloser {
  void operator()(UBiDi* b) const { ubidi_close(b); }
};

// The embedding level of each code point by the bidirectional algorithm,
// the paragraph's direction taken from its first strong character; empty
// when the whole text runs left to right (nothing in it is right-to-left
// or a direction control).
std::vector<uint8_t> BidiLevels(std::u16string_view text, size_t codePoints) {
  if (std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x0590; })) return {};
  if (text.size() > static_cast<size_t>(INT32_MAX)) return {};
  const auto n = static_cast<int32_t>(text.size());
  UErrorCode err = U_ZERO_ERROR;
  std::unique_ptr<UBiDi, BidiCloser> bidi(ubidi_openSized(n, 0, &err));
  if (U_FAILURE(err) || !bidi) return {};
  ubidi_setPara(bidi.get(), text.data(), n, UBIDI_DEFAULT_LTR, nullptr, &err);
  const UBiDiLevel* units = U_SUCCESS(err) ? ubidi_getLevels(bidi.get(), &err) : nullptr;
  if (U_FAILURE(err) || !units) return {};
  std::vector<uint8_t> levels;
  levels.reserve(codePoints);
  for (size_t i = 0; i < text.size(); ++i) {
    levels.push_back(units[i]);
    if (U16_IS_LEAD(text[i]) && i + 1 < text.size() && U16_IS_TRAIL(text[i + 1])) ++i;
  }
  levels.resize(codePoints, levels.empty() ? 0 : levels.back());
  return levels;
}

// A stretch of code points of one face and one direction.
struct ShapingRun {
  size_t start = 0, end = 0;
  int face = 0;
  bool rtl = false;
};

// The runs of one face and one embedding level, in the order they stand
// from left to right.
std::vector<ShapingRun> VisualRuns(const std::vector<int>& faceOf,
                                   const std::vector<uint8_t>& levels) {
  std::vector<ShapingRun> runs;
  std::vector<UBiDiLevel> runLevels;
  auto levelAt = [&](size_t i) -> uint8_t { return levels.empty() ? 0 : levels[i]; };
  for (size_t start = 0; start < faceOf.size();) {
    size_t end = start + 1;
    while (end < faceOf.size() && faceOf[end] == faceOf[start] && levelAt(end) == levelAt(start))
      ++end;
    runs.push_back({start, end, faceOf[start], (levelAt(start) & 1) != 0});
    runLevels.push_back(levelAt(start));
    start = end;
  }
  if (levels.empty() || runs.size() < 2 || runs.size() > static_cast<size_t>(INT32_MAX))
    return runs;
  std::vector<int32_t> visual(runs.size());
  ubidi_reorderVisual(runLevels.data(), static_cast<int32_t>(runs.size()), visual.data());
  std::vector<ShapingRun> ordered;
  ordered.reserve(runs.size());
  for (int32_t logical : visual) ordered.push_back(runs[static_cast<size_t>(logical)]);
  return ordered;
}

// Shapes the buffer in the face and appends its glyphs from pen on; returns
// the pen after them.
int64_t ShapeRun(TTextLayoutImpl& L, FaceEntry* face, int faceIdx, hb_buffer_t* buf, int64_t pen) {
  const hb_feature_t features[] = {{HB_TAG('k', 'e', 'r', 'n'), 0, 0, ~0u},
                                   {HB_TAG('l', 'i', 'g', 'a'), 0, 0, ~0u}};
  hb_font_t* hbFont = hb_font_create(face->hb);
  int scale = L.em * 64;
  hb_font_set_scale(hbFont, static_cast<int>(scale * L.scaleX), scale);
  hb_shape(hbFont, buf, features, 2);
  unsigned n = 0;
  hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buf, &n);
  hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buf, &n);
  bool bold = L.resolved->wantBold &&
              (faceIdx == 0 ? L.resolved->syntheticBold
                            : L.resolved->fallbacks[faceIdx].weight < FC_WEIGHT_DEMIBOLD);
  for (unsigned g = 0; g < n; ++g) {
    int adv = static_cast<int>(RoundHalfEven(pos[g].x_advance / 64.0));
    if (bold && adv > 0) ++adv;  // emboldening widens each glyph by a pixel
    L.glyphs.push_back({faceIdx, info[g].codepoint, pen, pos[g].x_offset / 64.0,
                        pos[g].y_offset / 64.0, info[g].cluster});
    pen += adv;
  }
  hb_font_destroy(hbFont);
  return pen;
}

// Glyphs that have neither an outline nor a bitmap are left out (their
// advance stays); their characters are kept, each once, for the caller.
void LeaveOutUndrawable(TTextLayoutImpl& L, const std::u32string& cps) {
  auto gone = std::remove_if(L.glyphs.begin(), L.glyphs.end(), [&](const LayoutGlyph& g) {
    if (L.KindOf(g.face, g.gid) != GlyphKind::None) return false;
    const char32_t cp = g.cluster < cps.size() ? cps[g.cluster] : 0xFFFD;
    if (std::find(L.undrawable.begin(), L.undrawable.end(), cp) == L.undrawable.end())
      L.undrawable.push_back(cp);
    return true;
  });
  L.glyphs.erase(gone, L.glyphs.end());
}

}  // namespace

TTextLayout::TTextLayout(const TLogFont& font, std::u16string_view text)
    : impl_(std::make_unique<TTextLayoutImpl>()) {
  auto& fs = FontSystem::Get();
  std::lock_guard lock(fs.Mutex());
  auto& L = *impl_;
  L.font = font;
  L.resolved = &fs.Resolve(font);
  FaceEntry* primary = L.resolved->primary;
  if (!primary) return;  // no fonts installed at all: nothing to measure or draw

  int cellUnits = primary->winAscent + primary->winDescent;
  long double em;
  if (font.height < 0)
    em = -static_cast<long double>(font.height);
  else if (font.height > 0)
    em = static_cast<long double>(font.height) * primary->upem / cellUnits;
  else
    em = 16.0L * primary->upem / cellUnits;  // the default size: a 16-pixel cell
  L.em = static_cast<int>(std::clamp<long double>(RoundHalfEven(em), 1, kMaxFontEmPixels));
  L.ascent = static_cast<int>(
      RoundHalfEven(static_cast<long double>(primary->winAscent) * L.em / primary->upem));
  L.descent = static_cast<int>(
      RoundHalfEven(static_cast<long double>(primary->winDescent) * L.em / primary->upem));
  if (font.width > 0 && primary->avgCharWidth > 0) {
    double natural = static_cast<double>(primary->avgCharWidth) * L.em / primary->upem;
    L.scaleX = std::clamp(font.width / natural, 0.01, 100.0);
  }

  std::u32string cps = DecodeUtf16(text);
  const std::vector<int> faceOf = FacesOf(L, fs, cps);
  const std::vector<uint8_t> levels = BidiLevels(text, cps.size());
  hb_buffer_t* buf = hb_buffer_create();
  int64_t pen = 0;
  for (const ShapingRun& run : VisualRuns(faceOf, levels)) {
    FaceEntry* face = run.face == 0 ? primary : L.resolved->fallbacks[run.face].face;
    hb_buffer_clear_contents(buf);
    hb_buffer_add_utf32(buf, reinterpret_cast<const uint32_t*>(cps.data()),
                        static_cast<int>(cps.size()), static_cast<unsigned>(run.start),
                        static_cast<int>(run.end - run.start));
    hb_buffer_set_direction(buf, run.rtl ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
    hb_buffer_guess_segment_properties(buf);
    pen = ShapeRun(L, face, run.face, buf, pen);
  }
  hb_buffer_destroy(buf);
  LeaveOutUndrawable(L, cps);
  L.advance = pen;
}

TTextLayout::~TTextLayout() = default;

const std::vector<char32_t>& TTextLayout::Undrawable() const { return impl_->undrawable; }

std::vector<TPlacedGlyph> TTextLayout::Glyphs() const {
  std::vector<TPlacedGlyph> out;
  out.reserve(impl_->glyphs.size());
  for (const LayoutGlyph& g : impl_->glyphs) {
    const FaceEntry* face = impl_->Face(g.face);
    out.push_back({g.cluster, g.penX, face ? face->family : std::string()});
  }
  return out;
}

TSize TTextLayout::Extent() const {
  return {static_cast<int>(std::min<int64_t>(impl_->advance, INT32_MAX)),
          impl_->ascent + impl_->descent};
}
int TTextLayout::Ascent() const { return impl_->ascent; }
int TTextLayout::Descent() const { return impl_->descent; }

TInkBox TTextLayout::InkBox() const {
  const auto& L = *impl_;
  TInkBox ink;
  if (!L.resolved || !L.resolved->primary) return ink;
  auto& fs = FontSystem::Get();
  std::lock_guard lock(fs.Mutex());
  FT_Library lib = fs.Library();
  std::map<std::pair<int, unsigned>, std::optional<FT_BBox>> boxes;
  for (const auto& g : L.glyphs) {
    auto key = std::make_pair(g.face, g.gid);
    auto it = boxes.find(key);
    if (it == boxes.end()) {
      std::optional<FT_BBox> box;
      if (L.Kind(g.face, g.gid) == GlyphKind::Bitmap) {
        box = L.BitmapBox(g.face, g.gid);
      } else {
        FT_Outline o;
        if (L.LoadOutline(lib, g.face, g.gid, o) && o.n_points > 0) {
          FT_BBox b;
          if (FT_Outline_Get_BBox(&o, &b) == 0) box = b;
        }
        if (o.n_points > 0) FT_Outline_Done(lib, &o);
      }
      it = boxes.emplace(key, box).first;
    }
    if (!it->second) continue;
    const FT_BBox& b = *it->second;
    // Glyph frame (y up from the baseline) -> cell frame (y down from the top).
    double gx = static_cast<double>(g.penX) + g.xOff, gy = L.ascent - g.yOff;
    double left = gx + b.xMin / 64.0, right = gx + b.xMax / 64.0;
    double top = gy - b.yMax / 64.0, bottom = gy - b.yMin / 64.0;
    if (ink.empty) {
      ink = {left, top, right, bottom, false};
    } else {
      ink.left = std::min(ink.left, left);
      ink.top = std::min(ink.top, top);
      ink.right = std::max(ink.right, right);
      ink.bottom = std::max(ink.bottom, bottom);
    }
  }
  return ink;
}

bool TTextLayout::Draw(TGreyTarget& target, double x, double y, uint8_t level) const {
  const auto& L = *impl_;
  if (!L.resolved || !L.resolved->primary || target.width <= 0 || target.height <= 0) return true;
  bool ok = true;
  auto& fs = FontSystem::Get();
  std::lock_guard lock(fs.Mutex());
  FT_Library lib = fs.Library();
  double theta = L.font.escapement * std::numbers::pi / 1800.0;
  double c = std::cos(theta), s = std::sin(theta);
  FT_Matrix rot{
      static_cast<FT_Fixed>(std::lround(c * 65536)), static_cast<FT_Fixed>(std::lround(-s * 65536)),
      static_cast<FT_Fixed>(std::lround(s * 65536)), static_cast<FT_Fixed>(std::lround(c * 65536))};
  bool rotated = L.font.escapement % 3600 != 0;
  // Canvas point (local frame of the unturned cell) -> outline coordinates.
  auto toOutline = [&](double lx, double ly, FT_Pos& ox, FT_Pos& oy) {
    double sx = x + lx * c + ly * s;
    double sy = y - lx * s + ly * c;
    ox = static_cast<FT_Pos>(std::llround(sx * 64));
    oy = static_cast<FT_Pos>(std::llround(-sy * 64));
  };

  // Outlines of the distinct glyphs, scaled, emboldened, slanted and turned.
  std::map<std::pair<int, unsigned>, FT_Outline> outlines;
  auto outlineOf = [&](int faceIdx, unsigned gid) -> FT_Outline* {
    auto key = std::make_pair(faceIdx, gid);
    auto it = outlines.find(key);
    if (it != outlines.end()) return it->second.n_points > 0 ? &it->second : nullptr;
    FT_Outline& o = outlines[key];
    if (!L.LoadOutline(lib, faceIdx, gid, o)) ok = false;
    if (o.n_points == 0) return nullptr;
    if (rotated) FT_Outline_Transform(&o, &rot);
    return &o;
  };

  // Bitmaps of the distinct colour glyphs at the layout's size.
  std::map<std::pair<int, unsigned>, BitmapGlyph> bitmaps;
  const CellFrame frame{x, y, c, s};
  auto drawBitmap = [&](const LayoutGlyph& g) {
    auto key = std::make_pair(g.face, g.gid);
    auto it = bitmaps.find(key);
    if (it == bitmaps.end()) {
      it = bitmaps.emplace(key, BitmapGlyph{}).first;
      if (!L.LoadBitmap(g.face, g.gid, it->second)) ok = false;
    }
    DrawBitmapGlyph(it->second, static_cast<double>(g.penX) + g.xOff, L.ascent - g.yOff, L.scaleX,
                    frame, target, level);
  };

  for (const auto& g : L.glyphs) {
    if (L.Kind(g.face, g.gid) == GlyphKind::Bitmap) {
      drawBitmap(g);
      continue;
    }
    FT_Outline* o = outlineOf(g.face, g.gid);
    if (!o) continue;
    FT_Pos ox, oy;
    toOutline(static_cast<double>(g.penX) + g.xOff, L.ascent - g.yOff, ox, oy);
    FT_Outline_Translate(o, ox, oy);
    if (!RenderOutline(lib, o, target, level)) ok = false;
    FT_Outline_Translate(o, -ox, -oy);
  }
  for (auto& [key, o] : outlines)
    if (o.n_points > 0) FT_Outline_Done(lib, &o);

  // Underline and strike-out: bars across the whole advance.
  auto bar = [&](double top, double height) {
    FT_Outline o;
    if (FT_Outline_New(lib, 4, 1, &o) != 0) {
      ok = false;
      return;
    }
    double w = static_cast<double>(L.advance);
    toOutline(0, top, o.points[0].x, o.points[0].y);
    toOutline(w, top, o.points[1].x, o.points[1].y);
    toOutline(w, top + height, o.points[2].x, o.points[2].y);
    toOutline(0, top + height, o.points[3].x, o.points[3].y);
    for (int i = 0; i < 4; ++i) o.tags[i] = FT_CURVE_TAG_ON;
    o.contours[0] = 3;
    if (!RenderOutline(lib, &o, target, level)) ok = false;
    FT_Outline_Done(lib, &o);
  };
  FaceEntry* p = L.resolved->primary;
  double unit = static_cast<double>(L.em) / p->upem;
  if (L.font.underline && L.advance > 0) {
    double thick = std::max(1.0, std::round(p->underlineThick * unit));
    bar(L.ascent - std::round(p->underlinePos * unit), thick);
  }
  if (L.font.strikeOut && L.advance > 0) {
    double thick = std::max(1.0, std::round(p->strikeSize * unit));
    bar(L.ascent - std::round(p->strikePos * unit), thick);
  }
  return ok;
}

TSize GetTextExtentPoint(const TLogFont& font, std::u16string_view text) {
  return TTextLayout(font, text).Extent();
}

TFaceInfo ResolveFace(const TLogFont& font) {
  auto& fs = FontSystem::Get();
  std::lock_guard lock(fs.Mutex());
  Resolved& r = fs.Resolve(font);
  TFaceInfo info;
  if (r.primary) {
    info.file = r.primary->file;
    info.family = r.primary->family;
  }
  info.syntheticBold = r.syntheticBold;
  info.syntheticItalic = r.syntheticItalic;
  return info;
}

std::string FallbackFamilyFor(const TLogFont& font, char32_t codePoint) {
  auto& fs = FontSystem::Get();
  std::lock_guard lock(fs.Mutex());
  Resolved& r = fs.Resolve(font);
  if (!r.primary) return {};
  if (FT_Get_Char_Index(r.primary->ft, codePoint) != 0) return r.primary->family;
  int fb = fs.FallbackFor(r, codePoint);
  if (fb <= 0) return {};
  return r.fallbacks[fb].face->family;
}

}  // namespace imprimo
