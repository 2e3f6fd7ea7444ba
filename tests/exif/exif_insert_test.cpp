// Rewriting a JPEG output with the source's metadata segments.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "exif/exif_builder.h"
#include "exif/exif_reader.h"

using namespace exiftest;
using imprimo::TimgData;

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class InsertMetadata : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = (std::filesystem::temp_directory_path() /
            ("imprimo_exif_insert_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name()))
               .string();
    std::filesystem::create_directories(dir_);
    exif_ = ExifApp1(TiffBlock(Order::Intel, {Ascii(0x010F, Lit("Canon\0"))}));
    source_ = Jpeg({Jfif(), exif_, Xmp(), Iptc(), Comment("source note")});
    ASSERT_TRUE(reader_.ReadMetadata(Span(source_)));
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  size_t FilesInFolder() const {
    return size_t(std::distance(std::filesystem::directory_iterator(dir_), {}));
  }

  std::string dir_, exif_, source_;
  TimgData reader_{255};
};

TEST_F(InsertMetadata, SourceSegmentsReplaceTheOutputsLeadingOnes) {
  const std::string tail = ImageData();
  const std::string expectedHead =
      std::string("\xFF\xD8", 2) + exif_ + Iptc() + Comment("source note");
  // An output as a JPEG encoder writes it: JFIF header, then tables and scan.
  std::string out = std::string("\xFF\xD8", 2) + Jfif() + tail;
  std::string path = dir_ + "/out.jpg";
  std::ofstream(path, std::ios::binary) << out;
  reader_.InsertMetadataIntoJpeg(Span(out), path, false);
  EXPECT_EQ(ReadAll(path), expectedHead + tail);
  EXPECT_EQ(FilesInFolder(), 1u);

  // Taking the output from the file gives the same bytes.
  std::string path2 = dir_ + "/out2.jpg";
  std::ofstream(path2, std::ios::binary) << out;
  reader_.InsertMetadataIntoJpeg(path2);
  EXPECT_EQ(ReadAll(path2), expectedHead + tail);
  EXPECT_THROW(reader_.InsertMetadataIntoJpeg(dir_ + "/none.jpg"), std::runtime_error);
  std::filesystem::remove(path2);

  // The written file reads back with the source's tags and segments.
  TimgData back(255);
  EXPECT_TRUE(back.ReadMetadata(path));
  EXPECT_EQ(back.CameraMake(), "Canon");
  EXPECT_EQ(back.HeaderSection(), nullptr);
  EXPECT_NE(back.IptcSection(), nullptr);

  // Leading APP0, APP1, APP13 and COM are skipped once each, in that order.
  out = std::string("\xFF\xD8", 2) + Jfif() + Xmp() + Iptc() + Comment("x") + Comment("y") + tail;
  EXPECT_EQ(reader_.BuildMetadataJpeg(Span(out)), expectedHead + Comment("y") + tail);
  // Out of order: the COM is skipped, the APP0 after it stays.
  out = std::string("\xFF\xD8", 2) + Comment("x") + Jfif() + tail;
  EXPECT_EQ(reader_.BuildMetadataJpeg(Span(out)), expectedHead + Jfif() + tail);
  // No header segment: everything from position 2 is appended unchanged.
  out = std::string("\xFF\xD8", 2) + tail;
  EXPECT_EQ(reader_.BuildMetadataJpeg(Span(out)), expectedHead + tail);
  // A header whose length runs past the end is not skipped.
  out = std::string("\xFF\xD8\xFF\xE0\x7F\xFF", 6) + tail;
  EXPECT_EQ(reader_.BuildMetadataJpeg(Span(out)), expectedHead + out.substr(2));
}

TEST_F(InsertMetadata, SourceWithoutExifLeavesTheOutputAlone) {
  TimgData plain(255);
  plain.ReadMetadata(Span(Jpeg({Jfif(), Comment("c"), Iptc()})));
  ASSERT_FALSE(plain.HasExifBlock());
  std::string out = std::string("\xFF\xD8", 2) + Jfif() + ImageData();
  std::string path = dir_ + "/out.jpg";
  std::ofstream(path, std::ios::binary) << out;
  plain.InsertMetadataIntoJpeg(Span(out), path, false);
  EXPECT_EQ(ReadAll(path), out);

  // Only the EXIF segment when the source has nothing else.
  TimgData exifOnly(255);
  exifOnly.ReadMetadata(Span(Jpeg({exif_})));
  EXPECT_EQ(exifOnly.BuildMetadataJpeg(Span(out)),
            std::string("\xFF\xD8", 2) + exif_ + ImageData());
}

TEST_F(InsertMetadata, FailuresKeepTheWrittenOutput) {
  std::string out = std::string("\xFF\xD8", 2) + Jfif() + ImageData() + std::string(20000, 'z');
  std::string path = dir_ + "/out.jpg";
  std::ofstream(path, std::ios::binary) << out;

  // Not a JPEG stream.
  EXPECT_THROW(reader_.InsertMetadataIntoJpeg(Span(std::string("PNG")), path, false),
               std::runtime_error);
  EXPECT_EQ(ReadAll(path), out);

  // The write itself fails part-way (file size limit): the old file stays
  // complete and no temporary file is left behind.
  struct rlimit old;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 1000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  bool threw = false;
  try {
    reader_.InsertMetadataIntoJpeg(Span(out), path, false);
  } catch (const std::runtime_error&) {
    threw = true;
  }
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_TRUE(threw);
  EXPECT_EQ(ReadAll(path), out);
  EXPECT_EQ(FilesInFolder(), 1u);

  // A folder that does not exist.
  EXPECT_THROW(reader_.InsertMetadataIntoJpeg(Span(out), dir_ + "/missing/out.jpg", false),
               std::runtime_error);
}

}  // namespace
