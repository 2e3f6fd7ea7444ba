#include "exif/png_metadata.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/byte_reader.h"

namespace imprimo {

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::string_view kXmpKeyword = "XML:com.adobe.xmp";
// A compressed XMP packet inflating past this is not read.
constexpr size_t kMaxXmpPacket = 16u << 20;

void AppendChunk(std::string& out, const char* type, std::string_view data) {
  AppendU32BE(out, uint32_t(data.size()));
  const size_t body = out.size();
  out.append(type, 4);
  out.append(data);
  AppendU32BE(out, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(out.data() + body),
                                  uInt(out.size() - body))));
}

// One chunk of a walked PNG.
struct TChunk {
  std::string_view Type;
  std::span<const uint8_t> Data;
  size_t Start = 0, Size = 0;  // the whole chunk, length field to CRC
  bool CrcOk = false;
};

// Walks the chunks after the signature; false when one runs past the end of
// the data or the signature is missing. Stops after IEND.
template <typename Visit>
bool WalkChunks(std::span<const uint8_t> d, Visit&& visit) {
  if (d.size() < 8 || std::memcmp(d.data(), kSignature, 8) != 0) return false;
  size_t p = 8;
  while (p < d.size()) {
    if (d.size() - p < 12) return false;
    const size_t length = LoadU32BE(d.data() + p);
    if (length > d.size() - p - 12) return false;
    TChunk c;
    c.Type = std::string_view(reinterpret_cast<const char*>(d.data()) + p + 4, 4);
    c.Data = d.subspan(p + 8, length);
    c.Start = p;
    c.Size = length + 12;
    c.CrcOk = uint32_t(crc32(0, d.data() + p + 4, uInt(length + 4))) ==
              LoadU32BE(d.data() + p + 8 + length);
    if (!visit(c)) return true;
    p += c.Size;
    if (c.Type == "IEND") return true;
  }
  return true;
}

bool IsTiffHeader(std::span<const uint8_t> d) {
  return d.size() >= 8 && ((d[0] == 'I' && d[1] == 'I' && d[2] == 42 && d[3] == 0) ||
                           (d[0] == 'M' && d[1] == 'M' && d[2] == 0 && d[3] == 42));
}

// Inflates a zlib stream into out, refusing more than limit bytes.
bool Inflate(std::span<const uint8_t> in, size_t limit, std::string& out) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = uInt(in.size());
  char buffer[16384];
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof buffer;
    rc = inflate(&z, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END) break;
    out.append(buffer, sizeof buffer - z.avail_out);
    if (out.size() > limit) rc = Z_MEM_ERROR;
    if (rc == Z_OK && z.avail_in == 0 && z.avail_out != 0) rc = Z_DATA_ERROR;
  }
  inflateEnd(&z);
  return rc == Z_STREAM_END;
}

// The text of an iTXt chunk with the XMP keyword; false for any other chunk
// or one that is malformed.
bool XmpOfInternationalText(std::span<const uint8_t> d, std::string& packet) {
  const std::string_view text(reinterpret_cast<const char*>(d.data()), d.size());
  if (text.size() < kXmpKeyword.size() + 3 || text.compare(0, kXmpKeyword.size(), kXmpKeyword) ||
      text[kXmpKeyword.size()] != '\0')
    return false;
  size_t p = kXmpKeyword.size() + 1;
  const bool compressed = text[p] != 0;
  if (compressed && text[p + 1] != 0) return false;  // only deflate is defined
  p += 2;
  for (int field = 0; field < 2; ++field) {  // language tag, translated keyword
    const size_t zero = text.find('\0', p);
    if (zero == std::string_view::npos) return false;
    p = zero + 1;
  }
  if (!compressed) {
    packet.assign(text.substr(p));
    return true;
  }
  std::string inflated;
  if (!Inflate(d.subspan(p), kMaxXmpPacket, inflated)) return false;
  packet = std::move(inflated);
  return true;
}

bool IsXmpChunk(const TChunk& c) {
  const std::string_view text(reinterpret_cast<const char*>(c.Data.data()), c.Data.size());
  return c.Type == "iTXt" && text.size() > kXmpKeyword.size() &&
         text.compare(0, kXmpKeyword.size(), kXmpKeyword) == 0 && text[kXmpKeyword.size()] == '\0';
}

}  // namespace

TPngMetadata ReadPngMetadata(std::span<const uint8_t> png) {
  TPngMetadata m;
  bool haveExif = false, haveXmp = false;
  try {
    WalkChunks(png, [&](const TChunk& c) {
      if (!c.CrcOk) return true;
      if (c.Type == "eXIf" && !haveExif && IsTiffHeader(c.Data)) {
        m.Exif.assign(reinterpret_cast<const char*>(c.Data.data()), c.Data.size());
        haveExif = true;
      } else if (c.Type == "iTXt" && !haveXmp) {
        haveXmp = XmpOfInternationalText(c.Data, m.Xmp);
        if (!haveXmp) m.Xmp.clear();
      }
      return true;
    });
  } catch (const std::exception&) {
    m = TPngMetadata();
  }
  return m;
}

std::string SetPngMetadata(std::span<const uint8_t> png, const std::string& exif,
                           const std::string& xmp) {
  std::string out(reinterpret_cast<const char*>(png.data()), std::min<size_t>(png.size(), 8));
  bool placed = false;
  auto place = [&] {
    if (!exif.empty()) AppendChunk(out, "eXIf", exif);
    if (!xmp.empty()) {
      std::string data(kXmpKeyword);
      // Keyword end, not compressed, method 0, no language tag, no translated keyword.
      data.append(5, '\0');
      data += xmp;
      AppendChunk(out, "iTXt", data);
    }
    placed = true;
  };
  const bool walked = WalkChunks(png, [&](const TChunk& c) {
    if (!placed && (c.Type == "IDAT" || c.Type == "IEND")) place();
    if (c.Type != "eXIf" && !IsXmpChunk(c))
      out.append(reinterpret_cast<const char*>(png.data()) + c.Start, c.Size);
    return true;
  });
  if (!walked || !placed) return std::string();
  return out;
}

}  // namespace imprimo
