// The metadata rewrite of a JPEG written by the JPEG library: structure,
// unchanged pixels, and the source's tags as exiftool reads them.
#include <gtest/gtest.h>
#include <stdio.h>
#include <unistd.h>

#include <csetjmp>
#include <filesystem>
#include <fstream>
#include <sstream>

extern "C" {
#include <jpeglib.h>
}

#include "exif/exif_builder.h"
#include "exif/exif_reader.h"
#include "support/corpus_support.h"
#include "support/reference_tools.h"

using namespace exiftest;
using imprimo::TimgData;
namespace fs = std::filesystem;

namespace {

struct ErrorManager {
  jpeg_error_mgr base;
  jmp_buf jump;
};

void OnJpegError(j_common_ptr info) {
  longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

// A 24 x 16 RGB gradient coded with default settings (JFIF header included).
std::string EncodeSample() {
  jpeg_compress_struct c;
  ErrorManager err;
  c.err = jpeg_std_error(&err.base);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = 24;
  c.image_height = 16;
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_start_compress(&c, TRUE);
  std::vector<unsigned char> row(24 * 3);
  while (c.next_scanline < c.image_height) {
    for (int x = 0; x < 24; ++x) {
      row[x * 3] = static_cast<unsigned char>(x * 10);
      row[x * 3 + 1] = static_cast<unsigned char>(c.next_scanline * 15);
      row[x * 3 + 2] = 128;
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&c, rows, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::string out(reinterpret_cast<char*>(buffer), size);
  free(buffer);
  return out;
}

// Decoded RGB pixels, or empty when the stream does not decode.
std::string Decode(const std::string& bytes) {
  jpeg_decompress_struct d;
  ErrorManager err;
  d.err = jpeg_std_error(&err.base);
  err.base.error_exit = OnJpegError;
  jpeg_create_decompress(&d);
  std::string pixels;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&d);
    return {};
  }
  jpeg_mem_src(&d, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  jpeg_read_header(&d, TRUE);
  d.out_color_space = JCS_RGB;
  jpeg_start_decompress(&d);
  std::vector<unsigned char> row(d.output_width * d.output_components);
  while (d.output_scanline < d.output_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_read_scanlines(&d, rows, 1);
    pixels.append(reinterpret_cast<char*>(row.data()), row.size());
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return pixels;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

using ::imprimo::testing::RunCommandText;

TEST(ExifPreservation, EncoderOutputGetsTheSourceSegments) {
  const fs::path camera = fs::path(IMPRIMO_CORPUS_DIR) / "exif/exif-samples/camera/Canon_40D.jpg";
  IMPRIMO_REQUIRE_CORPUS_PATH(camera);
  TimgData reader(255);
  ASSERT_TRUE(reader.ReadMetadata(camera.string()));
  ASSERT_TRUE(reader.HasExifBlock());
  const std::string exifSegment = "\xFF\xE1" + reader.ExifSection()->bytes;

  // A source carrying the camera's EXIF block, an IPTC block and a comment.
  const fs::path dir =
      fs::temp_directory_path() / ("imprimo_exif_keep_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path source = dir / "source.jpg";
  std::ofstream(source, std::ios::binary)
      << Jpeg({Jfif(), exifSegment, Iptc(), Comment("kept comment")});
  ASSERT_TRUE(reader.ReadMetadata(source.string()));

  const std::string encoded = EncodeSample();
  ASSERT_EQ(encoded.substr(0, 4), "\xFF\xD8\xFF\xE0");  // JFIF header first
  const fs::path output = dir / "output.jpg";
  std::ofstream(output, std::ios::binary) << encoded;
  const std::string before = Decode(encoded);
  ASSERT_EQ(before.size(), 24u * 16u * 3u);

  reader.InsertMetadataIntoJpeg(Span(encoded), output.string(), false);
  const std::string written = ReadAll(output);
  const size_t jfifLength = 2 + ((uint8_t(encoded[4]) << 8) | uint8_t(encoded[5]));
  EXPECT_EQ(written, std::string("\xFF\xD8", 2) + exifSegment + Iptc() + Comment("kept comment") +
                         encoded.substr(2 + jfifLength));
  EXPECT_EQ(Decode(written), before);

  if (RunCommandText("exiftool -ver 2>/dev/null").empty()) {
    fs::remove_all(dir);
    GTEST_SKIP() << "exiftool is not installed";
  }
  const std::string tags =
      RunCommandText("exiftool -s -s -s -EXIF:Make -EXIF:Model -Comment '" + output.string() + "'");
  EXPECT_EQ(tags, "Canon\nCanon EOS 40D\nkept comment\n");
  fs::remove_all(dir);
}

}  // namespace
