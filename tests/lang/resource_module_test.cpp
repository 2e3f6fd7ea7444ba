#include "lang/resource_module.h"

#include <gtest/gtest.h>

#include "pe_builder.h"

namespace imprimo {
namespace {

using testing::BuildModule;
using testing::PutU16;
using testing::PutU32;
using testing::RcData;
using testing::TTestResource;

std::string StringBlock(const std::vector<std::u16string>& texts) {
  std::string b;
  for (size_t i = 0; i < 16; ++i) {
    const std::u16string text = i < texts.size() ? texts[i] : u"";
    b.append(2, '\0');
    PutU16(b, b.size() - 2, static_cast<uint32_t>(text.size()));
    b += testing::Utf16Bytes(text);
  }
  return b;
}

TEST(ResourceModule, FindsResourcesByTypeAndName) {
  for (bool pe32Plus : {false, true}) {
    const auto built = BuildModule({RcData("LCHEADER", "header bytes"),
                                    RcData("TFRMMAIN", "window"),
                                    {uint16_t{10}, uint16_t{7}, 0, "by number"},
                                    {uint16_t{3}, u"LCHEADER", 0, "other type"}},
                                   pe32Plus);
    std::string error;
    const auto module = TResourceModule::FromBytes(built.bytes, &error);
    ASSERT_TRUE(module) << error;
    EXPECT_EQ(module->Resources().size(), 4u);
    EXPECT_EQ(module->LoadResource(TResourceName::Id(kRtRcData), TResourceName::Named("LCHEADER")),
              "header bytes");
    // Names compare without regard to case; "#n" is the number n.
    EXPECT_EQ(module->LoadResource(TResourceName::Id(kRtRcData), TResourceName::Named("tfrmMain")),
              "window");
    EXPECT_EQ(module->LoadResource(TResourceName::Id(kRtRcData), TResourceName::Named("#7")),
              "by number");
    EXPECT_EQ(module->LoadResource(TResourceName::Id(3), TResourceName::Named("LCHEADER")),
              "other type");
    EXPECT_FALSE(module->LoadResource(TResourceName::Id(kRtRcData), TResourceName::Named("7")));
    EXPECT_FALSE(
        module->LoadResource(TResourceName::Id(kRtRcData), TResourceName::Named("MISSING")));
    const TResourceInfo* info =
        module->FindResource(TResourceName::Id(kRtRcData), TResourceName::Named("TFRMMAIN"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->size, 6u);
  }
}

TEST(ResourceModule, StringTableBlocks) {
  // Identifiers 32..47 live in block 3.
  const auto built =
      BuildModule({{uint16_t{6}, uint16_t{3}, 0, StringBlock({u"zero", u"", u"two"})}});
  const auto module = TResourceModule::FromBytes(built.bytes);
  ASSERT_TRUE(module);
  EXPECT_EQ(module->LoadString(32), u"zero");
  EXPECT_EQ(module->LoadString(33), u"");
  EXPECT_EQ(module->LoadString(34), u"two");
  EXPECT_FALSE(module->LoadString(48));  // block 4 missing

  // A block cut short ends the strings it holds.
  std::string cut = StringBlock({u"zero", u"one"}).substr(0, 14);
  const auto shortBlock =
      TResourceModule::FromBytes(BuildModule({{uint16_t{6}, uint16_t{1}, 0, cut}}).bytes);
  ASSERT_TRUE(shortBlock);
  EXPECT_EQ(shortBlock->LoadString(0), u"zero");
  EXPECT_FALSE(shortBlock->LoadString(1));
  EXPECT_FALSE(shortBlock->LoadString(5));
}

TEST(ResourceModule, ModuleWithoutResourcesIsEmpty) {
  auto built = BuildModule({});
  const auto module = TResourceModule::FromBytes(built.bytes);
  ASSERT_TRUE(module);
  EXPECT_TRUE(module->Resources().empty());
  // No resource directory entry at all.
  PutU32(built.bytes, 0x40 + 24 + 96 + 16, 0);
  const auto noDirectory = TResourceModule::FromBytes(built.bytes);
  ASSERT_TRUE(noDirectory);
  EXPECT_TRUE(noDirectory->Resources().empty());
}

TEST(ResourceModule, RejectsMalformedHeaders) {
  const std::string good = BuildModule({RcData("A", "x")}).bytes;
  std::string error;
  EXPECT_FALSE(TResourceModule::FromBytes("", &error));
  EXPECT_FALSE(error.empty());
  std::string notMz = good;
  notMz[0] = 'X';
  EXPECT_FALSE(TResourceModule::FromBytes(notMz));
  std::string farHeader = good;
  PutU32(farHeader, 0x3C, 0xFFFFFFF0u);
  EXPECT_FALSE(TResourceModule::FromBytes(farHeader));
  std::string badMagic = good;
  PutU16(badMagic, 0x40 + 24, 0x107);
  EXPECT_FALSE(TResourceModule::FromBytes(badMagic));
  std::string manySections = good;
  PutU16(manySections, 0x40 + 6, 0xFFFF);
  EXPECT_FALSE(TResourceModule::FromBytes(manySections));
  std::string hugeOptional = good;
  PutU16(hugeOptional, 0x40 + 20, 0xFFFF);
  EXPECT_FALSE(TResourceModule::FromBytes(hugeOptional));
}

TEST(ResourceModule, EveryTruncationFailsCleanly) {
  const std::string good =
      BuildModule({RcData("LCHEADER", std::string(40, 'h')), RcData("TFRMMAIN", "w")}).bytes;
  for (size_t n = 0; n < good.size(); ++n) {
    std::string error;
    const auto module = TResourceModule::FromBytes(good.substr(0, n), &error);
    EXPECT_FALSE(module) << "prefix " << n;
  }
  EXPECT_TRUE(TResourceModule::FromBytes(good));
}

TEST(ResourceModule, RejectsBrokenResourceTrees) {
  const auto built = BuildModule({RcData("LCHEADER", "data"), RcData("TFRMMAIN", "more")});
  const size_t root = built.rsrcOffset;
  std::string error;

  std::string outside = built.bytes;  // data RVA beyond the section
  PutU32(outside, built.dataEntryOffsets[0], 0x7FFF0000u);
  EXPECT_FALSE(TResourceModule::FromBytes(outside, &error));
  EXPECT_EQ(error, "resource data outside every section");

  std::string tooLong = built.bytes;  // data running past the section's end
  PutU32(tooLong, built.dataEntryOffsets[0] + 4, 0xFFFFFF00u);
  EXPECT_FALSE(TResourceModule::FromBytes(tooLong));

  std::string loop = built.bytes;  // the type entry points back at the root
  PutU32(loop, root + 16 + 4, 0x80000000u);
  EXPECT_FALSE(TResourceModule::FromBytes(loop, &error));
  EXPECT_EQ(error, "resource directory loop");

  std::string hugeCount = built.bytes;
  PutU16(hugeCount, root + 12, 0xFFFF);
  PutU16(hugeCount, root + 14, 0xFFFF);
  EXPECT_FALSE(TResourceModule::FromBytes(hugeCount));

  std::string badName = built.bytes;  // name string far outside
  const size_t nameDir = root + (static_cast<uint8_t>(built.bytes[root + 20]) |
                                 (static_cast<uint8_t>(built.bytes[root + 21]) << 8));
  PutU32(badName, nameDir + 16, 0x80FFFFF0u);
  EXPECT_FALSE(TResourceModule::FromBytes(badName));

  std::string rootOutside = built.bytes;
  PutU32(rootOutside, 0x40 + 24 + 96 + 16, 0x500000);
  EXPECT_FALSE(TResourceModule::FromBytes(rootOutside));
}

TEST(ResourceModule, LoadsFromFile) {
  std::string error;
  EXPECT_FALSE(TResourceModule::Load("/nonexistent/imprimo.lcf", &error));
  EXPECT_NE(error.find("not found"), std::string::npos);
}

}  // namespace
}  // namespace imprimo
