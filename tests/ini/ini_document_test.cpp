#include "ini/ini_document.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <stdexcept>

#include "platform/text.h"

namespace imprimo {
namespace {

namespace fs = std::filesystem;

IniDocument Doc(std::string_view text) { return IniDocument::FromBytes(text); }

std::string Utf16Bytes(std::u16string_view text, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t c : text) {
    char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
    out += bigEndian ? hi : lo;
    out += bigEndian ? lo : hi;
  }
  return out;
}

class TempDir {
 public:
  TempDir() {
    path_ = fs::temp_directory_path() /
            ("imprimo_ini_" + std::to_string(getpid()) + "_" + std::to_string(counter_++));
    fs::create_directories(path_);
  }
  ~TempDir() { fs::remove_all(path_); }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  static inline int counter_ = 0;
  fs::path path_;
};

TEST(IniDocumentTest, IntegerConversions) {
  IniDocument d =
      Doc("[S]\nhex1=0x50\nhex2=$50\nhex3=x50\nhex4=X50\nhex5=0X50\nblank= 12\nfrac=1.5\n"
          "neg=-7\nplus=+7\nallF=$FFFFFFFF\nnine=$123456789\nmax=2147483647\nover=2147483648\n"
          "min=-2147483648\nunder=-2147483649\nempty=\nsign=-\nmarker=$\nnegHex=-$10\n"
          "lower=0xff\nzeros=0000012\ntrail=12x\n");
  for (const char16_t* k : {u"hex1", u"hex2", u"hex3", u"hex4", u"hex5"})
    EXPECT_EQ(d.ReadInteger(u"S", k, -1), 80) << Utf16ToUtf8(k);
  EXPECT_EQ(d.ReadInteger(u"S", u"blank", -1), 12);
  EXPECT_EQ(d.ReadInteger(u"S", u"frac", -1), -1);
  EXPECT_EQ(d.ReadInteger(u"S", u"neg", 0), -7);
  EXPECT_EQ(d.ReadInteger(u"S", u"plus", 0), 7);
  EXPECT_EQ(d.ReadInteger(u"S", u"allF", 0), -1);
  EXPECT_EQ(d.ReadInteger(u"S", u"nine", 5), 5);
  EXPECT_EQ(d.ReadInteger(u"S", u"max", 0), 2147483647);
  EXPECT_EQ(d.ReadInteger(u"S", u"over", 5), 5);
  EXPECT_EQ(d.ReadInteger(u"S", u"min", 0), INT32_MIN);
  EXPECT_EQ(d.ReadInteger(u"S", u"under", 5), 5);
  EXPECT_EQ(d.ReadInteger(u"S", u"empty", 5), 5);
  EXPECT_EQ(d.ReadInteger(u"S", u"sign", 5), 5);
  EXPECT_EQ(d.ReadInteger(u"S", u"marker", 5), 5);
  EXPECT_EQ(d.ReadInteger(u"S", u"negHex", 0), -16);
  EXPECT_EQ(d.ReadInteger(u"S", u"lower", 0), 255);
  EXPECT_EQ(d.ReadInteger(u"S", u"zeros", 0), 12);
  EXPECT_EQ(d.ReadInteger(u"S", u"trail", 5), 5);
  EXPECT_EQ(d.ReadInteger(u"S", u"missing", 9), 9);
  EXPECT_EQ(d.ReadInteger(u"Nope", u"hex1", 9), 9);
}

TEST(IniDocumentTest, BooleanByteAndTextConversions) {
  IniDocument d = Doc("[S]\nt=True\nf=False\ntwo=2\nzero=0\nbig=300\nminus=-1\ntext= a b\n");
  EXPECT_TRUE(d.ReadBool(u"S", u"t", true));
  EXPECT_FALSE(d.ReadBool(u"S", u"t", false));
  EXPECT_TRUE(d.ReadBool(u"S", u"f", true));
  EXPECT_TRUE(d.ReadBool(u"S", u"two", false));
  EXPECT_FALSE(d.ReadBool(u"S", u"zero", true));
  EXPECT_EQ(d.ReadByte(u"S", u"big", 0), 44);
  EXPECT_EQ(d.ReadByte(u"S", u"minus", 0), 255);
  EXPECT_EQ(d.ReadByte(u"S", u"missing", 7), 7);
  EXPECT_EQ(d.ReadString(u"S", u"text", u"x"), u" a b");
  EXPECT_EQ(d.ReadString(u"S", u"missing", u"def"), u"def");
}

TEST(IniDocumentTest, SyntaxTrimmingCommentsAndCase) {
  IniDocument d =
      Doc("orphan=1\n[Early]\n\t [ Setup ] \x01\r\n; comment=1\n  Key  =  value with blanks \t\n"
          "no equals here\n=empty key\na=b=c\n[\xC3\x84mter]\n\xC3\xA9t\xC3\xA9=summer\n[]\nk=v\n");
  EXPECT_EQ(d.SectionNames(),
            (std::vector<std::u16string>{u"Early", u"Setup", u"\u00C4mter", u""}));
  EXPECT_EQ(d.ReadString(u"Early", u"orphan", u"-"), u"-");
  EXPECT_EQ(d.ReadString(u"setup", u"KEY", u"-"), u"  value with blanks");
  EXPECT_EQ(d.ReadString(u"Setup", u"; comment", u"-"), u"-");
  EXPECT_EQ(d.ReadString(u"Setup", u"no equals here", u"-"), u"-");
  EXPECT_EQ(d.ReadString(u"Setup", u"", u"-"), u"empty key");
  EXPECT_EQ(d.ReadString(u"Setup", u"a", u"-"), u"b=c");
  EXPECT_EQ(d.ReadString(u"\u00E4MTER", u"\u00C9T\u00C9", u"-"), u"summer");
  EXPECT_EQ(d.ReadString(u"", u"k", u"-"), u"v");
  EXPECT_EQ(d.SectionKeys(u"Setup"), (std::vector<std::u16string>{u"Key", u"", u"a"}));
  // The line without "=" is kept and written back; the comment is not.
  std::string written = d.Serialize();
  IniDocument again = IniDocument::FromBytes(written);
  EXPECT_EQ(again.Serialize(), written);
  EXPECT_NE(written.find(Utf16Bytes(u"no equals here", false).substr(2)), std::string::npos);
  EXPECT_EQ(written.find(Utf16Bytes(u"comment", false).substr(2)), std::string::npos);
}

TEST(IniDocumentTest, DuplicateSectionsAndKeys) {
  IniDocument d = Doc("[A]\nk=1\nk=2\nonlyFirst=x\n[B]\nk=b\n[a]\nk=3\nother=y\n");
  EXPECT_EQ(d.SectionNames(), (std::vector<std::u16string>{u"A", u"B", u"a"}));
  EXPECT_EQ(d.ReadInteger(u"A", u"k", 0), 3);
  // Lookups find only the second section.
  EXPECT_EQ(d.ReadString(u"A", u"onlyFirst", u"-"), u"-");
  EXPECT_TRUE(d.SectionExists(u"b"));
  EXPECT_FALSE(d.SectionExists(u"C"));

  IniDocument twice = Doc("[S]\nk=1\nK=2\n");
  EXPECT_EQ(twice.ReadInteger(u"S", u"k", 0), 2);
  twice.WriteInteger(u"S", u"k", 9);
  std::string expected = Utf16Bytes(u"[S]\r\nk=1\r\nk=9\r\n\r\n", false);
  EXPECT_EQ(twice.Serialize(), expected);
}

TEST(IniDocumentTest, WritingReplacesOrAppends) {
  IniDocument d = Doc("[Setup]\nQuality=50\n[Other]\nx=1\n");
  d.WriteInteger(u"SETUP", u"quality", -90);
  d.WriteBool(u"Setup", u"Resize", true);
  d.WriteBool(u"Setup", u"Close", false);
  d.WriteString(u"New", u"Path", u" /home/u/ ");
  EXPECT_EQ(d.Serialize(), Utf16Bytes(u"[Setup]\r\nquality=-90\r\nResize=1\r\nClose=0\r\n\r\n"
                                      u"[Other]\r\nx=1\r\n\r\n[New]\r\nPath= /home/u/ \r\n\r\n",
                                      false));
  EXPECT_EQ(d.ReadInteger(u"Setup", u"Quality", 0), -90);
  EXPECT_EQ(d.ReadString(u"new", u"path", u""), u" /home/u/ ");
}

TEST(IniDocumentTest, EncodingsReadTheSame) {
  std::u16string text = u"[Caf\u00E9]\r\nName=R\u00E9sum\u00E9 \u00FC\r\nN=42\nLast=\u00E0\r";
  std::string utf8 = Utf16ToUtf8(text);
  std::string cp1252 = "[Caf\xE9]\r\nName=R\xE9sum\xE9 \xFC\r\nN=42\nLast=\xE0\r";
  std::vector<std::string> variants = {Utf16Bytes(text, false), Utf16Bytes(text, true),
                                       "\xEF\xBB\xBF" + utf8, utf8, cp1252};
  std::string reference = IniDocument::FromBytes(variants[0]).Serialize();
  for (size_t i = 0; i < variants.size(); ++i) {
    IniDocument d = IniDocument::FromBytes(variants[i]);
    EXPECT_EQ(d.ReadString(u"caf\u00C9", u"name", u""), u"R\u00E9sum\u00E9 \u00FC") << i;
    EXPECT_EQ(d.ReadInteger(u"Caf\u00E9", u"N", 0), 42) << i;
    EXPECT_EQ(d.ReadString(u"Caf\u00E9", u"Last", u""), u"\u00E0") << i;
    EXPECT_EQ(d.Serialize(), reference) << i;
  }
}

TEST(IniDocumentTest, SavedFileStartsWithMarkAndReadsBackIdentically) {
  TempDir dir;
  std::string path = dir.File("Setup.ini");
  std::ofstream(path, std::ios::binary)
      << "; settings\n[Setup]\nQuality=$50\n\n[Keep]\nz=\xC3\xA9\n";
  IniDocument d = IniDocument::Open(path);
  EXPECT_EQ(d.FileName(), path);
  EXPECT_FALSE(d.ReadError());
  d.WriteInteger(u"Setup", u"NewWidth", 800);
  d.UpdateFile();

  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(bytes, d.Serialize());
  IniDocument back = IniDocument::Open(path);
  EXPECT_EQ(back.Serialize(), bytes);
  EXPECT_EQ(back.ReadInteger(u"Setup", u"Quality", 0), 80);
  EXPECT_EQ(back.ReadString(u"Keep", u"z", u""), u"\u00E9");
  // The file keeps its permissions.
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
  back.UpdateFile();
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  // No temporary file is left behind.
  int files = 0;
  for (auto& e : fs::directory_iterator(fs::path(path).parent_path())) files += e.exists();
  EXPECT_EQ(files, 1);
}

TEST(IniDocumentTest, MissingUnreadableAndUnwritableFiles) {
  TempDir dir;
  IniDocument missing = IniDocument::Open(dir.File("none.ini"));
  EXPECT_TRUE(missing.SectionNames().empty());
  EXPECT_FALSE(missing.ReadError());
  IniDocument folder = IniDocument::Open(dir.File(""));
  EXPECT_TRUE(folder.ReadError());
  // A named pipe without a writer must not hang the reader.
  ASSERT_EQ(mkfifo(dir.File("pipe.ini").c_str(), 0600), 0);
  IniDocument pipe = IniDocument::Open(dir.File("pipe.ini"));
  EXPECT_TRUE(pipe.ReadError());
  EXPECT_TRUE(pipe.SectionNames().empty());

  IniDocument nowhere = IniDocument::FromBytes("[S]\nk=1\n", dir.File("no/such/folder.ini"));
  EXPECT_THROW(nowhere.UpdateFile(), std::runtime_error);
  IniDocument unnamed = IniDocument::FromBytes("[S]\n");
  EXPECT_THROW(unnamed.UpdateFile(), std::runtime_error);
}

TEST(IniDocumentTest, BrokenInputNeverFails) {
  EXPECT_TRUE(Doc("").SectionNames().empty());
  EXPECT_TRUE(Doc("\xFF\xFE").SectionNames().empty());
  EXPECT_TRUE(Doc("\xFE\xFF\x00").SectionNames().empty());
  // UTF-16 cut in the middle of a character: the half unit is dropped.
  std::string cut = Utf16Bytes(u"[S]\r\nk=ab", false) + "c";
  EXPECT_EQ(Doc(cut).ReadString(u"S", u"k", u""), u"ab");
  // An unpaired surrogate stays in the text.
  std::string lone = Utf16Bytes(u"[S]\r\nk=", false) + std::string("\x00\xD8", 2);
  EXPECT_EQ(Doc(lone).ReadString(u"S", u"k", u"").size(), 1u);
  std::string nuls("[S]\nk=a\0b\n", 10);
  EXPECT_EQ(Doc(nuls).ReadString(u"S", u"k", u""), std::u16string(u"a\0b", 3));

  std::mt19937 rng(1234);
  for (int round = 0; round < 50; ++round) {
    std::string garbage(1 + rng() % 4000, '\0');
    for (char& c : garbage) c = static_cast<char>(rng());
    if (round % 3 == 0) garbage.insert(0, "\xFF\xFE");
    if (round % 3 == 1) garbage.insert(0, "[S]\n");
    IniDocument d = Doc(garbage);
    IniDocument back = IniDocument::FromBytes(d.Serialize());
    EXPECT_EQ(back.SectionNames().size(), d.SectionNames().size());
  }
}

TEST(IniDocumentTest, ManyKeysAgreeWithSimpleModel) {
  // Enough keys to use the bucket chains, with repeats in mixed case.
  std::mt19937 rng(77);
  std::string text = "[Big]\n";
  std::map<std::string, int> model;
  for (int i = 0; i < 5000; ++i) {
    int id = static_cast<int>(rng() % 700);
    std::string key = "Key" + std::to_string(id);
    if (rng() % 2) key = "kEY" + std::to_string(id);
    text += key + "=" + std::to_string(i) + "\n";
    model["KEY" + std::to_string(id)] = i;
  }
  IniDocument d = Doc(text);
  for (auto& [key, value] : model)
    EXPECT_EQ(d.ReadInteger(u"big", Utf8ToUtf16(key), -1), value) << key;
  EXPECT_EQ(d.ReadInteger(u"Big", u"KEY700", -1), -1);
  // Writing keeps the chains intact.
  d.WriteInteger(u"Big", u"key5", -5);
  d.WriteInteger(u"Big", u"Fresh", 1);
  EXPECT_EQ(d.ReadInteger(u"Big", u"KEY5", 0), -5);
  EXPECT_EQ(d.ReadInteger(u"Big", u"fresh", 0), 1);
  EXPECT_EQ(d.ReadInteger(u"Big", u"key6", -1), model.count("KEY6") ? model["KEY6"] : -1);
}

TEST(IniDocumentTest, CopiesAndMovesAreIndependent) {
  IniDocument a = Doc("[S]\nk=1\n");
  IniDocument b = a;
  b.WriteInteger(u"S", u"k", 2);
  EXPECT_EQ(a.ReadInteger(u"S", u"k", 0), 1);
  IniDocument c = std::move(b);
  EXPECT_EQ(c.ReadInteger(u"S", u"k", 0), 2);
  EXPECT_TRUE(b.SectionNames().empty());  // NOLINT: moved-from stays usable
}

}  // namespace
}  // namespace imprimo
