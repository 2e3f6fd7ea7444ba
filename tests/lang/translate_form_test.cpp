#include "lang/translate_form.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "pe_builder.h"
#include "platform/text.h"

namespace imprimo {
namespace {

using testing::BuildModule;
using testing::HeaderResource;
using testing::RcData;
using testing::Text;
using testing::WindowResource;

// An object with published properties, looked up without regard to case.
class FakeObject : public TPublishedObject {
 public:
  struct TTextProperty {
    std::u16string value;
    bool writable = true;
    int writes = 0;
  };
  std::map<std::string, TTextProperty> texts;
  std::map<std::string, FakeObject*> objects;
  std::map<std::string, std::vector<std::u16string>> lines;
  std::map<std::string, std::vector<FakeObject*>> collections;
  std::map<std::string, bool> others;

  EPropertyKind PropertyKind(std::string_view name) const override {
    const std::string key = LowerCaseUtf8(name);
    if (texts.count(key)) return EPropertyKind::kText;
    if (objects.count(key)) return EPropertyKind::kObject;
    if (lines.count(key)) return EPropertyKind::kLines;
    if (collections.count(key)) return EPropertyKind::kCollection;
    if (others.count(key)) return EPropertyKind::kOther;
    return EPropertyKind::kNone;
  }
  bool IsWritable(std::string_view name) const override {
    return texts.at(LowerCaseUtf8(name)).writable;
  }
  std::u16string GetText(std::string_view name) const override {
    return texts.at(LowerCaseUtf8(name)).value;
  }
  void SetText(std::string_view name, const std::u16string& text) override {
    TTextProperty& p = texts.at(LowerCaseUtf8(name));
    p.value = text;
    ++p.writes;
  }
  TPublishedObject* ObjectValue(std::string_view name) override {
    auto it = objects.find(LowerCaseUtf8(name));
    return it == objects.end() ? nullptr : it->second;
  }
  int LineCount(std::string_view name) const override {
    return static_cast<int>(lines.at(LowerCaseUtf8(name)).size());
  }
  std::u16string GetLine(std::string_view name, int n) const override {
    return lines.at(LowerCaseUtf8(name)).at(n);
  }
  void SetLine(std::string_view name, int n, const std::u16string& text) override {
    lines.at(LowerCaseUtf8(name)).at(n) = text;
  }
  int ItemCount(std::string_view name) const override {
    return static_cast<int>(collections.at(LowerCaseUtf8(name)).size());
  }
  TPublishedObject* Item(std::string_view name, int n) override {
    return collections.at(LowerCaseUtf8(name)).at(n);
  }
};

class FakeForm : public TTranslatableForm {
 public:
  FakeObject self;
  std::map<std::string, std::unique_ptr<FakeObject>> components;  // by lower-case name
  std::vector<std::unique_ptr<FakeObject>> owned;

  FakeForm() {
    self.texts["caption"] = {u"Imprimo"};
    FakeObject& list = Add("ListImgs");
    for (const char16_t* caption : {u"Name", u"Size", u"Status"}) {
      owned.push_back(std::make_unique<FakeObject>());
      owned.back()->texts["caption"] = {caption};
      list.collections["columns"].push_back(owned.back().get());
    }
    FakeObject& combo = Add("cbSaveFormat");
    combo.lines["items"] = {u"BMP", u"GIF", u"JPEG", u"PNG"};
    combo.texts["hint"] = {u"Output format"};
    FakeObject& button = Add("btnGo");
    button.texts["caption"] = {u"Go"};
    button.texts["name"] = {u"btnGo", false};
    button.others["tag"] = true;
    owned.push_back(std::make_unique<FakeObject>());
    owned.back()->texts["color"] = {u"clBtnFace"};
    button.objects["font"] = owned.back().get();
    button.objects["popupmenu"] = nullptr;
  }
  FakeObject& Add(const std::string& name) {
    auto& slot = components[LowerCaseUtf8(name)];
    slot = std::make_unique<FakeObject>();
    return *slot;
  }
  FakeObject& C(const std::string& name) { return *components.at(LowerCaseUtf8(name)); }

  std::string ClassName() const override { return "TfrmMain"; }
  std::string Name() const override { return "frmMain"; }
  TPublishedObject* FindComponent(std::string_view name) override {
    auto it = components.find(LowerCaseUtf8(name));
    return it == components.end() ? nullptr : it->second.get();
  }
  EPropertyKind PropertyKind(std::string_view name) const override {
    return self.PropertyKind(name);
  }
  bool IsWritable(std::string_view name) const override { return self.IsWritable(name); }
  std::u16string GetText(std::string_view name) const override { return self.GetText(name); }
  void SetText(std::string_view name, const std::u16string& text) override {
    self.SetText(name, text);
  }
  TPublishedObject* ObjectValue(std::string_view name) override { return self.ObjectValue(name); }
  int LineCount(std::string_view name) const override { return self.LineCount(name); }
  std::u16string GetLine(std::string_view name, int n) const override {
    return self.GetLine(name, n);
  }
  void SetLine(std::string_view name, int n, const std::u16string& text) override {
    self.SetLine(name, n, text);
  }
  int ItemCount(std::string_view name) const override { return self.ItemCount(name); }
  TPublishedObject* Item(std::string_view name, int n) override { return self.Item(name, n); }
};

bool Apply(FakeForm& form, const std::string& address, const std::u16string& text) {
  return ApplyFormItem(form, {address, text});
}

TEST(ItemAddress, Parsing) {
  const auto a = ParseItemAddress("ListImgs-Columns<1>.Caption-ignored-too");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->component, "ListImgs");
  ASSERT_EQ(a->path.size(), 2u);
  EXPECT_EQ(a->path[0].name, "Columns");
  EXPECT_EQ(a->path[0].indexKind, EIndexKind::kCollection);
  EXPECT_EQ(a->path[0].index, 1);
  EXPECT_EQ(a->path[1].name, "Caption");
  EXPECT_EQ(a->path[1].indexKind, EIndexKind::kNone);

  const auto b = ParseItemAddress("cbSaveFormat-Items(12).x");
  ASSERT_TRUE(b);
  EXPECT_EQ(b->path[0].indexKind, EIndexKind::kLines);
  EXPECT_EQ(b->path[0].index, 12);
  EXPECT_FALSE(ParseItemAddress("cb-Items(x1).x")->path[0].index);
  EXPECT_FALSE(ParseItemAddress("cb-Items(-1).x")->path[0].index);
  EXPECT_FALSE(ParseItemAddress("cb-Items(3.x")->path[0].index);

  EXPECT_FALSE(ParseItemAddress("NoHyphen"));
  EXPECT_FALSE(ParseItemAddress("-Caption"));
  EXPECT_FALSE(ParseItemAddress("btnGo-"));
}

TEST(ApplyFormItem, WindowAndComponentTexts) {
  FakeForm form;
  EXPECT_TRUE(Apply(form, "frmMain-Caption", u"\u6c34\u5370"));
  EXPECT_EQ(form.self.texts["caption"].value, u"\u6c34\u5370");
  EXPECT_TRUE(Apply(form, "FRMMAIN-caption", u"again"));  // names without regard to case
  EXPECT_EQ(form.self.texts["caption"].value, u"again");
  EXPECT_TRUE(Apply(form, "btngo-Caption-anything", u"\u5f00\u59cb"));
  EXPECT_EQ(form.C("btnGo").texts["caption"].value, u"\u5f00\u59cb");
  // The same text again is not written.
  EXPECT_FALSE(Apply(form, "btnGo-Caption", u"\u5f00\u59cb"));
  EXPECT_EQ(form.C("btnGo").texts["caption"].writes, 1);
  EXPECT_TRUE(Apply(form, "btnGo-Font.Color", u"clRed"));
  EXPECT_EQ(form.owned.back()->texts["color"].value, u"clRed");
}

TEST(ApplyFormItem, IndexedPaths) {
  FakeForm form;
  EXPECT_TRUE(Apply(form, "ListImgs-Columns<1>.Caption", u"\u5927\u5c0f"));
  EXPECT_EQ(form.owned[1]->texts["caption"].value, u"\u5927\u5c0f");
  EXPECT_EQ(form.owned[0]->texts["caption"].value, u"Name");

  EXPECT_TRUE(Apply(form, "cbSaveFormat-Items(3).x", u"PNG (zh)"));
  EXPECT_EQ(form.C("cbSaveFormat").lines["items"][3], u"PNG (zh)");
  EXPECT_FALSE(Apply(form, "cbSaveFormat-Items(3)", u"changed"));  // a list is not a text
  EXPECT_EQ(form.C("cbSaveFormat").lines["items"][3], u"PNG (zh)");
  EXPECT_FALSE(Apply(form, "cbSaveFormat-Items(4).x", u"beyond"));
  EXPECT_FALSE(Apply(form, "cbSaveFormat-Items(x).x", u"not a number"));
  EXPECT_FALSE(Apply(form, "cbSaveFormat-Items(99999999999).x", u"huge"));
  EXPECT_EQ(form.C("cbSaveFormat").lines["items"],
            (std::vector<std::u16string>{u"BMP", u"GIF", u"JPEG", u"PNG (zh)"}));

  EXPECT_FALSE(Apply(form, "ListImgs-Columns<3>.Caption", u"beyond"));
  EXPECT_FALSE(Apply(form, "ListImgs-Columns<one>.Caption", u"not a number"));
  EXPECT_FALSE(Apply(form, "ListImgs-Columns(1).Caption", u"wrong index kind"));
  EXPECT_FALSE(Apply(form, "cbSaveFormat-Items<1>.Text", u"wrong index kind"));
}

TEST(ApplyFormItem, SkipsWhatCannotBeSet) {
  FakeForm form;
  EXPECT_FALSE(Apply(form, "btnMissing-Caption", u"x"));
  EXPECT_FALSE(Apply(form, "btnGo-NoSuchProperty", u"x"));
  EXPECT_FALSE(Apply(form, "btnGo-Tag", u"x"));                // not a text
  EXPECT_FALSE(Apply(form, "btnGo-Name", u"x"));               // read-only
  EXPECT_FALSE(Apply(form, "btnGo-Font", u"x"));               // an object, not a text
  EXPECT_FALSE(Apply(form, "btnGo-Caption.Text", u"x"));       // a text has no properties
  EXPECT_FALSE(Apply(form, "btnGo-PopupMenu.Caption", u"x"));  // empty object
  EXPECT_FALSE(Apply(form, "btnGo-Tag.Caption", u"x"));
  EXPECT_FALSE(Apply(form, "garbage", u"x"));
  EXPECT_EQ(form.C("btnGo").texts["caption"].value, u"Go");
  EXPECT_EQ(form.C("btnGo").texts["name"].value, u"btnGo");
}

TEST(TranslateForm, AppliesTheWindowResource) {
  const std::string window = WindowResource({
      {std::string("frmMain-Caption"), Text(u"Imprimo"), Text(u"first")},
      {std::string("frmMain-Caption"), Text(u"Imprimo"), Text(u"second")},
      {std::string("btnGo-Caption"), Text(u"Go"), std::nullopt},
      {std::string("cbSaveFormat-Hint"), Text(u"Output format"), Text(u"\u683c\u5f0f")},
      {std::string("nothing-Caption"), Text(u"x"), Text(u"y")},
  });
  LanguageFile file;
  FakeForm form;
  EXPECT_EQ(TranslateForm(file, form), 0);  // nothing loaded
  ASSERT_EQ(file.OpenBytes(BuildModule({RcData("LCHEADER", HeaderResource(0, {1033, 2052})),
                                        RcData("TFRMMAIN", window)})
                               .bytes,
                           2052),
            1);
  EXPECT_EQ(TranslateForm(file, form), 3);
  // Items apply last first, so the earlier item of the file has the last word.
  EXPECT_EQ(form.self.texts["caption"].value, u"first");
  EXPECT_EQ(form.self.texts["caption"].writes, 2);
  EXPECT_EQ(form.C("btnGo").texts["caption"].value, u"Go");
  EXPECT_EQ(form.C("cbSaveFormat").texts["hint"].value, u"\u683c\u5f0f");

  // A file without a resource for the window changes nothing.
  ASSERT_EQ(file.OpenBytes(BuildModule({RcData("LCHEADER", HeaderResource(0, {1033, 2052})),
                                        RcData("TFRMABOUT", window)})
                               .bytes,
                           2052),
            1);
  FakeForm untouched;
  EXPECT_EQ(TranslateForm(file, untouched), 0);
  EXPECT_EQ(untouched.self.texts["caption"].value, u"Imprimo");
}

}  // namespace
}  // namespace imprimo
