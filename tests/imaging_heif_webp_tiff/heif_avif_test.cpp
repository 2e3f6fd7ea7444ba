#include <libheif/heif.h>

#include "exif/exif_reader.h"
#include "imaging/formats/heif_format.h"
#include "imaging_heif_webp_tiff/heif_webp_tiff_util.h"

namespace imprimo::testing {
namespace {

// A 16-bit source picture for the deep variants.
std::string SourcePng16(const std::string& name, int w, int h, bool withAlpha) {
  RasterImage img = SmoothImage(w, h, withAlpha ? ifA8R8G8B8 : ifR8G8B8);
  ImageConvert(img, withAlpha ? ifA16R16G16B16 : ifR16G16B16);
  // Fill the low bytes too, so that 10 and 12-bit samples differ from 8-bit ones.
  uint16_t* p = reinterpret_cast<uint16_t*>(img.Bits.get());
  for (int32_t i = 0; i < img.Size / 2; ++i) p[i] = uint16_t(p[i] ^ ((i * 37) & 0xFF));
  const std::string path = TempPath("formats_d", name + ".png");
  EXPECT_TRUE(WriteImageFile(path, img));
  return path;
}

struct TVariant {
  const char* name;
  bool deep, alpha;
  const char* encode;  // with %s for input and output
  TImageFormat expected;
};

void CheckAgainstReference(const TVariant& v, const std::string& decoder, double tolerance) {
  SCOPED_TRACE(v.name);
  const std::string src =
      v.deep ? SourcePng16(v.name, 64, 48, v.alpha) : SourcePng(v.name, 64, 48, v.alpha);
  const bool avif = std::string(v.encode).find("avif") != std::string::npos;
  const std::string file = TempPath("formats_d", std::string(v.name) + (avif ? ".avif" : ".heic"));
  const std::string ref = TempPath("formats_d", std::string(v.name) + "_ref.png");
  char cmd[512];
  std::snprintf(cmd, sizeof cmd, v.encode, Quote(src).c_str(), Quote(file).c_str());
  ASSERT_TRUE(Shell(cmd)) << cmd;
  ASSERT_TRUE(Shell(decoder + " " + Quote(file) + " " + Quote(ref)));
  RasterImage raw;
  ASSERT_TRUE(ReadImageFile(file, raw));
  EXPECT_EQ(raw.Format, v.expected);
  RasterImage ours, theirs;
  std::string error;
  ASSERT_TRUE(Load16(file, ours, &error)) << error;
  ASSERT_TRUE(Load16(ref, theirs));
  EXPECT_LE(MaxDiff8(ours, theirs), tolerance);
}

TEST(Heif, HeicFilesDecodeAsTheLibraryToolDoes) {
  REQUIRE_PROGRAM("heif-enc");
  REQUIRE_PROGRAM("heif-convert");
  const TVariant variants[] = {
      {"heic8", false, false, "heif-enc -q 90 %s -o %s", ifR8G8B8},
      {"heic8a", false, true, "heif-enc -q 90 %s -o %s", ifA8R8G8B8},
      {"heic10", true, false, "heif-enc -b 10 -q 90 %s -o %s", ifR16G16B16},
      {"heic10a", true, true, "heif-enc -b 10 -q 90 %s -o %s", ifA16R16G16B16},
  };
  // The same library decodes both: the pixels agree to rounding.
  for (const TVariant& v : variants) CheckAgainstReference(v, "heif-convert", 1.0);
}

TEST(Heif, AvifFilesAgreeWithTheReferenceDecoder) {
  REQUIRE_PROGRAM("avifenc");
  REQUIRE_PROGRAM("avifdec");
  const TVariant variants[] = {
      {"avif8", false, false, "avifenc -d 8 -s 8 %s %s", ifR8G8B8},
      {"avif8a", false, true, "avifenc -d 8 -s 8 %s %s", ifA8R8G8B8},
      {"avif10", true, false, "avifenc -d 10 -s 8 %s %s", ifR16G16B16},
      {"avif12a", true, true, "avifenc -d 12 -s 8 %s %s", ifA16R16G16B16},
  };
  // Another library turns the coded YUV into RGB: a few steps of rounding.
  for (const TVariant& v : variants) CheckAgainstReference(v, "avifdec", 3.0);
}

heif_error AppendBytes(heif_context*, const void* data, size_t size, void* user) {
  auto* out = static_cast<std::vector<uint8_t>*>(user);
  out->insert(out->end(), static_cast<const uint8_t*>(data),
              static_cast<const uint8_t*>(data) + size);
  return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

// A phone-style picture: landscape rows stored, a rotation box turning them
// to portrait, and an EXIF block that also says "turn 90 degrees".
std::vector<uint8_t> PhoneStyleHeic(int w, int h) {
  heif_context* ctx = heif_context_alloc();
  heif_encoder* enc = nullptr;
  std::vector<uint8_t> out;
  if (heif_context_get_encoder_for_format(ctx, heif_compression_HEVC, &enc).code != heif_error_Ok) {
    heif_context_free(ctx);
    return out;
  }
  heif_encoder_set_lossy_quality(enc, 95);
  heif_image* img = nullptr;
  heif_image_create(w, h, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &img);
  heif_image_add_plane(img, heif_channel_interleaved, w, h, 8);
  int stride = 0;
  uint8_t* p = heif_image_get_plane(img, heif_channel_interleaved, &stride);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* q = p + y * stride + 3 * x;
      // Left half red, right half blue: after the turn, red is on top.
      q[0] = x < w / 2 ? 230 : 20;
      q[1] = 20;
      q[2] = x < w / 2 ? 20 : 230;
    }
  heif_encoding_options* eo = heif_encoding_options_alloc();
  eo->image_orientation = heif_orientation_rotate_90_cw;
  heif_image_handle* handle = nullptr;
  heif_context_encode_image(ctx, img, enc, eo, &handle);
  // EXIF: big-endian TIFF header, IFD0 with Make and Orientation 6.
  const uint8_t exif[] = {'M', 'M',  0, 42, 0, 0, 0,   8,   0,   2, 1, 0x0F,
                          0,   2,    0, 0,  0, 4, 'A', 'c', 'm', 0,        // Make "Acm"
                          1,   0x12, 0, 3,  0, 0, 0,   1,   0,   6, 0, 0,  // Orientation 6
                          0,   0,    0, 0};
  heif_context_add_exif_metadata(ctx, handle, exif, sizeof exif);
  heif_writer writer{1, AppendBytes};
  heif_context_write(ctx, &writer, &out);
  heif_image_handle_release(handle);
  heif_encoding_options_free(eo);
  heif_image_release(img);
  heif_encoder_release(enc);
  heif_context_free(ctx);
  return out;
}

TEST(Heif, PhoneStylePortraitComesOutUprightAndIsNotTurnedTwice) {
  const std::vector<uint8_t> bytes = PhoneStyleHeic(96, 64);
  if (bytes.empty()) GTEST_SKIP() << "no HEVC encoder in this libheif";
  const std::string path = TempPath("formats_d", "portrait.heic");
  WriteBytes(path, bytes);
  RasterImage img;
  ASSERT_TRUE(ReadImageFile(path, img));
  ASSERT_EQ(img.Width, 64);
  ASSERT_EQ(img.Height, 96);
  const uint8_t* top = img.Row(5) + 3 * 32;
  const uint8_t* bottom = img.Row(90) + 3 * 32;
  EXPECT_GT(top[2], 150);  // red above
  EXPECT_LT(top[0], 100);
  EXPECT_GT(bottom[0], 150);  // blue below
  // The EXIF block feeds the variables but says the picture is upright now.
  TimgData reader;
  ASSERT_TRUE(reader.ReadMetadata(path));
  EXPECT_EQ(reader.CameraMake(), "Acm");
  EXPECT_EQ(reader.Orientation(), 1);
  if (HaveTool("command -v heif-convert")) {
    const std::string ref = TempPath("formats_d", "portrait_ref.png");
    ASSERT_TRUE(Shell("heif-convert " + Quote(path) + " " + Quote(ref)));
    RasterImage ours, theirs;
    ASSERT_TRUE(Load16(path, ours));
    ASSERT_TRUE(Load16(ref, theirs));
    EXPECT_LE(MaxDiff8(ours, theirs), 1.0);
  }
}

TEST(Heif, AvifOutputsDecodeElsewhereWithAlphaAndDepth) {
  REQUIRE_PROGRAM("avifdec");
  struct {
    TImageFormat format;
    const char* name;
  } cases[] = {{ifR8G8B8, "rgb8"}, {ifA8R8G8B8, "rgba8"}, {ifA16R16G16B16, "rgba16"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RasterImage img = SmoothImage(80, 60, c.format == ifR8G8B8 ? ifR8G8B8 : ifA8R8G8B8);
    if (c.format == ifA16R16G16B16) ImageConvert(img, ifA16R16G16B16);
    ASSERT_TRUE(SetImagingOption(ImagingAvifQuality, 90));
    const std::string out = TempPath("formats_d", std::string("out_") + c.name + ".avif");
    ASSERT_TRUE(WriteImageFile(out, img));
    const std::string ref = TempPath("formats_d", std::string("out_") + c.name + ".png");
    ASSERT_TRUE(Shell("avifdec " + Quote(out) + " " + Quote(ref)));
    RasterImage back, original;
    ASSERT_TRUE(ReadImageFile(ref, back));
    EXPECT_EQ(GetImageFormatInfo(back.Format)->HasAlphaChannel, c.format != ifR8G8B8);
    // A 16-bit picture is written with 8 bits per sample.
    EXPECT_LE(GetImageFormatInfo(back.Format)->BytesPerPixel, c.format == ifR8G8B8 ? 3 : 4);
    ImageConvert(back, ifA8R8G8B8);
    ImageClone(img, original);
    ImageConvert(original, ifA8R8G8B8);
    EXPECT_GT(Psnr(original, back, 4, 0xF), 32.0);
  }
  SetImagingOption(ImagingAvifQuality, 80);
}

TEST(Heif, DamagedFilesFailWithAReason) {
  REQUIRE_PROGRAM("heif-enc");
  const std::string src = SourcePng("damaged", 64, 48, false);
  for (const char* ext : {".heic", ".avif"}) {
    SCOPED_TRACE(ext);
    const std::string file = TempPath("formats_d", std::string("whole") + ext);
    ASSERT_TRUE(Shell("heif-enc -q 60 " + Quote(src) + " -o " + Quote(file)));
    const std::vector<uint8_t> whole = ReadBytes(file);
    ASSERT_GT(whole.size(), 200u);
    std::vector<std::vector<uint8_t>> bad;
    bad.emplace_back(whole.begin(), whole.begin() + whole.size() / 2);  // truncated
    bad.emplace_back(whole.begin(), whole.begin() + 40);                // just the brand
    std::vector<uint8_t> scrambled = whole;
    for (size_t i = 32; i < scrambled.size(); i += 7) scrambled[i] ^= 0x5A;
    bad.push_back(scrambled);
    for (size_t k = 0; k < bad.size(); ++k) {
      SCOPED_TRACE(k);
      RasterImage img;
      std::string error;
      EXPECT_FALSE(LoadFromMemory(bad[k], img, &error));
      if (k < 2) {
        EXPECT_NE(error.find("HEIF"), std::string::npos) << error;
      }
    }
  }
}

TEST(Heif, BrandsPickTheFormat) {
  auto ftyp = [](const char* major, std::vector<const char*> compatible) {
    std::vector<uint8_t> b = {0, 0, 0, uint8_t(16 + 4 * compatible.size()), 'f', 't', 'y', 'p'};
    b.insert(b.end(), major, major + 4);
    b.insert(b.end(), {0, 0, 0, 0});
    for (const char* c : compatible) b.insert(b.end(), c, c + 4);
    return b;
  };
  EXPECT_EQ(HeifBrand(ftyp("heic", {"mif1", "heic"})), THeifBrand::Heic);
  EXPECT_EQ(HeifBrand(ftyp("avif", {"mif1", "avif"})), THeifBrand::Avif);
  EXPECT_EQ(HeifBrand(ftyp("mif1", {"mif1", "avif"})), THeifBrand::Avif);
  EXPECT_EQ(HeifBrand(ftyp("mif1", {"mif1", "heic"})), THeifBrand::Heic);
  EXPECT_EQ(HeifBrand(ftyp("isom", {"mp41", "avc1"})), THeifBrand::None);  // a video
  EXPECT_EQ(HeifBrand(ftyp("heic", {})), THeifBrand::Heic);
}

}  // namespace
}  // namespace imprimo::testing
