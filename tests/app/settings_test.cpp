#include "app/settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "ini/ini_document.h"

namespace imprimo {
namespace {

namespace fs = std::filesystem;

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("imprimo_settings_" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    folder_ = dir_.string() + "/";
  }
  void TearDown() override { fs::remove_all(dir_); }
  void WriteSetup(const std::string& bytes) {
    std::ofstream(folder_ + "Setup.ini", std::ios::binary) << bytes;
  }
  std::string ReadSetup() {
    std::ifstream in(folder_ + "Setup.ini", std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  void ExpectDefaults(const TSettings& s, const TProgramValues& v) {
    TSettings d;
    TProgramValues dv;
    EXPECT_EQ(s.Resize, d.Resize);
    EXPECT_EQ(s.NewWidth, 640);
    EXPECT_EQ(s.NewHeight, 480);
    EXPECT_EQ(s.ResizeMode, 3);
    EXPECT_EQ(s.PathType, 2);
    EXPECT_EQ(s.OutPath, DefaultOutputFolder());
    EXPECT_EQ(s.Quality, 90);
    EXPECT_EQ(s.SaveFormat, 0);
    EXPECT_FALSE(s.Rename);
    EXPECT_EQ(s.RenameTpl, "New####");
    EXPECT_EQ(s.RenameNo, 1);
    EXPECT_TRUE(s.KeepExif);
    EXPECT_FALSE(s.StripLocation);
    EXPECT_TRUE(s.BorderPosition);
    EXPECT_TRUE(s.AutoRotate);
    EXPECT_EQ(v.WinWidth, dv.WinWidth);
    EXPECT_EQ(v.WinHeight, dv.WinHeight);
  }
  fs::path dir_;
  std::string folder_;
};

TEST_F(SettingsTest, FormatTable) {
  EXPECT_STREQ(SaveFormatInfo(0).extension, ".jpg");
  EXPECT_EQ(SaveFormatInfo(0).option, TSaveFormatInfo::kQuality);
  EXPECT_EQ(SaveFormatInfo(3).option, TSaveFormatInfo::kCompression);
  EXPECT_STREQ(SaveFormatInfo(15).listText, "IMG - Daggerfall Image");
  // The newer formats follow the classic 16, so stored indices keep their meaning.
  EXPECT_STREQ(SaveFormatInfo(16).extension, ".webp");
  EXPECT_STREQ(SaveFormatInfo(17).extension, ".avif");
  EXPECT_STREQ(SaveFormatInfo(18).extension, ".tif");
  EXPECT_STREQ(SaveFormatInfo(-1).extension, ".jpg");
  EXPECT_STREQ(SaveFormatInfo(99).extension, ".jpg");
  EXPECT_EQ(DefaultUserFolder().back(), '/');
  // Extensions name formats with or without the dot, in any case, and with
  // the long spellings of JPEG and TIFF.
  EXPECT_EQ(SaveFormatFromExtension("jpeg"), 0);
  EXPECT_EQ(SaveFormatFromExtension(".PNG"), 1);
  EXPECT_EQ(SaveFormatFromExtension("Tiff"), 18);
  EXPECT_EQ(SaveFormatFromExtension("cif"), 14);
  for (const char* bad : {"", ".", "heic", "..jpg", "jpgx"})
    EXPECT_EQ(SaveFormatFromExtension(bad), -1) << bad;
}

TEST_F(SettingsTest, MissingEmptyAndGarbageFilesGiveDefaults) {
  TSettings s;
  TProgramValues v;
  s.Quality = 1;
  LoadSettings(folder_, s, v);
  ExpectDefaults(s, v);

  WriteSetup("");
  LoadSettings(folder_, s, v);
  ExpectDefaults(s, v);

  std::mt19937 rng(5);
  std::string garbage(100000, '\0');
  for (char& c : garbage) c = static_cast<char>(rng());
  WriteSetup("\xFF\xFE" + garbage);
  LoadSettings(folder_, s, v);
  WriteSetup("[Setup]\r\nQuality=7\r\nNewWidth=12" + garbage);
  LoadSettings(folder_, s, v);
  EXPECT_EQ(s.Quality, 7);
  EXPECT_EQ(s.NewWidth, 640);  // the value runs into garbage
  // UTF-16 cut after half a character.
  WriteSetup(
      std::string("\xFF\xFE[\0S\0e\0t\0u\0p\0]\0\n\0Q\0u\0a\0l\0i\0t\0y\0=\0"
                  "5\0"
                  "5",
                  36));
  LoadSettings(folder_, s, v);
  EXPECT_EQ(s.Quality, 5);
}

TEST_F(SettingsTest, ValuesReadAsTheirTypes) {
  WriteSetup(
      "[setup]\nQuality=0x50\nCompress=$9\nResize=True\nDrawBorder=2\nKeepExif=0\n"
      "RenameNo=-5\nWinState=1\nOutPath=\nRenameTpl= {FN}#\nBorderColor=$FF000005\n"
      "NewWidth=1.5\n[Setup]\nNewHeight=300\n");
  TSettings s;
  TProgramValues v;
  LoadSettings(folder_, s, v);
  // The second "Setup" section is the one lookups find.
  EXPECT_EQ(s.NewHeight, 300);
  EXPECT_EQ(s.Quality, 90);
  WriteSetup(
      "[Setup]\nQuality=0x50\nCompress=$9\nResize=True\nDrawBorder=2\nKeepExif=0\n"
      "RenameNo=-5\nWinState=1\nOutPath=\nRenameTpl= {FN}#\nBorderColor=$FF000005\n"
      "NewWidth=1.5\nClose=1\nAutoRotate=0\nStripLocation=1\n");
  LoadSettings(folder_, s, v);
  EXPECT_TRUE(s.StripLocation);
  EXPECT_EQ(s.Quality, 80);
  EXPECT_EQ(s.Compress, 9);
  EXPECT_FALSE(s.Resize);
  EXPECT_TRUE(s.DrawBorder);
  EXPECT_FALSE(s.KeepExif);
  EXPECT_EQ(s.RenameNo, -5);
  EXPECT_EQ(v.WinState, 1);
  EXPECT_EQ(s.OutPath, "");
  EXPECT_EQ(s.RenameTpl, " {FN}#");
  EXPECT_EQ(s.BorderColor, static_cast<int32_t>(0xFF000005u));
  EXPECT_EQ(s.NewWidth, 640);
  EXPECT_TRUE(v.Close);
  EXPECT_FALSE(s.AutoRotate);
}

TEST_F(SettingsTest, SaveKeepsOtherKeysAndAppendsMissingOnes) {
  WriteSetup(
      "; old comment\r\n[Other]\r\nkeep=me\r\n\r\n[Setup]\r\nQuality=50\r\nCustom=x\r\n"
      "  Resize = 1 \r\n");
  TSettings s;
  TProgramValues v;
  LoadSettings(folder_, s, v);
  EXPECT_TRUE(s.Resize);
  s.Quality = 75;
  s.RenameNo = 0x1'0000'0007LL;  // only the low 32 bits are stored
  s.OutPath = "/home/u/Pictures/\xC3\xA9t\xC3\xA9/";
  v.WinState = 2;
  SaveSettings(folder_, s, v);

  std::string bytes = ReadSetup();
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  IniDocument ini = IniDocument::FromBytes(bytes);
  EXPECT_EQ(ini.SectionNames(), (std::vector<std::u16string>{u"Other", u"Setup"}));
  EXPECT_EQ(ini.ReadString(u"Other", u"keep", u""), u"me");
  std::vector<std::u16string> keys = ini.SectionKeys(u"Setup");
  ASSERT_GE(keys.size(), 3u);
  // Existing lines keep their place; the rest follow in the save order.
  EXPECT_EQ(keys[0], u"Quality");
  EXPECT_EQ(keys[1], u"Custom");
  EXPECT_EQ(keys[2], u"Resize");
  EXPECT_EQ(keys[3], u"NewWidth");
  EXPECT_EQ(keys.back(), u"Jobs");
  EXPECT_EQ(keys.size(), 43u);
  EXPECT_EQ(ini.ReadInteger(u"Setup", u"RenameNo", 0), 7);
  EXPECT_EQ(ini.ReadInteger(u"Setup", u"Quality", 0), 75);

  TSettings back;
  TProgramValues backValues;
  LoadSettings(folder_, back, backValues);
  EXPECT_EQ(back.Quality, 75);
  EXPECT_EQ(back.RenameNo, 7);
  EXPECT_EQ(back.OutPath, s.OutPath);
  EXPECT_EQ(backValues.WinState, 2);

  // Saving again gives the same bytes: the file reads back identically.
  SaveSettings(folder_, back, backValues);
  EXPECT_EQ(ReadSetup(), bytes);
}

TEST_F(SettingsTest, SaveOrderOfAFreshFile) {
  TSettings s;
  TProgramValues v;
  SaveSettings(folder_, s, v);
  IniDocument ini = IniDocument::Open(folder_ + "Setup.ini");
  std::vector<std::u16string> expected = {u"Resize",           u"NewWidth",
                                          u"NewHeight",        u"ResizeMode",
                                          u"DrawBorder",       u"BorderTopWidth",
                                          u"BorderRightWidth", u"BorderBottomWidth",
                                          u"BorderLeftWidth",  u"BorderColor",
                                          u"BorderMode",       u"BorderPosition",
                                          u"TplIndex",         u"PathType",
                                          u"Quality",          u"Compress",
                                          u"Colors",           u"ScrPath",
                                          u"OutPath",          u"SaveFormat",
                                          u"ChangeCase",       u"OverwriteOutput",
                                          u"Rename",           u"RenameTpl",
                                          u"RenameNo",         u"KeepExif",
                                          u"WinWidth",         u"WinHeight",
                                          u"WinState",         u"Open",
                                          u"RemoveList",       u"Close",
                                          u"FlattenColor",     u"JpegSubsampling",
                                          u"AutoRotate",       u"StripLocation",
                                          u"WebPLossless",     u"AvifSpeed",
                                          u"TiffCompression",  u"Jobs"};
  // After the program's keys, before its Jobs.
  expected.insert(expected.end() - 1, {u"KeepSourceColors", u"LogLimit"});
  EXPECT_EQ(ini.SectionKeys(u"Setup"), expected);
  EXPECT_EQ(ini.ReadString(u"Setup", u"BorderPosition", u""), u"1");
  EXPECT_EQ(ini.ReadString(u"Setup", u"RenameTpl", u""), u"New####");
}

// A full file with every key away from its default reads and writes back
// byte for byte: a key that loading missed would be written as its default.
TEST_F(SettingsTest, FullFileRoundTripsByteForByte) {
  const std::vector<std::pair<std::u16string, std::u16string>> keys = {
      {u"Resize", u"1"},           {u"NewWidth", u"1024"},
      {u"NewHeight", u"768"},      {u"ResizeMode", u"1"},
      {u"DrawBorder", u"1"},       {u"BorderTopWidth", u"1"},
      {u"BorderRightWidth", u"2"}, {u"BorderBottomWidth", u"3"},
      {u"BorderLeftWidth", u"5"},  {u"BorderColor", u"255"},
      {u"BorderMode", u"2"},       {u"BorderPosition", u"0"},
      {u"TplIndex", u"3"},         {u"PathType", u"1"},
      {u"Quality", u"55"},         {u"Compress", u"7"},
      {u"Colors", u"1"},           {u"ScrPath", u"/src/\u00e9/"},
      {u"OutPath", u"/out/"},      {u"SaveFormat", u"18"},
      {u"ChangeCase", u"0"},       {u"OverwriteOutput", u"1"},
      {u"Rename", u"1"},           {u"RenameTpl", u"{FN}-##"},
      {u"RenameNo", u"-2"},        {u"KeepExif", u"0"},
      {u"WinWidth", u"1200"},      {u"WinHeight", u"900"},
      {u"WinState", u"2"},         {u"Open", u"1"},
      {u"RemoveList", u"1"},       {u"Close", u"1"},
      {u"FlattenColor", u"0"},     {u"JpegSubsampling", u"2"},
      {u"AutoRotate", u"0"},       {u"StripLocation", u"1"},
      {u"WebPLossless", u"1"},     {u"AvifSpeed", u"2"},
      {u"TiffCompression", u"1"},  {u"KeepSourceColors", u"1"},
      {u"LogLimit", u"50000"},     {u"Jobs", u"3"}};
  IniDocument ini = IniDocument::Open(folder_ + "Setup.ini");
  ini.AppendSection(u"Other");
  ini.WriteString(u"Other", u"keep", u"me");
  for (const auto& [key, value] : keys) ini.WriteString(u"Setup", key, value);
  ini.UpdateFile();
  const std::string bytes = ReadSetup();
  TSettings s;
  TProgramValues v;
  LoadSettings(folder_, s, v);
  EXPECT_EQ(s.RenameNo, -2);
  EXPECT_EQ(v.Jobs, 3);
  SaveSettings(folder_, s, v);
  EXPECT_EQ(ReadSetup(), bytes);
}

TEST_F(SettingsTest, UnwritableFolderThrows) {
  TSettings s;
  TProgramValues v;
  EXPECT_THROW(SaveSettings(folder_ + "missing/", s, v), std::runtime_error);
  // A Setup.ini that is a folder cannot be read and is not overwritten.
  fs::create_directory(dir_ / "Setup.ini");
  EXPECT_THROW(SaveSettings(folder_, s, v), std::runtime_error);
  EXPECT_TRUE(fs::is_directory(dir_ / "Setup.ini"));
}

}  // namespace
}  // namespace imprimo
