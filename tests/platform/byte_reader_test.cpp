#include "platform/byte_reader.h"

#include <gtest/gtest.h>

namespace imprimo {
namespace {

TEST(ByteReader, NeverReadsPastTheEnd) {
  const uint8_t d[5] = {1, 2, 3, 4, 5};
  TByteReader r(d);
  EXPECT_EQ(r.U16LE(), 0x0201);
  EXPECT_EQ(r.U16BE(), 0x0304);
  EXPECT_THROW(r.U16LE(), ETruncatedData);
  EXPECT_EQ(r.Position(), 4u);  // a failed read does not move
  EXPECT_EQ(r.U8(), 5);
  EXPECT_THROW(r.U8(), ETruncatedData);
  EXPECT_THROW(r.Peek(), ETruncatedData);
  EXPECT_THROW(r.Seek(6), ETruncatedData);
  r.Seek(1);
  EXPECT_EQ(r.U32BE(), 0x02030405u);
  r.Seek(0);
  EXPECT_THROW(r.Bytes(6), ETruncatedData);
  EXPECT_THROW(r.Skip(static_cast<size_t>(-1)), ETruncatedData);
  EXPECT_EQ(r.Position(), 0u);
}

TEST(ByteReader, EightByteValuesInBothOrders) {
  const uint8_t d[9] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x88, 0x99};
  TByteReader r(d);
  EXPECT_EQ(r.U64BE(), 0x0102030405060788ull);
  r.Seek(1);
  EXPECT_EQ(r.U64LE(), 0x9988070605040302ull);
  r.Seek(2);
  EXPECT_THROW(r.U64BE(), ETruncatedData);
  EXPECT_EQ(r.Position(), 2u);  // not half read
  EXPECT_EQ(LoadU16BE(d + 7), 0x8899);
  EXPECT_EQ(LoadU32BE(d + 5), 0x06078899u);
}

TEST(ByteReader, SubReaderIsBoundedToItsSlice) {
  const uint8_t d[6] = {1, 2, 3, 4, 5, 6};
  TByteReader r(d);
  r.Skip(1);
  TByteReader sub = r.Sub(3);
  EXPECT_EQ(r.Position(), 4u);
  EXPECT_EQ(sub.U16BE(), 0x0203);
  EXPECT_EQ(sub.U8(), 4);
  EXPECT_THROW(sub.U8(), ETruncatedData);  // byte 5 belongs to the parent only
  EXPECT_THROW(r.Sub(3), ETruncatedData);
  EXPECT_EQ(r.I16BE(), 0x0506);
}

TEST(ByteWriter, WritesBothByteOrdersThatTheReaderReadsBack) {
  TByteWriter w;
  w.U16LE(0x1234);
  w.U32BE(0xA1B2C3D4u);
  w.Text("ok");
  TByteReader r(w.Data());
  EXPECT_EQ(r.U16LE(), 0x1234);
  EXPECT_EQ(r.U32BE(), 0xA1B2C3D4u);
  EXPECT_EQ(r.U8(), 'o');
  EXPECT_EQ(r.Remaining(), 1u);
}

}  // namespace
}  // namespace imprimo
