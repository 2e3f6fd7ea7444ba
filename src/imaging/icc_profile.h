// ICC colour profiles as image files embed them: reassembly of the JPEG APP2
// "ICC_PROFILE" chunks, the PNG iCCP chunk, a sanity check of the profile
// header and the split of a profile into JPEG chunks for writing.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace imprimo {

// Colour-space signatures of the profile header (bytes 16..19).
constexpr uint32_t kIccRgb = 0x52474220;   // "RGB "
constexpr uint32_t kIccGray = 0x47524159;  // "GRAY"
constexpr uint32_t kIccCmyk = 0x434D594B;  // "CMYK"

// True when the bytes look like a whole ICC profile: at least a header and a
// tag count, the size field equal to the byte count and the "acsp" signature.
// Otherwise false with the reason in why (when given).
bool IccProfileIsSound(std::string_view profile, std::string* why = nullptr);

// The data colour space of a profile (0 when too short).
uint32_t IccColourSpace(std::string_view profile);
// The text of the profile's 'desc' tag when it can be read; empty otherwise.
std::string IccDescription(std::string_view profile);
// True when a sound profile lists a tag with that signature ("rXYZ").
bool IccHasTag(std::string_view profile, std::string_view signature);
// True when a sound profile describes its colours by primaries and tone
// curves alone (the RGB colorant and TRC tags, or a gray TRC): the kind of
// profile every reader of a restricted-profile format can apply.
bool IccIsMatrixShaper(std::string_view profile);

// One APP2 "ICC_PROFILE\0" segment payload (after the 14-byte identifier
// and the two sequence bytes): its sequence number, chunk count and data.
struct TIccChunk {
  int Sequence = 0;
  int Count = 0;
  std::string Data;
};

// Joins chunks into a profile: they may come in any order but must number
// 1..count with one count for all, each exactly once. Returns the profile
// (checked with IccProfileIsSound) or empty with the reason in why.
std::string JoinIccChunks(std::vector<TIccChunk> chunks, std::string* why = nullptr);

// The APP2 payloads (identifier and sequence bytes included, no marker or
// length) that store the profile in a JPEG file. Empty when the profile
// needs more than 255 chunks.
std::vector<std::string> SplitIccProfileForJpeg(std::string_view profile);

// The profile a JPEG stream embeds, read from its APP2 segments before the
// first scan. Empty when there is none (why empty) or it is unsound (why
// says how).
std::string ReadJpegIccProfile(std::span<const uint8_t> jpeg, std::string* why = nullptr);
// The profile of a PNG file's iCCP chunk; empty when none or unsound.
std::string ReadPngIccProfile(std::span<const uint8_t> png, std::string* why = nullptr);

// Inserts an iCCP chunk with the profile right after the IHDR chunk of a PNG
// stream, dropping any sRGB, gAMA, cHRM and iCCP chunks it had before the
// image data. Returns the new stream, or empty when png is not a PNG stream.
std::string AddPngIccProfile(std::span<const uint8_t> png, std::string_view profile);

}  // namespace imprimo
