#include "platform/font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_BBOX_H
#include FT_TRUETYPE_TABLES_H
#include <hb-ft.h>
#include <hb.h>

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

}  // namespace

struct LayoutGlyph {
  int face;  // index into the resolved candidates
  unsigned gid;
  int64_t penX;  // whole pixels from the reference point
  double xOff, yOff;
};

class TTextLayoutImpl {
 public:
  TLogFont font;
  Resolved* resolved = nullptr;
  int em = 0;
  double scaleX = 1.0;
  int ascent = 0, descent = 0;
  int64_t advance = 0;
  std::vector<LayoutGlyph> glyphs;

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
  // Split into runs of one face each: the primary face wherever it has the
  // glyph, otherwise the first fallback face that has it.
  std::vector<int> faceOf(cps.size(), 0);
  for (size_t i = 0; i < cps.size(); ++i) {
    char32_t cp = cps[i];
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
  hb_buffer_t* buf = hb_buffer_create();
  const hb_feature_t features[] = {{HB_TAG('k', 'e', 'r', 'n'), 0, 0, ~0u},
                                   {HB_TAG('l', 'i', 'g', 'a'), 0, 0, ~0u}};
  int64_t pen = 0;
  size_t start = 0;
  while (start < cps.size()) {
    size_t end = start + 1;
    while (end < cps.size() && faceOf[end] == faceOf[start]) ++end;
    FaceEntry* face = faceOf[start] == 0 ? primary : L.resolved->fallbacks[faceOf[start]].face;
    hb_buffer_clear_contents(buf);
    hb_buffer_add_utf32(buf, reinterpret_cast<const uint32_t*>(cps.data()),
                        static_cast<int>(cps.size()), static_cast<unsigned>(start),
                        static_cast<int>(end - start));
    hb_buffer_guess_segment_properties(buf);
    hb_font_t* hbFont = hb_font_create(face->hb);
    int scale = L.em * 64;
    hb_font_set_scale(hbFont, static_cast<int>(scale * L.scaleX), scale);
    hb_shape(hbFont, buf, features, 2);
    unsigned n = 0;
    hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buf, &n);
    hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buf, &n);
    bool bold =
        L.resolved->wantBold &&
        (faceOf[start] == 0 ? L.resolved->syntheticBold
                            : L.resolved->fallbacks[faceOf[start]].weight < FC_WEIGHT_DEMIBOLD);
    for (unsigned g = 0; g < n; ++g) {
      int adv = static_cast<int>(RoundHalfEven(pos[g].x_advance / 64.0));
      if (bold && adv > 0) ++adv;  // emboldening widens each glyph by a pixel
      L.glyphs.push_back(
          {faceOf[start], info[g].codepoint, pen, pos[g].x_offset / 64.0, pos[g].y_offset / 64.0});
      pen += adv;
    }
    hb_font_destroy(hbFont);
    start = end;
  }
  hb_buffer_destroy(buf);
  L.advance = pen;
}

TTextLayout::~TTextLayout() = default;

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
      FT_Outline o;
      if (L.LoadOutline(lib, g.face, g.gid, o) && o.n_points > 0) {
        FT_BBox b;
        if (FT_Outline_Get_BBox(&o, &b) == 0) box = b;
      }
      if (o.n_points > 0) FT_Outline_Done(lib, &o);
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

  for (const auto& g : L.glyphs) {
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
