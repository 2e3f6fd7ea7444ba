// Finding corpus files and decoding them with the reference tools.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "imaging_codecs/codec_test_util.h"

namespace imprimo::testutil {

inline std::string CorpusDir() { return IMPRIMO_CORPUS_DIR; }

#define REQUIRE_CORPUS(sub)                                                           \
  do {                                                                                \
    if (!std::filesystem::is_directory(::imprimo::testutil::CorpusDir() + "/" + sub)) \
      GTEST_SKIP() << "conformance corpus folder " << sub << " is absent";            \
  } while (0)

#define REQUIRE_TOOL(name)                                                                    \
  do {                                                                                        \
    if (!::imprimo::testutil::HaveCommand(name)) GTEST_SKIP() << name << " is not installed"; \
  } while (0)

// Every file under folder (recursively) whose extension is one of exts.
inline std::vector<std::string> FilesWithExtensions(const std::string& folder,
                                                    const std::vector<std::string>& exts) {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
    if (!e.is_regular_file()) continue;
    std::string ext = e.path().extension().string();
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    for (const auto& x : exts)
      if (ext == x) out.push_back(e.path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// First image of a file as 16-bit RGBA through the reference converter.
// Colour-managed files are taken as they are stored ("-set colorspace sRGB"),
// except CMYK, which the converter must turn into RGB ("-colorspace sRGB").
inline bool ReferenceRgba16(const std::string& path, int& w, int& h, std::vector<uint16_t>& px,
                            const std::string& colourArgs = "-set colorspace sRGB") {
  bool ok;
  std::vector<uint8_t> dims = RunCommand("identify -format '%w %h\\n' " + Quote(path + "[0]"), ok);
  if (!ok) return false;
  std::string d(dims.begin(), dims.end());
  if (std::sscanf(d.c_str(), "%d %d", &w, &h) != 2) return false;
  std::vector<uint8_t> raw = RunCommand(
      "convert " + Quote(path + "[0]") + " " + colourArgs + " -depth 16 -endian LSB rgba:-", ok);
  if (!ok || raw.size() != size_t(w) * h * 8) return false;
  px.resize(raw.size() / 2);
  for (size_t i = 0; i < px.size(); ++i) px[i] = uint16_t(raw[2 * i] | (raw[2 * i + 1] << 8));
  return true;
}

inline const char* kPillowRgba =
    "/usr/bin/python3 -c \"import sys; from PIL import Image; "
    "sys.stdout.buffer.write(Image.open(sys.argv[1]).convert('RGBA').tobytes())\" ";

}  // namespace imprimo::testutil
