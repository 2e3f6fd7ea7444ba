// TColor resolution: plain colours are 0x00BBGGRR; a negative value names a
// system colour whose index is its low byte.
#pragma once

#include <cstdint>

namespace imprimo {

using TColor = int32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
// System colour names, as negative TColor values (index in the low byte).
constexpr TColor clWindowText = static_cast<TColor>(0xFF000008u);
constexpr TColor clWindow = static_cast<TColor>(0xFF000005u);
constexpr TColor clBtnFace = static_cast<TColor>(0xFF00000Fu);

// The colour of a system colour index in the default desktop colour scheme,
// as 0x00BBGGRR; unknown indices give black.
uint32_t GetSysColor(int index);

// A TColor as 0x00BBGGRR with system colours resolved.
uint32_t ResolveColor(TColor color);

struct TRGB {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const TRGB&) const = default;
};
TRGB ColorToTRGB(TColor color);

}  // namespace imprimo
