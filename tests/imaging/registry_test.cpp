#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "imaging/file_format.h"
#include "imaging/formats/basic_formats.h"
#include "imaging_test_util.h"

namespace imprimo {
namespace {

TEST(ImagingOptions, DefaultsChecksAndUnboundIds) {
  EXPECT_EQ(GetImagingOption(ImagingBitmapRLE), -1);
  EXPECT_EQ(GetImagingOption(ImagingTargaRLE), 0);
  EXPECT_EQ(GetImagingOption(ImagingPGMSaveBinary), -1);
  EXPECT_EQ(GetImagingOption(ImagingPPMSaveBinary), -1);
  EXPECT_EQ(GetImagingOption(ImagingColorReductionMask), 255);
  EXPECT_EQ(GetImagingOption(ImagingLoadOverrideFormat), 0);
  EXPECT_EQ(GetImagingOption(ImagingSaveOverrideFormat), 0);
  EXPECT_EQ(GetImagingOption(ImagingMipMapFilter), 1);

  EXPECT_FALSE(SetImagingOption(7, 1));
  EXPECT_EQ(GetImagingOption(7), -2147483647);
  EXPECT_FALSE(SetImagingOption(-1, 1));
  EXPECT_EQ(GetImagingOption(100000), -2147483647);

  ASSERT_TRUE(PushOptions());
  EXPECT_TRUE(SetImagingOption(ImagingColorReductionMask, 300));
  EXPECT_EQ(GetImagingOption(ImagingColorReductionMask), 255);
  SetImagingOption(ImagingColorReductionMask, -5);
  EXPECT_EQ(GetImagingOption(ImagingColorReductionMask), 0);
  SetImagingOption(ImagingMipMapFilter, 12);
  EXPECT_EQ(GetImagingOption(ImagingMipMapFilter), 9);
  SetImagingOption(ImagingLoadOverrideFormat, 12);  // not a format
  EXPECT_EQ(GetImagingOption(ImagingLoadOverrideFormat), 0);
  SetImagingOption(ImagingSaveOverrideFormat, ifGray8);
  EXPECT_EQ(GetImagingOption(ImagingSaveOverrideFormat), ifGray8);
  SetImagingOption(ImagingTargaRLE, 77);  // format options are stored as given
  EXPECT_EQ(GetImagingOption(ImagingTargaRLE), 77);
  ASSERT_TRUE(PopOptions());
  EXPECT_EQ(GetImagingOption(ImagingColorReductionMask), 255);
  EXPECT_EQ(GetImagingOption(ImagingSaveOverrideFormat), 0);
  EXPECT_EQ(GetImagingOption(ImagingTargaRLE), 0);
  EXPECT_FALSE(PopOptions());
}

TEST(ImagingOptions, FormatOptionsStoreOutOfRangeValuesUntilTheNextSave) {
  if (!FormatByExtension("jpg")) GTEST_SKIP() << "JPEG format not registered";
  PushOptions();
  EXPECT_TRUE(SetImagingOption(ImagingJpegQuality, 101));
  EXPECT_EQ(GetImagingOption(ImagingJpegQuality), 101);
  EXPECT_TRUE(SetImagingOption(ImagingJpegQuality, 0));
  EXPECT_EQ(GetImagingOption(ImagingJpegQuality), 0);
  PopOptions();
  EXPECT_EQ(GetImagingOption(ImagingJpegQuality), 90);
}

TEST(ImagingOptions, RegisterGrowsTableAndRefusesDuplicates) {
  static int32_t variable = 42;
  EXPECT_FALSE(RegisterImagingOption(-3, &variable));
  EXPECT_FALSE(RegisterImagingOption(ImagingBitmapRLE, &variable));
  ASSERT_TRUE(RegisterImagingOption(700, &variable));
  EXPECT_FALSE(RegisterImagingOption(700, &variable));
  EXPECT_EQ(GetImagingOption(700), 42);
  EXPECT_TRUE(SetImagingOption(700, 5));
  EXPECT_EQ(variable, 5);
}

TEST(FormatRegistry, LookupsByExtensionAndName) {
  ASSERT_NE(FormatByExtension("BMP"), nullptr);
  EXPECT_EQ(FormatByExtension("BMP")->Name(), "Windows Bitmap Image");
  EXPECT_EQ(FormatByExtension("dib"), FormatByExtension("bmp"));
  EXPECT_EQ(FormatByExtension("xyz"), nullptr);
  EXPECT_EQ(FormatByFileName("/some/folder/Photo.TGA")->Name(), "Truevision Targa Image");
  EXPECT_EQ(FormatByFileName("out.xyz"), nullptr);
  EXPECT_EQ(FormatByFileName("/a.bmp/b"), nullptr);  // only the name part counts
  EXPECT_EQ(FormatByExtension("pfm")->Extensions()[0], "pfm");

  EXPECT_TRUE(MatchesMask("texbsi.123", "texbsi.*"));
  EXPECT_TRUE(MatchesMask("A.B.C", "*.c"));
  EXPECT_TRUE(MatchesMask("ab", "a?"));
  EXPECT_FALSE(MatchesMask("abc", "a?"));
  EXPECT_FALSE(MatchesMask("photo.bmpx", "*.bmp"));

  // Registry order starts with the bitmap format; later ones follow the table.
  const auto& all = ImageFileFormats();
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(all[0]->Name(), "Windows Bitmap Image");
}

class FileLayerTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = test::TempFolder("registry"); }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::filesystem::path dir_;
};

TEST_F(FileLayerTest, DetectionByContentAndName) {
  RasterImage img = test::RandomImage(ifR8G8B8, 5, 4, 1);
  const auto bmp = EncodeBmp(img, false);
  test::WriteBytes(Path("a.bmp"), bmp);
  // A PGM whose header bytes also pass the Targa test (byte 2 = 10, byte 7 = 32, byte 16 = 8).
  std::vector<uint8_t> both = {'P', '5', '\n', '1', '6', ' ', '1',  ' ', '#', 'x', 'x', 'x',
                               'x', 'x', 'x',  'x', 8,   'x', '\n', '2', '5', '5', '\n'};
  both.resize(both.size() + 16, 7);
  test::WriteBytes(Path("both.pgm"), both);
  test::WriteBytes(Path("both.tga"), both);
  test::WriteBytes(Path("both.dat"), both);
  test::WriteBytes(Path("empty.bmp"), {});
  test::WriteBytes(Path("short.bmp"), {'B', 'M', 0});
  EXPECT_EQ(DetectFileFormat(Path("a.bmp")), "bmp");
  EXPECT_EQ(DetectFileFormat(Path("both.pgm")), "pgm");  // the name breaks the tie
  EXPECT_EQ(DetectFileFormat(Path("both.tga")), "tga");
  EXPECT_EQ(DetectFileFormat(Path("both.dat")), "tga");  // else the earlier format wins
  EXPECT_EQ(DetectFileFormat(Path("empty.bmp")), "");
  EXPECT_EQ(DetectFileFormat(Path("short.bmp")), "");
  EXPECT_EQ(DetectFileFormat(Path("missing.bmp")), "");
  EXPECT_EQ(DetectFileFormat(dir_.string()), "");

  // A PGM named .bmp is found by content (pass 2).
  test::WriteBytes(Path("gray.bmp"), {'P', '5', '\n', '1', ' ', '1', '\n', '2', '5', '5', '\n', 9});
  EXPECT_EQ(DetectFileFormat(Path("gray.bmp")), "pgm");
  RasterImage loaded;
  ASSERT_TRUE(ReadImageFile(Path("gray.bmp"), loaded));
  EXPECT_EQ(loaded.Format, ifGray8);
  EXPECT_EQ(loaded.Bits[0], 9);

  TMemoryStream stream(bmp);
  stream.Seek(0, TSeekOrigin::Begin);
  EXPECT_EQ(DetectStreamFormat(stream), "bmp");
  EXPECT_EQ(stream.Position(), 0);
}

// Formats without a signature know some files by their exact length only;
// such a match never overrides the format the file's name asks for.
TEST_F(FileLayerTest, SizeOnlyMatchesYieldToTheExtension) {
  std::string text;
  while (text.size() < 4096) text += "Shopping list: bread, milk, eggs. ";
  text.resize(4096);
  test::WriteBytes(Path("notes.jpg"), std::vector<uint8_t>(text.begin(), text.end()));
  EXPECT_EQ(DetectFileFormat(Path("notes.jpg")), "");
  RasterImage img;
  EXPECT_FALSE(ReadImageFile(Path("notes.jpg"), img));
  EXPECT_FALSE(ImageIsValid(img));
  // Random bytes of another such length, named for PNG.
  std::vector<uint8_t> noise(64000);
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 7919 >> 3);
  test::WriteBytes(Path("photo.png"), noise);
  EXPECT_EQ(DetectFileFormat(Path("photo.png")), "");

  // A real headerless 64 x 64 game image still loads under its own name,
  // and under a name no registered format claims.
  std::vector<uint8_t> raw(4096);
  for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<uint8_t>(i < 16 ? 200 : i % 251);
  test::WriteBytes(Path("floor.img"), raw);
  test::WriteBytes(Path("floor.raw"), raw);
  ASSERT_TRUE(ReadImageFile(Path("floor.img"), img));
  EXPECT_EQ(img.Width, 64);
  EXPECT_EQ(img.Height, 64);
  EXPECT_EQ(img.Bits[300], 300 % 251);
  EXPECT_EQ(DetectFileFormat(Path("floor.raw")), "img");
}

TEST_F(FileLayerTest, FailedLoadsLeaveOrRaiseAsDocumented) {
  RasterImage img = test::RandomImage(ifGray8, 3, 3, 1);
  test::WriteBytes(Path("junk.bin"), {1, 2, 3, 4, 5});
  EXPECT_FALSE(ReadImageFile(Path("junk.bin"), img));
  EXPECT_TRUE(ImageIsValid(img));  // untouched
  EXPECT_FALSE(ReadImageFile(Path("nothing.bmp"), img));

  // Recognised but broken: the error names the file and the format.
  test::WriteBytes(Path("broken.bmp"), {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40, 0, 0, 0});
  try {
    ReadImageFile(Path("broken.bmp"), img);
    FAIL() << "no error";
  } catch (const EImagingError& e) {
    const std::string expect = "Error while loading images from file \"" + Path("broken.bmp") +
                               "\" (file format: bmp). Exception Message: ";
    EXPECT_TRUE(std::string(e.what()).starts_with(expect)) << e.what();
  }
  EXPECT_FALSE(ImageIsValid(img));  // the record was freed before loading
}

TEST_F(FileLayerTest, SavingNeverChangesTheCallersImage) {
  RasterImage img = test::RandomImage(ifA16R16G16B16, 6, 5, 1);
  const auto before = test::Pixels(img);
  EXPECT_FALSE(WriteImageFile(Path("out.xyz"), img));
  EXPECT_FALSE(std::filesystem::exists(Path("out.xyz")));
  ASSERT_TRUE(WriteImageFile(Path("out.PGM"), img));
  EXPECT_EQ(img.Format, ifA16R16G16B16);
  EXPECT_EQ(test::Pixels(img), before);
  // PGM is load-and-save; PBM loads only.
  EXPECT_FALSE(WriteImageFile(Path("out.pbm"), img));
  RasterImage invalid;
  EXPECT_FALSE(WriteImageFile(Path("bad.bmp"), invalid));

  // The output gets the usual mode of a new file, not a private one.
  const mode_t mask = umask(0);
  umask(mask);
  struct stat st;
  ASSERT_EQ(stat(Path("out.PGM").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask);

  // No temporary files are left beside the output.
  int files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir_)) files += e.is_regular_file();
  EXPECT_EQ(files, 1);
}

TEST_F(FileLayerTest, SaveErrorsAreReportedAndKeepTheOldFile) {
  RasterImage img = test::RandomImage(ifR8G8B8, 2, 2, 1);
  EXPECT_THROW(WriteImageFile(Path("no/such/folder/out.bmp"), img), EImagingError);
  test::WriteBytes(Path("keep.bmp"), {1, 2, 3});
  ASSERT_TRUE(WriteImageFile(Path("keep.bmp"), img));
  RasterImage back;
  ASSERT_TRUE(ReadImageFile(Path("keep.bmp"), back));
  EXPECT_EQ(test::Pixels(back), test::Pixels(img));
}

TEST_F(FileLayerTest, StreamsRoundTripAndRewindOnError) {
  RasterImage img = test::RandomImage(ifR8G8B8, 9, 7, 1);
  TMemoryStream stream;
  ASSERT_TRUE(WriteImageStream("TGA", stream, img));
  EXPECT_FALSE(WriteImageStream("nope", stream, img));
  stream.Seek(0, TSeekOrigin::Begin);
  RasterImage back;
  ASSERT_TRUE(ReadImageStream(stream, back));
  EXPECT_EQ(back.Format, ifR8G8B8);
  EXPECT_EQ(test::Pixels(back), test::Pixels(img));

  TMemoryStream broken(
      std::vector<uint8_t>{'P', '6', '\n', '9', ' ', '9', '\n', '2', '5', '5', '\n', 1});
  try {
    ReadImageStream(broken, back);
    FAIL() << "no error";
  } catch (const EImagingError& e) {
    EXPECT_TRUE(std::string(e.what()).starts_with("Error while loading images from stream "))
        << e.what();
    EXPECT_NE(std::string(e.what()).find("(file format: ppm). Exception Message: "),
              std::string::npos);
  }
  EXPECT_EQ(broken.Position(), 0);
}

TEST_F(FileLayerTest, OverrideOptionsConvertOnLoadAndSave) {
  RasterImage img = test::RandomImage(ifR8G8B8, 4, 4, 1);
  PushOptions();
  SetImagingOption(ImagingSaveOverrideFormat, ifGray8);
  bool saved = WriteImageFile(Path("o.bmp"), img);  // Gray8 is not kept: BMP makes Index8
  SetImagingOption(ImagingSaveOverrideFormat, 0);
  SetImagingOption(ImagingLoadOverrideFormat, ifA16R16G16B16);
  RasterImage back;
  bool loaded = ReadImageFile(Path("o.bmp"), back);
  PopOptions();
  ASSERT_TRUE(saved);
  ASSERT_TRUE(loaded);
  EXPECT_EQ(back.Format, ifA16R16G16B16);
  RasterImage raw;
  ASSERT_TRUE(ReadImageFile(Path("o.bmp"), raw));
  EXPECT_EQ(raw.Format, ifIndex8);
}

TEST_F(FileLayerTest, MultiImageSetsSplitIntoNumberedFiles) {
  TDynImageDataArray set;
  set.push_back(test::RandomImage(ifR8G8B8, 2, 2, 1));
  set.push_back(test::RandomImage(ifR8G8B8, 3, 3, 2));
  ASSERT_TRUE(WriteMultiImageFile(Path("photo.tga"), set));
  EXPECT_TRUE(std::filesystem::exists(Path("photo000.tga")));
  RasterImage second;
  ASSERT_TRUE(ReadImageFile(Path("photo001.tga"), second));
  EXPECT_EQ(test::Pixels(second), test::Pixels(set[1]));
}

}  // namespace
}  // namespace imprimo
