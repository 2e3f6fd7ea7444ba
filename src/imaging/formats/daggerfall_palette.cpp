// The two built-in 256-colour tables of the game image formats.
//
// Fixed entries: 0 is black; 1 to 31 (image table) or 1 to 15 (BSI table)
// are magenta, the colour the game uses for "no pixel". The rest is a set of
// ramps of 16 shades each, lightest first: shade i of a ramp whose lightest
// colour is (r, g, b) is (r, g, b) * (16 - i) / 16, rounded. Ramp order:
//   image table, entries 32..255 (14 ramps): skin 244,202,167; rose
//     232,196,196; sand 245,212,172; then the common ramps below;
//   BSI table, entries 16..255 (15 ramps): sea green 133,196,183; then the
//     common ramps below.
// Common ramps: white, red, orange, yellow, lime, green, teal, sky, blue,
// violet, pink. So the first shade of each of the first ramps lands on the
// entries that files and tools expect (32, 48 and 64; 16), and every other
// entry is a smooth step of a ramp.
#include <array>
#include <initializer_list>
#include <vector>

#include "imaging/formats/daggerfall_format.h"

namespace imprimo {

namespace {

struct TRgb {
  uint8_t R, G, B;
};

constexpr TRgb kCommonRamps[] = {{255, 255, 255}, {255, 64, 64},  {255, 160, 64}, {255, 240, 96},
                                 {160, 240, 96},  {64, 208, 64},  {64, 224, 192}, {96, 200, 255},
                                 {64, 96, 255},   {176, 96, 255}, {255, 96, 200}};

TElderPalette BuildPalette(int magentaEnd, std::initializer_list<TRgb> leading) {
  TElderPalette p{};
  for (int i = 1; i <= magentaEnd; ++i) {
    p[i * 3] = 255;
    p[i * 3 + 1] = 0;
    p[i * 3 + 2] = 255;
  }
  std::vector<TRgb> ramps(leading);
  ramps.insert(ramps.end(), std::begin(kCommonRamps), std::end(kCommonRamps));
  int entry = magentaEnd + 1;
  for (const TRgb& c : ramps)
    for (int shade = 0; shade < 16 && entry < 256; ++shade, ++entry) {
      auto scale = [&](uint8_t v) { return static_cast<uint8_t>((v * (16 - shade) + 8) / 16); };
      p[entry * 3] = scale(c.R);
      p[entry * 3 + 1] = scale(c.G);
      p[entry * 3 + 2] = scale(c.B);
    }
  return p;
}

}  // namespace

const TElderPalette& DaggerfallImagePalette() {
  static const TElderPalette p =
      BuildPalette(31, {{244, 202, 167}, {232, 196, 196}, {245, 212, 172}});
  return p;
}

const TElderPalette& DaggerfallBsiPalette() {
  static const TElderPalette p = BuildPalette(15, {{133, 196, 183}});
  return p;
}

void ExpandElderPalette(const TElderPalette& palette, TColor32Rec* entries) {
  for (int i = 0; i < 256; ++i)
    entries[i] = {palette[i * 3 + 2], palette[i * 3 + 1], palette[i * 3],
                  static_cast<uint8_t>(i == 0 ? 0 : 255)};
}

}  // namespace imprimo
