#include <gtest/gtest.h>

#include <filesystem>

#include "imaging/imaging_stream.h"
#include "imaging_test_util.h"

namespace imprimo {
namespace {

// Reads and seeks across the 16384-byte buffer boundary give the file's bytes.
TEST(FileStream, BufferedReadsAndSeeks) {
  auto dir = test::TempFolder("stream");
  std::vector<uint8_t> data(50000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + i / 256);
  const std::string name = (dir / "data.bin").string();
  {
    TFileStream out(name, TFileStream::TMode::Create);
    out.Write(data.data(), 10);
    out.Write(data.data() + 10, 20000);  // spans a buffer flush
    EXPECT_EQ(out.Position(), 20010);
    out.Write(data.data() + 20010, data.size() - 20010);
    EXPECT_EQ(out.Size(), 50000);
    out.Close();
  }
  EXPECT_EQ(test::ReadBytes(name), data);

  TFileStream in(name, TFileStream::TMode::Read);
  EXPECT_EQ(in.Size(), 50000);
  uint8_t buf[40000];
  ASSERT_EQ(in.Read(buf, 5), 5u);
  EXPECT_EQ(buf[4], data[4]);
  in.Seek(16380, TSeekOrigin::Begin);
  ASSERT_EQ(in.Read(buf, 10), 10u);
  EXPECT_EQ(0, std::memcmp(buf, &data[16380], 10));
  in.Seek(-12, TSeekOrigin::Current);  // back inside the buffered window
  ASSERT_EQ(in.Read(buf, 40000), 33622u);
  EXPECT_EQ(0, std::memcmp(buf, &data[16378], 33622));
  in.Seek(-3, TSeekOrigin::End);
  EXPECT_EQ(in.Read(buf, 100), 3u);
  EXPECT_EQ(in.Read(buf, 100), 0u);
  EXPECT_THROW(in.Seek(-1, TSeekOrigin::Begin), EImagingError);
  EXPECT_THROW(in.ReadExact(buf, 1), EImagingError);
  EXPECT_THROW(in.Write(buf, 1), EImagingError);
  EXPECT_THROW(TFileStream((dir / "none/x").string(), TFileStream::TMode::Read), EImagingError);
  std::filesystem::remove_all(dir);
}

TEST(MemoryStream, GrowsAndSeeks) {
  TMemoryStream s;
  s.Write("abc", 3);
  s.Seek(5, TSeekOrigin::Begin);
  s.Write("z", 1);  // the gap is zero-filled
  EXPECT_EQ(s.Data(), (std::vector<uint8_t>{'a', 'b', 'c', 0, 0, 'z'}));
  s.Seek(1, TSeekOrigin::Begin);
  EXPECT_EQ(s.ReadRemaining(), (std::vector<uint8_t>{'b', 'c', 0, 0, 'z'}));
  s.Seek(-2, TSeekOrigin::End);
  EXPECT_EQ(s.ReadRemaining(1), (std::vector<uint8_t>{0}));
}

}  // namespace
}  // namespace imprimo
