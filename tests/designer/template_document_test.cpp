#include "designer/template_document.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "pipeline/pipeline_test_util.h"
#include "platform/text.h"
#include "templates/template_file.h"

namespace imprimo::testing {
namespace {

// Field-by-field equality of two layer records, with the field named.
void ExpectSameItem(const TMarkItem& a, const TMarkItem& b, const std::string& where) {
  TDesignerLayer la{u"", a, {}}, lb{u"", b, {}};
  EXPECT_TRUE(la == lb) << where << ": desc " << a.Desc << " / " << b.Desc << ", size "
                        << a.FontSize << " / " << b.FontSize << ", text " << Utf16ToUtf8(a.Text)
                        << " / " << Utf16ToUtf8(b.Text);
}

std::vector<TMarkItem> EngineItems(const std::string& path) {
  IniDocument doc = OpenTemplateFile(path);
  std::vector<TMarkItem> items;
  for (const std::u16string& s : doc.SectionNames()) {
    TMarkItem item;
    ReadMarkItem(doc, s, item);
    items.push_back(item);
  }
  return items;
}

// A record with every field away from its default.
TMarkItem Unusual() {
  TMarkItem m;
  m.Enabled = false;
  m.Desc = "Größe & Zeichen";
  m.Style = 0;
  m.Text = u"  \u00A9 {$F} = {$S0007} \u4E2D";
  m.FontName = "DejaVu Serif";
  m.FontColor = 0x123456;
  m.FontSize = 100000;
  m.FontCharSet = 0;
  m.FontStyle = 15;
  m.FontPitch = 2;
  m.Alpha = 55;
  m.Blur = 7;
  m.Angle = -45;
  m.PlaceStyle = 3;
  m.Position = 0;
  m.OffsetX = -2147483647 - 1;
  m.OffsetY = 2147483647;
  m.VertSpace = -5;
  m.HorzSpace = 12;
  m.isShadow = true;
  m.ShadowColor = -2147483643;  // a system colour
  m.ShadowBlur = 3;
  m.ShadowAlpha = 40;
  m.ShadowOffsetX = -20;
  m.ShadowOffsetY = 20;
  m.Outline = true;
  m.HorzMirror = true;
  m.VertMirror = true;
  m.Noise = 200;
  m.Spray = 9;
  m.BGColor = 0xFF00FF;
  m.PictureSize = 77;
  m.Picture = "logo.png";
  m.isBGTransparent = true;
  m.Gradient = true;
  m.GradientStyle = 4;
  m.GradientStartColor = 0x0000FF;
  m.GradientEndColor = -2147483646;
  m.Texture = "wood grain.png";
  m.TextureMode = 3;
  return m;
}

TEST(WriteMarkItem, EveryFieldReadsBackAndUnknownKeysStay) {
  for (uint8_t style : {uint8_t{0}, uint8_t{1}}) {
    IniDocument doc = IniDocument::FromBytes("[L]\r\nMyKey=mine\r\nFontSize=3\r\n");
    TMarkItem m = Unusual();
    m.Style = style;
    WriteMarkItem(doc, u"L", m);
    // Through the bytes, as a run reads a saved file.
    IniDocument back = IniDocument::FromBytes(doc.Serialize());
    TMarkItem r;
    ASSERT_TRUE(ReadMarkItem(back, u"L", r));
    ExpectSameItem(r, m, "style " + std::to_string(style));
    EXPECT_EQ(back.ReadString(u"L", u"MyKey", u""), u"mine");
    EXPECT_EQ(back.ReadString(u"L", u"FontColor", u""), u"0x123456");
    EXPECT_EQ(back.ReadString(u"L", u"ShadowColor", u""), u"0x80000005");
  }
}

TEST(WriteMarkItem, DefaultsOfTheOtherKindAreLeftOutButOldValuesNeverSurvive) {
  IniDocument doc = IniDocument::FromBytes("[P]\r\nNoise=9\r\n");
  TMarkItem logo;
  logo.Style = 1;
  logo.Picture = "a.png";
  WriteMarkItem(doc, u"P", logo);
  EXPECT_FALSE(doc.KeyExists(u"P", u"Text"));
  EXPECT_FALSE(doc.KeyExists(u"P", u"isShadow"));
  EXPECT_EQ(doc.ReadInteger(u"P", u"Noise", -1), 0);  // rewritten, not left at 9
  EXPECT_EQ(doc.ReadString(u"P", u"Picture", u""), u"a.png");
}

TEST(WriteMarkItem, LineBreaksAndTrailingBlanksCannotBeStored) {
  IniDocument doc;
  TMarkItem m;
  m.Text = u"one\r\ntwo  ";
  WriteMarkItem(doc, u"L", m);
  TMarkItem r;
  ReadMarkItem(IniDocument::FromBytes(doc.Serialize()), u"L", r);
  EXPECT_EQ(r.Text, u"one  two");
  EXPECT_EQ(NormalizeMarkItem(m).Text, u"one  two");
}

TEST(Normalize, ValuesAreShownAsTheDrawingUsesThem) {
  TMarkItem t;
  t.Alpha = 500;
  t.ShadowAlpha = 300;
  t.Blur = 250;
  t.Angle = 70000;
  t.ShadowOffsetX = 200;
  t.FontSize = 100000;
  t.Noise = 256;
  t.TextureMode = 7;
  t.Texture = "/home/me/wood.png";
  const TMarkItem n = NormalizeMarkItem(t);
  EXPECT_EQ(n.TextureMode, 0);  // drawn tiled
  EXPECT_EQ(n.Texture, "wood.png");
  EXPECT_EQ(n.Alpha, 244);
  EXPECT_EQ(n.ShadowAlpha, 44);
  EXPECT_EQ(n.Blur, 100);
  EXPECT_EQ(n.Angle, static_cast<int16_t>(70000));
  EXPECT_EQ(n.ShadowOffsetX, -56);
  EXPECT_EQ(n.FontSize, 100000);
  EXPECT_EQ(n.Noise, 0);
  TMarkItem p;
  p.Style = 1;
  p.Alpha = 500;
  p.Picture = "C:\\logos\\mark.png";
  EXPECT_EQ(NormalizeMarkItem(p).Alpha, 100);
  EXPECT_EQ(NormalizeMarkItem(p).Picture, "mark.png");
  p.Alpha = -3;
  EXPECT_EQ(NormalizeMarkItem(p).Alpha, 0);
  // Fit values the drawing does not know show as the plain layer it draws.
  p.SizeMode = 7;
  p.OffsetMode = 3;
  p.ShowOn = -1;
  TMarkItem shown = NormalizeMarkItem(p);
  EXPECT_EQ(shown.SizeMode, 0);
  EXPECT_EQ(shown.OffsetMode, 0);
  EXPECT_EQ(shown.ShowOn, 0);
  p.SizeMode = 2;
  p.RelativeSize = 100000;
  EXPECT_EQ(NormalizeMarkItem(p).SizeMode, 0);
  p.RelativeSize = 1000;
  EXPECT_EQ(NormalizeMarkItem(p).SizeMode, 2);
}

// The same template in every encoding the reader knows.
std::string Encoded(const std::u16string& text, const std::string& encoding) {
  std::string out;
  if (encoding == "utf16le" || encoding == "utf16be") {
    const bool le = encoding == "utf16le";
    out = le ? "\xFF\xFE" : "\xFE\xFF";
    for (char16_t c : text) {
      const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
      out += le ? lo : hi;
      out += le ? hi : lo;
    }
    return out;
  }
  if (encoding == "utf8bom") return "\xEF\xBB\xBF" + Utf16ToUtf8(text);
  if (encoding == "utf8") return Utf16ToUtf8(text);
  for (char16_t c : text) out += static_cast<char>(c);  // Latin-1 text as Windows-1252
  return out;
}

TEST(OpenSave, EveryEncodingOpensAndRoundTrips) {
  TScratchFolder dir;
  const std::u16string text =
      u"[Caption]\r\nDesc=Caf\u00E9 sign\r\nText=\u00A9 Caf\u00E9 {$F}\r\nFontSize=31\r\n"
      u"Future=kept value\r\nPosition=4\r\n\r\n[Logo]\r\nStyle=1\r\nPicture=logo.png\r\n"
      u"Alpha=60\r\n[Caption]\r\nFontSize=44\r\nText=second\r\nLater=1\r\n";
  for (const char* enc : {"utf16le", "utf16be", "utf8bom", "utf8", "cp1252"}) {
    SCOPED_TRACE(enc);
    const std::string path = dir / (std::string(enc) + ".wg");
    WriteText(path, Encoded(text, enc));
    const std::vector<TMarkItem> engine = EngineItems(path);
    TTemplateDocument doc = TTemplateDocument::Open(path);
    ASSERT_EQ(doc.LayerCount(), 3u);
    ASSERT_EQ(engine.size(), 3u);
    // The duplicate gets its own name; both show the last section's values.
    EXPECT_EQ(doc.Layer(0).Section, u"Caption");
    EXPECT_EQ(doc.Layer(2).Section, u"Caption (2)");
    EXPECT_EQ(doc.Layer(0).Item.FontSize, 44);
    EXPECT_FALSE(doc.OpenNotes().empty());
    for (size_t i = 0; i < 3; ++i) ExpectSameItem(doc.Layer(i).Item, engine[i], "layer");
    // The unknown key of the answering section is carried by both copies.
    ASSERT_EQ(doc.Layer(0).ExtraKeys.size(), 1u);
    EXPECT_EQ(doc.Layer(2).ExtraKeys, doc.Layer(0).ExtraKeys);
    EXPECT_EQ(doc.Layer(0).ExtraKeys[0].first, u"Later");
    EXPECT_TRUE(doc.CanSaveInPlace());
    doc.Save();
    // What a run reads from the saved file is what it read before.
    const std::vector<TMarkItem> again = EngineItems(path);
    ASSERT_EQ(again.size(), 3u);
    for (size_t i = 0; i < 3; ++i) ExpectSameItem(again[i], engine[i], "after save");
    EXPECT_EQ(TTemplateDocument::Open(path), doc);
    const std::vector<uint8_t> bytes = ReadBytes(path);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFE);
  }
}

TEST(OpenSave, UnknownKeysAndSectionsAreKept) {
  TScratchFolder dir;
  const std::string path = dir / "t.wg";
  WriteText(path, "[Notes]\r\nAuthor=me\r\nfuture key = a=b\r\n[Text]\r\nText=hi\r\nZoom=3\r\n");
  TTemplateDocument doc = TTemplateDocument::Open(path);
  ASSERT_EQ(doc.LayerCount(), 2u);
  ASSERT_EQ(doc.Layer(0).ExtraKeys.size(), 2u);
  EXPECT_EQ(doc.Layer(0).ExtraKeys[1].first, u"future key");
  doc.SaveAs(dir / "u.wg");
  IniDocument saved = OpenTemplateFile(dir / "u.wg");
  EXPECT_EQ(saved.SectionNames(), (std::vector<std::u16string>{u"Notes", u"Text"}));
  EXPECT_EQ(saved.ReadString(u"Notes", u"Author", u""), u"me");
  EXPECT_EQ(saved.ReadString(u"Notes", u"future key", u""), u" a=b");
  EXPECT_EQ(saved.ReadInteger(u"Text", u"Zoom", 0), 3);
  EXPECT_EQ(doc.Path(), dir / "u.wg");
}

TEST(OpenSave, SectionsTheReaderTakesForOneAreNamedApart) {
  TScratchFolder dir;
  // Upper-cased, "Straße" and "STRASSE" are the same name to the reader.
  WriteText(dir / "t.wg",
            "[Stra\xC3\x9F"
            "e]\r\nText=a\r\n[STRASSE]\r\nText=b\r\n");
  TTemplateDocument doc = TTemplateDocument::Open(dir / "t.wg");
  ASSERT_EQ(doc.LayerCount(), 2u);
  EXPECT_EQ(doc.Layer(1).Section, u"STRASSE (2)");
  EXPECT_EQ(doc.Layer(0).Item.Text, u"b");
  doc.SaveAs(dir / "t.wg");
  IniDocument saved = OpenTemplateFile(dir / "t.wg");
  ASSERT_EQ(saved.SectionCount(), 2u);
  TMarkItem first, second;
  ReadMarkItem(saved, saved.SectionNames()[0], first);
  ReadMarkItem(saved, saved.SectionNames()[1], second);
  EXPECT_EQ(first.Text, u"b");
  EXPECT_EQ(second.Text, u"b");
  // Editing one of them no longer changes the other.
  TMarkItem edited = doc.Layer(1).Item;
  edited.Text = u"c";
  doc.SetItem(1, edited);
  doc.Save();
  saved = OpenTemplateFile(dir / "t.wg");
  ReadMarkItem(saved, saved.SectionNames()[0], first);
  EXPECT_EQ(first.Text, u"b");
}

TEST(OpenSave, SavingThroughALinkReplacesTheLinkedFile) {
  TScratchFolder dir;
  WriteText(dir / "real.wg", "[A]\r\nText=x\r\n");
  fs::create_symlink(dir / "real.wg", dir / "link.wg");
  TTemplateDocument doc = TTemplateDocument::Open(dir / "link.wg");
  doc.AddTextLayer();
  doc.Save();
  EXPECT_TRUE(fs::is_symlink(dir / "link.wg"));
  EXPECT_EQ(TTemplateDocument::Open(dir / "real.wg").LayerCount(), 2u);
}

TEST(OpenSave, ShippedTemplatesRoundTrip) {
  TScratchFolder dir;
  int seen = 0;
  for (const auto& entry : fs::directory_iterator(IMPRIMO_SOURCE_DIR "/data/Watermarks")) {
    if (entry.path().extension() != ".wg") continue;
    ++seen;
    SCOPED_TRACE(entry.path().filename().string());
    const std::vector<TMarkItem> engine = EngineItems(entry.path().string());
    TTemplateDocument doc = TTemplateDocument::Open(entry.path().string());
    EXPECT_TRUE(doc.OpenNotes().empty());
    const std::string copy = dir / entry.path().filename().string();
    doc.SaveAs(copy);
    const std::vector<TMarkItem> again = EngineItems(copy);
    ASSERT_EQ(again.size(), engine.size());
    for (size_t i = 0; i < engine.size(); ++i) ExpectSameItem(again[i], engine[i], "layer");
    EXPECT_EQ(TTemplateDocument::Open(copy), doc);
  }
  EXPECT_GE(seen, 4);
}

TEST(OpenSave, BadInputGivesAReasonOrAnUnwritableDocument) {
  TScratchFolder dir;
  EXPECT_THROW(TTemplateDocument::Open(dir.Path()), TDocumentError);
  EXPECT_THROW(TTemplateDocument::Open(dir / "missing.wg"), TDocumentError);
  ASSERT_EQ(mkfifo((dir / "pipe.wg").c_str(), 0644), 0);
  EXPECT_THROW(TTemplateDocument::Open(dir / "pipe.wg"), TDocumentError);

  // Binary bytes: nothing of a template, so the file is never written over.
  std::vector<uint8_t> binary(5000);
  for (size_t i = 0; i < binary.size(); ++i) binary[i] = static_cast<uint8_t>(i * 7 + (i >> 3));
  WriteBytes(dir / "photo.wg", binary);
  TTemplateDocument doc = TTemplateDocument::Open(dir / "photo.wg");
  EXPECT_FALSE(doc.CanSaveInPlace());
  doc.AddTextLayer();
  EXPECT_THROW(doc.Save(), TDocumentError);
  EXPECT_EQ(ReadBytes(dir / "photo.wg"), binary);
  doc.SaveAs(dir / "new.wg");
  EXPECT_TRUE(doc.CanSaveInPlace());
  // Binary bytes around a line that looks like a section.
  std::vector<uint8_t> mixed = binary;
  const std::string line = "\n[Layer]\nText=x\n";
  mixed.insert(mixed.begin() + 100, line.begin(), line.end());
  WriteBytes(dir / "mixed.wg", mixed);
  TTemplateDocument seemsTemplate = TTemplateDocument::Open(dir / "mixed.wg");
  EXPECT_GE(seemsTemplate.LayerCount(), 1u);
  EXPECT_THROW(seemsTemplate.Save(), TDocumentError);
  EXPECT_EQ(ReadBytes(dir / "mixed.wg"), mixed);

  // 100 MB of text without a section.
  {
    std::ofstream big(dir / "big.wg", std::ios::binary);
    std::string line(1023, 'x');
    line += '\n';
    for (int i = 0; i < 100 * 1024; ++i) big << line;
  }
  TTemplateDocument large = TTemplateDocument::Open(dir / "big.wg");
  EXPECT_EQ(large.LayerCount(), 0u);
  EXPECT_FALSE(large.CanSaveInPlace());

  // Absurd values are shown as they will be drawn.
  WriteText(dir / "absurd.wg",
            "[T]\nText=x\nFontSize=100000\nAlpha=500\n[P]\nStyle=1\nAlpha=500\n");
  TTemplateDocument absurd = TTemplateDocument::Open(dir / "absurd.wg");
  EXPECT_EQ(absurd.Layer(0).Item.FontSize, 100000);
  EXPECT_EQ(absurd.Layer(0).Item.Alpha, 244);
  EXPECT_EQ(absurd.Layer(1).Item.Alpha, 100);
}

TEST(OpenSave, AFailedSaveSaysWhyAndKeepsTheEdits) {
  TScratchFolder dir;
  TTemplateDocument doc = TTemplateDocument::New();
  doc.SaveAs(dir / "a.wg");
  doc.AddTextLayer();
  const std::string before = doc.Serialize();
  WriteText(dir / "file", "x");
  std::vector<std::string> targets = {dir / "file/t.wg", dir / "no/such/folder/t.wg", dir.Path()};
  if (geteuid() != 0) {
    fs::create_directories(dir / "ro");
    fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    targets.push_back(dir / "ro/t.wg");
  }
  for (const std::string& target : targets) {
    SCOPED_TRACE(target);
    try {
      doc.SaveAs(target);
      ADD_FAILURE() << "saved";
    } catch (const TDocumentError& e) {
      EXPECT_NE(std::string(e.what()).find(':'), std::string::npos) << e.what();
    }
    EXPECT_EQ(doc.Path(), dir / "a.wg");
    EXPECT_EQ(doc.Serialize(), before);
  }
  EXPECT_EQ(FilesUnder(dir.Path()), (std::vector<std::string>{"a.wg", "file"}));
}

TEST(Layers, EditingKeepsOrderAndNamesUnique) {
  TTemplateDocument doc = TTemplateDocument::New();
  ASSERT_EQ(doc.LayerCount(), 1u);
  const size_t pic = doc.AddPictureLayer(0, "logo.png");
  EXPECT_EQ(pic, 1u);
  EXPECT_EQ(doc.Layer(1).Item.Style, 1);
  const size_t copy = doc.Duplicate(0);
  EXPECT_EQ(copy, 1u);
  EXPECT_EQ(doc.Layer(1).Section, doc.Layer(0).Section + u" (2)");
  EXPECT_EQ(doc.Move(0, 5), 2u);
  EXPECT_EQ(doc.Layer(2).Section, u"Layer1");
  EXPECT_EQ(doc.Move(2, -10), 0u);
  doc.SetEnabled(2, false);
  doc.Rename(2, "The logo");
  doc.Remove(1);
  ASSERT_EQ(doc.LayerCount(), 2u);
  EXPECT_EQ(doc.Layer(1).Item.Desc, "The logo");
  EXPECT_THROW(doc.Remove(2), std::out_of_range);
  EXPECT_THROW(doc.AddTextLayer(7), std::out_of_range);
  const size_t t = doc.AddTextLayer();
  EXPECT_NE(doc.Layer(t).Section, doc.Layer(0).Section);
  // The written file has the sections in list order.
  IniDocument written = IniDocument::FromBytes(doc.Serialize());
  ASSERT_EQ(written.SectionCount(), 3u);
  EXPECT_EQ(written.SectionNames()[1], doc.Layer(1).Section);
  EXPECT_FALSE(written.ReadBool(doc.Layer(1).Section, u"Enabled", true));
}

TEST(Undo, RestoresTheExactPreviousTemplate) {
  TScratchFolder dir;
  TUndoHistory h(TTemplateDocument::New());
  EXPECT_FALSE(h.IsModified());
  std::vector<std::string> written = {h.Current().Serialize()};
  TTemplateDocument d = h.Current();
  d.AddTextLayer();
  h.Push(d);
  written.push_back(h.Current().Serialize());
  TMarkItem item = d.Layer(1).Item;
  // A slider dragged through several values is one step.
  for (int size : {30, 34, 40}) {
    item.FontSize = size;
    d.SetItem(1, item);
    h.Push(d, "size");
  }
  written.push_back(h.Current().Serialize());
  h.Push(d);  // no change: no step
  EXPECT_TRUE(h.IsModified());
  ASSERT_TRUE(h.Undo());
  EXPECT_EQ(h.Current().Serialize(), written[1]);
  ASSERT_TRUE(h.Undo());
  EXPECT_EQ(h.Current().Serialize(), written[0]);
  EXPECT_FALSE(h.IsModified());
  EXPECT_FALSE(h.Undo());
  ASSERT_TRUE(h.Redo());
  ASSERT_TRUE(h.Redo());
  EXPECT_EQ(h.Current().Serialize(), written[2]);
  EXPECT_FALSE(h.CanRedo());

  // Saving marks the state clean; a new edit after undo drops the redo.
  TTemplateDocument saved = h.Current();
  saved.SaveAs(dir / "s.wg");
  h.Push(saved);  // same layers: not an edit
  h.MarkSaved(saved);
  EXPECT_FALSE(h.IsModified());
  h.Undo();
  EXPECT_TRUE(h.IsModified());
  EXPECT_EQ(h.Current().Path(), dir / "s.wg");
  TTemplateDocument other = h.Current();
  other.Remove(0);
  h.Push(other);
  EXPECT_FALSE(h.CanRedo());
  EXPECT_TRUE(h.IsModified());
}

TEST(Logo, CopyAndTheReplaceQuestion) {
  TScratchFolder dir;
  fs::create_directories(dir / "tpl");
  fs::create_directories(dir / "pics");
  WritePicture(dir / "pics/mark.png", 20, 10, "png");
  TLogoCopyResult r = CopyLogo(dir / "pics/mark.png", dir / "tpl", false);
  EXPECT_EQ(r.Outcome, ELogoCopy::kCopied) << r.Reason;
  EXPECT_EQ(r.FileName, "mark.png");
  EXPECT_EQ(ReadBytes(dir / "tpl/mark.png"), ReadBytes(dir / "pics/mark.png"));
  EXPECT_EQ(CopyLogo(dir / "pics/mark.png", dir / "tpl/", false).Outcome, ELogoCopy::kIdentical);
  EXPECT_EQ(CopyLogo(dir / "tpl/mark.png", dir / "tpl/", false).Outcome, ELogoCopy::kIdentical);

  // Another picture of the same name: asked first, replaced only when confirmed.
  fs::create_directories(dir / "other");
  WritePicture(dir / "other/mark.png", 30, 30, "png");
  const auto before = ReadBytes(dir / "tpl/mark.png");
  r = CopyLogo(dir / "other/mark.png", dir / "tpl", false);
  EXPECT_EQ(r.Outcome, ELogoCopy::kNeedsConfirmation);
  EXPECT_EQ(ReadBytes(dir / "tpl/mark.png"), before);
  r = CopyLogo(dir / "other/mark.png", dir / "tpl", true);
  EXPECT_EQ(r.Outcome, ELogoCopy::kCopied);
  EXPECT_EQ(ReadBytes(dir / "tpl/mark.png"), ReadBytes(dir / "other/mark.png"));

  // Not a picture, missing, or nowhere to write: a reason, nothing written.
  WriteText(dir / "pics/notes.png", "not a picture");
  r = CopyLogo(dir / "pics/notes.png", dir / "tpl", true);
  EXPECT_EQ(r.Outcome, ELogoCopy::kFailed);
  EXPECT_FALSE(r.Reason.empty());
  EXPECT_FALSE(fs::exists(dir / "tpl/notes.png"));
  EXPECT_EQ(CopyLogo(dir / "pics/none.png", dir / "tpl", true).Outcome, ELogoCopy::kFailed);
  r = CopyLogo(dir / "pics/mark.png", dir / "no/folder", true);
  EXPECT_EQ(r.Outcome, ELogoCopy::kFailed);
  EXPECT_FALSE(r.Reason.empty());
}

}  // namespace
}  // namespace imprimo::testing
