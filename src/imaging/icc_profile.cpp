#include "imaging/icc_profile.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "platform/byte_reader.h"

namespace imprimo {

namespace {

constexpr char kIccMarker[] = "ICC_PROFILE";  // followed by a zero byte
constexpr size_t kIccMarkerSize = 12;
// A JPEG segment holds 65533 bytes after its length field; 14 go to the
// identifier and the two sequence bytes.
constexpr size_t kIccChunkData = 65519;
// Larger profiles than this are refused when inflating a PNG iCCP chunk.
constexpr size_t kMaxIccProfile = 16u << 20;

uint32_t Be32(std::string_view s, size_t pos) {
  if (pos + 4 > s.size()) return 0;
  return (uint32_t(uint8_t(s[pos])) << 24) | (uint32_t(uint8_t(s[pos + 1])) << 16) |
         (uint32_t(uint8_t(s[pos + 2])) << 8) | uint32_t(uint8_t(s[pos + 3]));
}

void SetWhy(std::string* why, const std::string& text) {
  if (why) *why = text;
}

// zlib inflate with an output cap; false on any fault.
bool Inflate(std::span<const uint8_t> in, size_t cap, std::string& out) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  char buffer[16384];
  int rc = Z_OK;
  out.clear();
  while (rc == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = sizeof buffer;
    rc = inflate(&z, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END) break;
    out.append(buffer, sizeof buffer - z.avail_out);
    if (out.size() > cap) {
      rc = Z_MEM_ERROR;
      break;
    }
    if (rc == Z_OK && z.avail_in == 0 && z.avail_out != 0) {
      rc = Z_DATA_ERROR;  // input ended before the stream did
      break;
    }
  }
  inflateEnd(&z);
  return rc == Z_STREAM_END;
}

std::string Deflate(std::string_view in) {
  uLongf size = compressBound(static_cast<uLong>(in.size()));
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                reinterpret_cast<const Bytef*>(in.data()), static_cast<uLong>(in.size()),
                Z_BEST_COMPRESSION) != Z_OK)
    return std::string();
  out.resize(size);
  return out;
}

void AppendPngChunk(std::string& out, const char* type, std::string_view data) {
  AppendU32BE(out, static_cast<uint32_t>(data.size()));
  std::string body(type, 4);
  body.append(data);
  out += body;
  AppendU32BE(out, static_cast<uint32_t>(
                       crc32(0, reinterpret_cast<const Bytef*>(body.data()), uInt(body.size()))));
}

}  // namespace

bool IccProfileIsSound(std::string_view p, std::string* why) {
  if (p.size() < 132) {
    SetWhy(why, "the colour profile is shorter than its header");
    return false;
  }
  if (Be32(p, 0) != p.size()) {
    SetWhy(why, "the colour profile's size field does not match its data (" +
                    std::to_string(Be32(p, 0)) + " vs " + std::to_string(p.size()) + " bytes)");
    return false;
  }
  if (p.substr(36, 4) != "acsp") {
    SetWhy(why, "the colour profile is not an ICC profile");
    return false;
  }
  const uint32_t tags = Be32(p, 128);
  if (tags > (p.size() - 132) / 12) {
    SetWhy(why, "the colour profile's tag table runs past its end");
    return false;
  }
  for (uint32_t i = 0; i < tags; ++i) {
    const uint64_t offset = Be32(p, 132 + 12 * i + 4);
    const uint64_t size = Be32(p, 132 + 12 * i + 8);
    if (offset + size > p.size()) {
      SetWhy(why, "a tag of the colour profile lies outside it");
      return false;
    }
  }
  return true;
}

uint32_t IccColourSpace(std::string_view profile) { return Be32(profile, 16); }

std::string IccDescription(std::string_view p) {
  if (!IccProfileIsSound(p)) return std::string();
  const uint32_t tags = Be32(p, 128);
  for (uint32_t i = 0; i < tags; ++i) {
    if (p.substr(132 + 12 * i, 4) != "desc") continue;
    const size_t offset = Be32(p, 132 + 12 * i + 4);
    const size_t size = Be32(p, 132 + 12 * i + 8);
    std::string_view tag = p.substr(offset, size);
    if (tag.substr(0, 4) == "desc" && tag.size() >= 12) {
      const size_t n = Be32(tag, 8);
      if (n == 0 || 12 + n > tag.size()) return std::string();
      std::string text(tag.substr(12, n));
      text.erase(std::find(text.begin(), text.end(), '\0'), text.end());
      return text;
    }
    if (tag.substr(0, 4) == "mluc" && tag.size() >= 28) {
      const size_t length = Be32(tag, 20), start = Be32(tag, 24);
      if (start + length > tag.size()) return std::string();
      std::string text;  // UTF-16BE, kept to its ASCII part
      for (size_t k = start; k + 1 < start + length; k += 2)
        if (tag[k] == 0 && tag[k + 1] != 0) text += tag[k + 1];
      return text;
    }
  }
  return std::string();
}

bool IccHasTag(std::string_view p, std::string_view signature) {
  if (signature.size() != 4 || !IccProfileIsSound(p)) return false;
  const uint32_t tags = Be32(p, 128);
  for (uint32_t i = 0; i < tags; ++i)
    if (p.substr(132 + 12 * i, 4) == signature) return true;
  return false;
}

bool IccIsMatrixShaper(std::string_view p) {
  switch (IccColourSpace(p)) {
    case kIccRgb:
      for (std::string_view tag : {"rXYZ", "gXYZ", "bXYZ", "rTRC", "gTRC", "bTRC"})
        if (!IccHasTag(p, tag)) return false;
      return true;
    case kIccGray:
      return IccHasTag(p, "kTRC");
    default:
      return false;
  }
}

std::string JoinIccChunks(std::vector<TIccChunk> chunks, std::string* why) {
  if (chunks.empty()) {
    SetWhy(why, "no colour profile");
    return std::string();
  }
  std::sort(chunks.begin(), chunks.end(),
            [](const TIccChunk& a, const TIccChunk& b) { return a.Sequence < b.Sequence; });
  const int count = chunks.front().Count;
  if (count < 1 || static_cast<size_t>(count) != chunks.size()) {
    SetWhy(why, "the colour profile's chunks are incomplete (" + std::to_string(chunks.size()) +
                    " of " + std::to_string(count) + ")");
    return std::string();
  }
  std::string profile;
  for (int i = 0; i < count; ++i) {
    if (chunks[i].Sequence != i + 1 || chunks[i].Count != count) {
      SetWhy(why, "the colour profile's chunks are numbered inconsistently");
      return std::string();
    }
    profile += chunks[i].Data;
  }
  if (!IccProfileIsSound(profile, why)) return std::string();
  return profile;
}

std::vector<std::string> SplitIccProfileForJpeg(std::string_view profile) {
  std::vector<std::string> out;
  const size_t count = (profile.size() + kIccChunkData - 1) / kIccChunkData;
  if (count == 0 || count > 255) return out;
  for (size_t i = 0; i < count; ++i) {
    std::string seg(kIccMarker, kIccMarkerSize);
    seg += char(i + 1);
    seg += char(count);
    seg.append(profile.substr(i * kIccChunkData, kIccChunkData));
    out.push_back(std::move(seg));
  }
  return out;
}

std::string ReadJpegIccProfile(std::span<const uint8_t> d, std::string* why) {
  SetWhy(why, "");
  if (d.size() < 4 || d[0] != 0xFF || d[1] != 0xD8) return std::string();
  std::vector<TIccChunk> chunks;
  size_t p = 2;
  while (p + 4 <= d.size()) {
    if (d[p] != 0xFF) break;
    const uint8_t code = d[p + 1];
    if (code == 0xFF) {  // fill byte
      ++p;
      continue;
    }
    if (code == 0xDA || code == 0xD9) break;  // image data or end: no more metadata
    if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) {
      p += 2;
      continue;
    }
    const size_t length = (size_t(d[p + 2]) << 8) | d[p + 3];
    if (length < 2 || p + 2 + length > d.size()) break;
    if (code == 0xE2 && length >= 2 + kIccMarkerSize + 2 &&
        std::memcmp(d.data() + p + 4, kIccMarker, kIccMarkerSize) == 0) {
      TIccChunk c;
      c.Sequence = d[p + 4 + kIccMarkerSize];
      c.Count = d[p + 5 + kIccMarkerSize];
      c.Data.assign(reinterpret_cast<const char*>(d.data()) + p + 6 + kIccMarkerSize,
                    length - 2 - kIccMarkerSize - 2);
      chunks.push_back(std::move(c));
    }
    p += 2 + length;
  }
  if (chunks.empty()) return std::string();
  return JoinIccChunks(std::move(chunks), why);
}

std::string ReadPngIccProfile(std::span<const uint8_t> d, std::string* why) {
  SetWhy(why, "");
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (d.size() < 8 || std::memcmp(d.data(), kSignature, 8) != 0) return std::string();
  size_t p = 8;
  while (p + 12 <= d.size()) {
    const size_t length = LoadU32BE(d.data() + p);
    if (length > d.size() - p - 12) break;
    const char* type = reinterpret_cast<const char*>(d.data()) + p + 4;
    if (std::memcmp(type, "IDAT", 4) == 0 || std::memcmp(type, "IEND", 4) == 0) break;
    if (std::memcmp(type, "iCCP", 4) == 0) {
      std::span<const uint8_t> body = d.subspan(p + 8, length);
      const uint32_t crc =
          static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(type), uInt(length + 4)));
      if (crc != LoadU32BE(d.data() + p + 8 + length)) {
        SetWhy(why, "the colour profile chunk is damaged (CRC)");
        return std::string();
      }
      const auto zero = std::find(body.begin(), body.end(), uint8_t(0));
      if (zero == body.end() || zero - body.begin() > 79 || zero + 1 == body.end() ||
          zero[1] != 0) {
        SetWhy(why, "the colour profile chunk is malformed");
        return std::string();
      }
      std::string profile;
      if (!Inflate(body.subspan(size_t(zero - body.begin()) + 2), kMaxIccProfile, profile)) {
        SetWhy(why, "the colour profile chunk does not decompress");
        return std::string();
      }
      if (!IccProfileIsSound(profile, why)) return std::string();
      return profile;
    }
    p += 12 + length;
  }
  return std::string();
}

std::string AddPngIccProfile(std::span<const uint8_t> d, std::string_view profile) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (d.size() < 8 + 25 || std::memcmp(d.data(), kSignature, 8) != 0 ||
      std::memcmp(d.data() + 12, "IHDR", 4) != 0)
    return std::string();
  const std::string packed = Deflate(profile);
  if (packed.empty()) return std::string();
  std::string out(reinterpret_cast<const char*>(d.data()), 8 + 25);
  std::string data("ICC profile", 11);
  data += '\0';
  data += '\0';  // compression method: deflate
  data += packed;
  AppendPngChunk(out, "iCCP", data);
  size_t p = 8 + 25;
  bool beforeImage = true;
  while (p + 12 <= d.size()) {
    const size_t length = LoadU32BE(d.data() + p);
    if (length > d.size() - p - 12) return std::string();
    const char* type = reinterpret_cast<const char*>(d.data()) + p + 4;
    if (std::memcmp(type, "IDAT", 4) == 0) beforeImage = false;
    const bool colourChunk = std::memcmp(type, "iCCP", 4) == 0 ||
                             std::memcmp(type, "sRGB", 4) == 0 ||
                             std::memcmp(type, "gAMA", 4) == 0 || std::memcmp(type, "cHRM", 4) == 0;
    if (!(beforeImage && colourChunk))
      out.append(reinterpret_cast<const char*>(d.data()) + p, 12 + length);
    p += 12 + length;
  }
  if (p != d.size()) out.append(reinterpret_cast<const char*>(d.data()) + p, d.size() - p);
  return out;
}

}  // namespace imprimo
