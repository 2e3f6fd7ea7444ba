// Little-endian values at given offsets of the language files' bytes, read
// through the bounded byte reader: an offset outside the bytes throws
// ETruncatedData instead of reading past them.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/byte_reader.h"

namespace imprimo::lang_bytes {

inline TByteReader ReaderAt(std::string_view bytes, uint64_t at) {
  TByteReader reader({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
  if (at > bytes.size()) throw ETruncatedData();
  reader.Seek(static_cast<size_t>(at));
  return reader;
}

inline uint16_t U16(std::string_view bytes, uint64_t at) { return ReaderAt(bytes, at).U16LE(); }
inline uint32_t U32(std::string_view bytes, uint64_t at) { return ReaderAt(bytes, at).U32LE(); }
inline int32_t I32(std::string_view bytes, uint64_t at) { return ReaderAt(bytes, at).I32LE(); }

// count bytes from at; true when they lie inside total bytes (never for a
// negative offset or count).
inline bool Fits(size_t total, int64_t at, int64_t count) {
  return at >= 0 && count >= 0 && static_cast<uint64_t>(at) <= total &&
         static_cast<uint64_t>(count) <= total - static_cast<uint64_t>(at);
}

// UTF-16LE text of byteCount bytes from at (an odd last byte is left out).
inline std::u16string Utf16Le(std::string_view bytes, uint64_t at, uint64_t byteCount) {
  TByteReader reader = ReaderAt(bytes, at);
  std::u16string text(static_cast<size_t>(byteCount / 2), u'\0');
  for (char16_t& c : text) c = static_cast<char16_t>(reader.U16LE());
  return text;
}

}  // namespace imprimo::lang_bytes
