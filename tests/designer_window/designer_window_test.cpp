// The template editor driven through its controls: every edit reaches the
// saved file and the preview, dragging places a layer where it was dropped,
// undo and redo, the questions before losing work, and files that are not
// templates.
#include <sys/stat.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QToolButton>
#include <cstdio>
#include <functional>

#include "designer/color_button.h"
#include "designer/template_document.h"
#include "designer_window_fixture.h"
#include "platform/bitmap.h"
#include "templates/template_state.h"

namespace imprimo::testing_designer {
namespace {

constexpr const char* kProof =
    "[Mark]\r\nText=Proof\r\nFontName=DejaVu Sans\r\nFontSize=24\r\nFontColor=16777215\r\n"
    "Alpha=80\r\nPosition=5\r\n";

// The bounding box of the pixels ApplyTemplate changes on a plain picture.
struct Ink {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  bool Empty() const { return right < 0; }
};
Ink DrawnByRun(const std::string& templatePath, const std::string& folder, int w, int h) {
  TTemplateState state;
  state.TemplateDoc = OpenTemplateFile(templatePath);
  PrepareLayers(state, folder);
  TBitmap bitmap(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) bitmap.SetPixelRGB(x, y, 0x1E3C5A);
  ApplyTemplate(state, bitmap, "sample.bmp");
  Ink ink;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (bitmap.PixelRGB(x, y) != 0x1E3C5A) {
        ink.left = std::min(ink.left, x), ink.top = std::min(ink.top, y);
        ink.right = std::max(ink.right, x), ink.bottom = std::max(ink.bottom, y);
      }
  return ink;
}

class DesignerWindowTest : public DesignerFixture {
 protected:
  void PickColor(const char* button, QColor colour) {
    auto* b = Find<TColorButton>(button);
    ASSERT_NE(b, nullptr) << button;
    b->AskColor = [colour](const QColor&, QWidget*) { return colour; };
    b->click();
  }
  void Activate(const char* combo, int value) {
    auto* c = Find<QComboBox>(combo);
    ASSERT_NE(c, nullptr) << combo;
    const int index = c->findData(value);
    ASSERT_GE(index, 0) << combo << " " << value;
    c->setCurrentIndex(index);
    emit c->activated(index);
  }
  void Spin(const char* name, int value) {
    auto* s = Find<QSpinBox>(name);
    ASSERT_NE(s, nullptr) << name;
    ASSERT_TRUE(s->isEnabled()) << name;
    s->setValue(value);
  }
  void Click(const char* name) {
    auto* b = Find<QAbstractButton>(name);
    ASSERT_NE(b, nullptr) << name;
    b->click();
  }
};

TEST_F(DesignerWindowTest, EveryControlChangesTheSavedKeyAndThePreview) {
  const std::string path = WriteTemplate("Proof", kProof);
  TfrmDesigner& w = Open();
  ASSERT_TRUE(w.OpenDocument(QString::fromStdString(path)));
  WaitPreview();

  struct Step {
    const char* what;
    std::function<void()> edit;
    std::function<bool(const TMarkItem&)> saved;
    bool drawn;  // the preview must change
  };
  const std::vector<Step> steps = {
      {"text", [&] { Find<QPlainTextEdit>("edText")->setPlainText("Proof 2"); },
       [](const TMarkItem& it) { return it.Text == u"Proof 2"; }, true},
      {"family",
       [&] {
         auto* c = Find<QComboBox>("cbFontName");
         c->setEditText("DejaVu Serif");
         emit c->textActivated("DejaVu Serif");
       },
       [](const TMarkItem& it) { return it.FontName == "DejaVu Serif"; }, true},
      {"size", [&] { Spin("seFontSize", 30); },
       [](const TMarkItem& it) { return it.FontSize == 30; }, true},
      {"bold", [&] { Click("btnBold"); }, [](const TMarkItem& it) { return it.FontStyle == 1; },
       true},
      {"italic", [&] { Click("btnItalic"); }, [](const TMarkItem& it) { return it.FontStyle == 3; },
       true},
      {"underline", [&] { Click("btnUnderline"); },
       [](const TMarkItem& it) { return it.FontStyle == 7; }, true},
      {"strike-out", [&] { Click("btnStrikeOut"); },
       [](const TMarkItem& it) { return it.FontStyle == 15; }, true},
      {"colour", [&] { PickColor("btnFontColor", QColor(255, 0, 0)); },
       [](const TMarkItem& it) { return it.FontColor == 0x0000FF; }, true},
      {"character set", [&] { Activate("cbFontCharSet", 204); },
       [](const TMarkItem& it) { return it.FontCharSet == 204; }, false},
      {"pitch", [&] { Activate("cbFontPitch", 2); },
       [](const TMarkItem& it) { return it.FontPitch == 2; }, false},
      {"opacity", [&] { Spin("seAlpha", 40); }, [](const TMarkItem& it) { return it.Alpha == 40; },
       true},
      {"angle", [&] { Spin("seAngle", 30); }, [](const TMarkItem& it) { return it.Angle == 30; },
       true},
      {"blur", [&] { Spin("seBlur", 5); }, [](const TMarkItem& it) { return it.Blur == 5; }, true},
      {"outline", [&] { Click("cbOutline"); }, [](const TMarkItem& it) { return it.Outline; },
       true},
      {"mirror left-right", [&] { Click("cbHorzMirror"); },
       [](const TMarkItem& it) { return it.HorzMirror; }, true},
      {"mirror top-bottom", [&] { Click("cbVertMirror"); },
       [](const TMarkItem& it) { return it.VertMirror; }, true},
      {"shadow",
       [&] {
         auto* g = Find<QGroupBox>("gbShadow");
         g->setChecked(true);
         emit g->clicked(true);
       },
       [](const TMarkItem& it) { return it.isShadow; }, true},
      {"shadow colour", [&] { PickColor("btnShadowColor", QColor(0, 0, 255)); },
       [](const TMarkItem& it) { return it.ShadowColor == 0xFF0000; }, true},
      {"shadow opacity", [&] { Spin("seShadowAlpha", 100); },
       [](const TMarkItem& it) { return it.ShadowAlpha == 100; }, true},
      {"shadow blur", [&] { Spin("seShadowBlur", 3); },
       [](const TMarkItem& it) { return it.ShadowBlur == 3; }, true},
      {"shadow x", [&] { Spin("seShadowOffsetX", 6); },
       [](const TMarkItem& it) { return it.ShadowOffsetX == 6; }, true},
      {"shadow y", [&] { Spin("seShadowOffsetY", -6); },
       [](const TMarkItem& it) { return it.ShadowOffsetY == -6; }, true},
      {"position", [&] { Click("btnPos1"); }, [](const TMarkItem& it) { return it.Position == 1; },
       true},
      {"offset x", [&] { Spin("seOffsetX", 12); },
       [](const TMarkItem& it) { return it.OffsetX == 12; }, true},
      {"offset y", [&] { Spin("seOffsetY", 9); },
       [](const TMarkItem& it) { return it.OffsetY == 9; }, true},
      {"name", [&] { Find<QLineEdit>("edDesc")->textEdited("Proof layer"); },
       [](const TMarkItem& it) { return it.Desc == "Proof layer"; }, false},
      {"tiles", [&] { Activate("cbPlaceStyle", 1); },
       [](const TMarkItem& it) { return it.PlaceStyle == 1; }, true},
      {"horizontal gap", [&] { Spin("seHorzSpace", 40); },
       [](const TMarkItem& it) { return it.HorzSpace == 40; }, true},
      {"vertical gap", [&] { Spin("seVertSpace", 30); },
       [](const TMarkItem& it) { return it.VertSpace == 30; }, true},
      {"gradient",
       [&] {
         auto* g = Find<QGroupBox>("gbGradient");
         g->setChecked(true);
         emit g->clicked(true);
       },
       [](const TMarkItem& it) { return it.Gradient; }, true},
      {"gradient direction", [&] { Activate("cbGradientStyle", 2); },
       [](const TMarkItem& it) { return it.GradientStyle == 2; }, true},
      {"gradient start", [&] { PickColor("btnGradientStartColor", QColor(0, 255, 0)); },
       [](const TMarkItem& it) { return it.GradientStartColor == 0x00FF00; }, true},
      {"gradient end", [&] { PickColor("btnGradientEndColor", QColor(0, 0, 255)); },
       [](const TMarkItem& it) { return it.GradientEndColor == 0xFF0000; }, true},
      {"noise", [&] { Spin("seNoise", 80); }, [](const TMarkItem& it) { return it.Noise == 80; },
       true},
      {"spray", [&] { Spin("seSpray", 4); }, [](const TMarkItem& it) { return it.Spray == 4; },
       true},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    const QImage before = w.PreviewPicture();
    step.edit();
    WaitPreview();
    if (step.drawn) {
      EXPECT_NE(w.PreviewPicture(), before);
    }
    ASSERT_TRUE(w.Save());
    EXPECT_FALSE(w.isWindowModified());
    EXPECT_TRUE(step.saved(ReadLayer(path, 0)));
  }
  EXPECT_TRUE(messages_.empty());
}

TEST_F(DesignerWindowTest, PictureLayerControlsReachTheFile) {
  WriteImage(wm_ + "logo.bmp", 40, 30, "BMP", QColor(255, 255, 255));
  // A red square in a white frame: keying out white leaves the square.
  {
    QImage logo(40, 30, QImage::Format_RGB32);
    logo.fill(Qt::white);
    for (int y = 8; y < 22; ++y)
      for (int x = 10; x < 30; ++x) logo.setPixel(x, y, qRgb(255, 0, 0));
    ASSERT_TRUE(logo.save(QString::fromStdString(wm_ + "logo.bmp"), "BMP"));
  }
  const std::string path =
      WriteTemplate("Logo", "[Logo]\r\nStyle=1\r\nPicture=logo.bmp\r\nAlpha=100\r\nPosition=5\r\n");
  TfrmDesigner& w = Open();
  ASSERT_TRUE(w.OpenDocument(QString::fromStdString(path)));
  WaitPreview();
  EXPECT_FALSE(Find<QWidget>("gbText")->isVisibleTo(w.Editor()));
  EXPECT_TRUE(Find<QWidget>("gbPicture")->isVisibleTo(w.Editor()));
  EXPECT_EQ(Find<QLineEdit>("edPicture")->text(), "logo.bmp");

  QImage before = w.PreviewPicture();
  Click("cbBGTransparent");
  WaitPreview();
  EXPECT_NE(w.PreviewPicture(), before);
  ASSERT_TRUE(w.Save());
  EXPECT_TRUE(ReadLayer(path, 0).isBGTransparent);

  before = w.PreviewPicture();
  PickColor("btnBGColor", QColor(255, 0, 0));
  WaitPreview();
  EXPECT_NE(w.PreviewPicture(), before);
  Spin("sePictureSize", 3);
  ASSERT_TRUE(w.Save());
  EXPECT_EQ(ReadLayer(path, 0).BGColor, 0x0000FF);
  EXPECT_EQ(ReadLayer(path, 0).PictureSize, 3);

  before = w.PreviewPicture();
  Spin("seAlpha", 30);
  WaitPreview();
  EXPECT_NE(w.PreviewPicture(), before);
}

TEST_F(DesignerWindowTest, DraggingToTheBottomRightSavesATemplateDrawnThere) {
  const std::string path = WriteTemplate(
      "Drag",
      "[Mark]\r\nText=Mark\r\nFontName=DejaVu Sans\r\nFontSize=16\r\nAlpha=100\r\nPosition=1\r\n");
  TfrmDesigner& w = Open();
  ASSERT_TRUE(w.OpenDocument(QString::fromStdString(path)));
  WaitPreview();
  TDesignerPreviewView* view = w.PreviewView();
  ASSERT_EQ(view->Boxes().size(), 1u);
  const TLayerBox box = view->Boxes()[0];
  ASSERT_TRUE(box.Visible);
  EXPECT_LT(box.Box.Right, 160);
  EXPECT_LT(box.Box.Bottom, 120);

  // Grab the middle of the box and drop it so the box ends in the corner.
  const QPointF grab(box.Box.Left + box.Box.Width() / 2.0, box.Box.Top + box.Box.Height() / 2.0);
  const QPointF drop = grab + QPointF(320 - box.Box.Right, 240 - box.Box.Bottom);
  QWidget* vp = view->viewport();
  QTest::mousePress(vp, Qt::LeftButton, {}, view->ToView(grab).toPoint());
  const QImage before = w.PreviewPicture();
  QTest::mouseMove(vp, view->ToView((grab + drop) / 2).toPoint());
  // While dragging, the preview shows the layer moving; the document waits
  // for the drop.
  WaitPreview();
  EXPECT_NE(w.PreviewPicture(), before);
  EXPECT_FALSE(w.isWindowModified());
  EXPECT_EQ(w.Document().Layer(0).Item.Position, 1);
  QTest::mouseMove(vp, view->ToView(drop).toPoint());
  QTest::mouseRelease(vp, Qt::LeftButton, {}, view->ToView(drop).toPoint());
  EXPECT_TRUE(w.isWindowModified());
  ASSERT_TRUE(w.Save());

  const TMarkItem item = ReadLayer(path, 0);
  EXPECT_EQ(item.Position, 9);
  // The mouse moves in screen pixels: the drop is exact up to one of them.
  const double slack = 1 / view->Zoom() + 1;
  EXPECT_LE(std::abs(item.OffsetX), slack);
  EXPECT_LE(std::abs(item.OffsetY), slack);
  const Ink ink = DrawnByRun(path, wm_, 320, 240);
  ASSERT_FALSE(ink.Empty());
  EXPECT_GE(ink.left, 160);
  EXPECT_GE(ink.top, 120);
  EXPECT_GE(ink.right, 320 - 1 - 2 * slack);
  EXPECT_GE(ink.bottom, 240 - 1 - 2 * slack - 6);  // below the baseline: the descent

  // One drag is one undo step.
  Trigger("actUndo");
  EXPECT_EQ(w.Document().Layer(0).Item.Position, 1);
  EXPECT_EQ(w.Document().Layer(0).Item.OffsetX, 0);
}

TEST_F(DesignerWindowTest, UndoAndRedoRestoreTheExactTemplate) {
  const std::string path = WriteTemplate("Undo", kProof);
  TfrmDesigner& w = Open();
  ASSERT_TRUE(w.OpenDocument(QString::fromStdString(path)));
  const std::string original = w.Document().Serialize();
  EXPECT_FALSE(Find<QAction>("actUndo")->isEnabled());

  // Typing a word is one step, not one per letter.
  auto* text = Find<QPlainTextEdit>("edText");
  text->setFocus();
  text->moveCursor(QTextCursor::End);
  QTest::keyClicks(text, " copy");
  EXPECT_EQ(w.Document().Layer(0).Item.Text, u"Proof copy");
  const std::string typed = w.Document().Serialize();
  Spin("seAlpha", 55);
  const std::string spun = w.Document().Serialize();
  EXPECT_TRUE(w.isWindowModified());

  // The keys work from inside the text box as well.
  QTest::keyClick(text, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(w.Document().Serialize(), typed);
  EXPECT_EQ(Find<QSpinBox>("seAlpha")->value(), 80);
  QTest::keyClick(text, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(w.Document().Serialize(), original);
  EXPECT_EQ(text->toPlainText(), "Proof");
  EXPECT_FALSE(w.isWindowModified());
  QTest::keyClick(text, Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(w.Document().Serialize(), typed);
  QTest::keyClick(text, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(w.Document().Serialize(), spun);
  EXPECT_FALSE(Find<QAction>("actRedo")->isEnabled());

  // Layer commands undo too.
  Trigger("actDuplicate");
  Trigger("actAddText");
  EXPECT_EQ(w.Document().LayerCount(), 3u);
  Trigger("actUndo");
  Trigger("actUndo");
  EXPECT_EQ(w.Document().Serialize(), spun);
  WaitPreview();
}

TEST_F(DesignerWindowTest, LayerListCommandsEditTheDocumentInDrawingOrder) {
  const std::string path = WriteTemplate("List", kProof);
  TfrmDesigner& w = Open();
  ASSERT_TRUE(w.OpenDocument(QString::fromStdString(path)));
  auto* list = Find<QListWidget>("lvLayers");
  ASSERT_EQ(list->count(), 1);
  Trigger("actAddText");
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(w.CurrentLayer(), 1);
  Trigger("actMoveUp");
  EXPECT_EQ(w.CurrentLayer(), 0);
  EXPECT_EQ(w.Document().Layer(1).Item.Text, u"Proof");
  EXPECT_FALSE(Find<QAction>("actMoveUp")->isEnabled());

  // Unticking and renaming in the list.
  list->item(1)->setCheckState(Qt::Unchecked);
  EXPECT_FALSE(w.Document().Layer(1).Item.Enabled);
  list->item(1)->setText("Renamed");
  EXPECT_EQ(w.Document().Layer(1).Item.Desc, "Renamed");
  WaitPreview();
  ASSERT_TRUE(w.Save());
  EXPECT_FALSE(ReadLayer(path, 1).Enabled);
  EXPECT_EQ(ReadLayer(path, 1).Desc, "Renamed");

  // The Delete key removes the layer from the list, but only a character
  // from the text box.
  auto* text = Find<QPlainTextEdit>("edText");
  text->setFocus();
  text->moveCursor(QTextCursor::Start);
  QTest::keyClick(text, Qt::Key_Delete);
  EXPECT_EQ(w.Document().LayerCount(), 2u);
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Delete);
  EXPECT_EQ(w.Document().LayerCount(), 1u);
  Trigger("actUndo");
  ASSERT_EQ(w.Document().LayerCount(), 2u);

  w.SelectLayer(1);
  Trigger("actDuplicate");
  EXPECT_EQ(w.Document().LayerCount(), 3u);
  EXPECT_EQ(w.CurrentLayer(), 2);
  Trigger("actDelete");
  Trigger("actDelete");
  Trigger("actDelete");
  EXPECT_EQ(list->count(), 0);
  EXPECT_FALSE(Find<QAction>("actDelete")->isEnabled());
  EXPECT_FALSE(w.Editor()->isEnabled());
  WaitPreview();
}

TEST_F(DesignerWindowTest, VariablesMenuInsertsAtTheCursor) {
  const std::string path = WriteTemplate("Vars", kProof);
  TfrmDesigner& w = Open();
  ASSERT_TRUE(w.OpenDocument(QString::fromStdString(path)));
  auto* text = Find<QPlainTextEdit>("edText");
  text->moveCursor(QTextCursor::End);
  w.Editor()->AskSequenceStart = [](int& start, QWidget*) {
    start = 7;
    return true;
  };
  Trigger("miVarSequence");
  QAction* fileName = nullptr;
  for (QAction* a : w.findChildren<QAction*>())
    if (a->data().toString() == "{$FU}") fileName = a;
  ASSERT_NE(fileName, nullptr);
  fileName->trigger();
  EXPECT_EQ(w.Document().Layer(0).Item.Text, u"Proof{$S7}{$FU}");
  // The preview expands them as a run would: the sample is sample.bmp.
  WaitPreview();
}

TEST_F(DesignerWindowTest, TitleAndCloseQuestion) {
  TfrmDesigner& w = Open();
  EXPECT_TRUE(w.windowTitle().startsWith("Untitled"));
  EXPECT_TRUE(w.windowTitle().endsWith("MarkDesigner"));
  EXPECT_FALSE(w.isWindowModified());
  Spin("seFontSize", 40);
  EXPECT_TRUE(w.isWindowModified());

  // Cancel keeps the window; nothing is written.
  answers_ = {QMessageBox::Cancel};
  EXPECT_FALSE(w.close());
  EXPECT_TRUE(w.isVisible());
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].Icon, QMessageBox::Question);

  // Save asks for a name (a new template) and then closes.
  const QString target = QString::fromStdString(wm_ + "Fresh");
  answers_ = {QMessageBox::Save};
  files_ = {target};
  EXPECT_TRUE(w.close());
  EXPECT_TRUE(fs::exists(wm_ + "Fresh.wg"));
  EXPECT_EQ(ReadLayer(wm_ + "Fresh.wg", 0).FontSize, 40);
  EXPECT_EQ(w.windowTitle(), QString::fromUtf8("Fresh.wg[*] \u2014 MarkDesigner"));

  // Discard closes without writing.
  w.show();
  Spin("seFontSize", 41);
  answers_ = {QMessageBox::Discard};
  EXPECT_TRUE(w.close());
  EXPECT_EQ(ReadLayer(wm_ + "Fresh.wg", 0).FontSize, 40);

  // Opening another file asks too; Cancel keeps the edits.
  w.show();
  Spin("seFontSize", 42);
  answers_ = {QMessageBox::Cancel};
  files_ = {QString::fromStdString(wm_ + "Fresh.wg")};
  Trigger("actOpen");
  EXPECT_EQ(w.Document().Layer(0).Item.FontSize, 42);
  EXPECT_EQ(files_.size(), 1u);  // the open dialog was never shown
  answers_ = {QMessageBox::Discard};
  w.close();
}

TEST_F(DesignerWindowTest, SavingWhereItCannotBeWrittenSaysWhyAndKeepsTheEdits) {
  const std::string path = WriteTemplate("Kept", kProof);
  TfrmDesigner& w = Open();
  ASSERT_TRUE(w.OpenDocument(QString::fromStdString(path)));
  Spin("seFontSize", 33);
  const std::string edited = w.Document().Serialize();

  // A folder that is a file can be written by nobody, not even root.
  WriteText(folder_ + "plain.txt", "x");
  EXPECT_FALSE(w.SaveTo(QString::fromStdString(folder_ + "plain.txt/Kept.wg")));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].Icon, QMessageBox::Critical);
  EXPECT_TRUE(messages_[0].Text.contains("plain.txt")) << messages_[0].Text.toStdString();
  EXPECT_TRUE(w.isWindowModified());
  EXPECT_EQ(w.Document().Serialize(), edited);
  EXPECT_EQ(w.Document().Path(), path);

  if (::geteuid() != 0) {
    fs::create_directories(root_ / "ro");
    fs::permissions(root_ / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(w.SaveTo(QString::fromStdString((root_ / "ro" / "Kept.wg").string())));
    ASSERT_EQ(messages_.size(), 2u);
    EXPECT_TRUE(messages_[1].Text.contains("ermission")) << messages_[1].Text.toStdString();
    EXPECT_TRUE(w.isWindowModified());
  }
  // The original file is untouched, and a save in place still works.
  EXPECT_EQ(ReadFile(path), kProof);
  EXPECT_TRUE(w.Save());
  EXPECT_EQ(ReadLayer(path, 0).FontSize, 33);
}

TEST_F(DesignerWindowTest, FilesThatAreNotTemplatesOpenWithoutACrash) {
  TfrmDesigner& w = Open();
  const std::string before = w.Document().Serialize();

  // A folder and a missing file are refused with a message.
  fs::create_directories(wm_ + "folder.wg");
  EXPECT_FALSE(w.OpenDocument(QString::fromStdString(wm_ + "folder.wg")));
  EXPECT_FALSE(w.OpenDocument(QString::fromStdString(wm_ + "missing.wg")));
  ASSERT_EQ(messages_.size(), 2u);
  for (const ShownMessage& m : messages_) EXPECT_EQ(m.Icon, QMessageBox::Critical);
  EXPECT_EQ(w.Document().Serialize(), before);

  // A 100 MB file and binary bytes are refused, or open as what the engine
  // makes of them; such a file is never written over.
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary.push_back(char((i * 131 + 7) & 0xFF));
  WriteText(wm_ + "binary.wg", binary);
  {
    std::ofstream big(wm_ + "big.wg", std::ios::binary);
    big.seekp(100 * 1024 * 1024 - 1);
    big.put('\0');
  }
  for (const char* name : {"binary.wg", "big.wg"}) {
    SCOPED_TRACE(name);
    const std::string path = wm_ + name;
    const auto size = fs::file_size(path);
    const std::string head = ReadFile(path).substr(0, 4096);
    messages_.clear();
    if (w.OpenDocument(QString::fromStdString(path))) {
      WaitPreview();
      if (!w.Document().CanSaveInPlace()) {
        files_.clear();  // Save As is cancelled
        EXPECT_FALSE(w.Save());
      }
    } else {
      ASSERT_EQ(messages_.size(), 1u);
      EXPECT_EQ(messages_[0].Icon, QMessageBox::Critical);
    }
    EXPECT_EQ(fs::file_size(path), size);
    EXPECT_EQ(ReadFile(path).substr(0, 4096), head);
  }

  // Absurd values are shown as the drawing uses them.
  const std::string absurd = WriteTemplate(
      "Absurd", "[Big]\r\nText=Huge\r\nFontSize=100000\r\nAlpha=500\r\nFontName=No Such Font\r\n");
  ASSERT_TRUE(w.OpenDocument(QString::fromStdString(absurd)));
  WaitPreview();
  const TMarkItem& shown = w.Document().Layer(0).Item;
  EXPECT_EQ(Find<QSpinBox>("seFontSize")->value(), shown.FontSize);
  // An opacity beyond 100 draws fully opaque, and is shown so.
  EXPECT_EQ(Find<QSpinBox>("seAlpha")->value(), std::min(shown.Alpha, 100));
  EXPECT_EQ(Find<QComboBox>("cbFontName")->currentText(), "No Such Font");
  EXPECT_TRUE(Find<QWidget>("lbFontFace")->isVisibleTo(w.Editor()));
}

TEST_F(DesignerWindowTest, TextureFillIsChosenBesideTheTemplateAndUndoneInOneStep) {
  const std::string path =
      WriteTemplate("Tex",
                    "[Mark]\r\nText=MMMM\r\nFontName=DejaVu Sans\r\nFontSize=40\r\nFontStyle=1\r\n"
                    "FontColor=16777215\r\nAlpha=100\r\nPosition=5\r\n");
  TfrmDesigner& w = Open();
  ASSERT_TRUE(w.OpenDocument(QString::fromStdString(path)));
  WaitPreview();
  EXPECT_FALSE(Find<QWidget>("gbTexture")->isHidden());  // shown for a text layer
  EXPECT_TRUE(Find<QLineEdit>("edTexture")->text().isEmpty());
  const QImage plain = w.PreviewPicture();
  ASSERT_TRUE(w.Save());
  EXPECT_EQ(ReadFile(path).find("Texture"), std::string::npos);

  // Red and green stripes, chosen from another folder: copied beside the template.
  const std::string source = (root_ / "pics" / "stripes.png").string();
  fs::create_directories(root_ / "pics");
  {
    QImage tex(8, 8, QImage::Format_RGB32);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) tex.setPixel(x, y, x < 4 ? qRgb(255, 0, 0) : qRgb(0, 255, 0));
    ASSERT_TRUE(tex.save(QString::fromStdString(source), "PNG"));
  }
  files_ = {QString::fromStdString(source)};
  Click("btnTexture");
  EXPECT_EQ(w.Document().Layer(0).Item.Texture, "stripes.png");
  EXPECT_EQ(ReadFile(wm_ + "stripes.png"), ReadFile(source));
  EXPECT_EQ(Find<QLineEdit>("edTexture")->text(), "stripes.png");
  WaitPreview();
  const QImage textured = w.PreviewPicture();
  ASSERT_EQ(textured.size(), plain.size());
  int white = 0, red = 0, green = 0;
  for (int y = 0; y < plain.height(); ++y)
    for (int x = 0; x < plain.width(); ++x) {
      const QRgb p = plain.pixel(x, y), t = textured.pixel(x, y);
      if (qRed(p) < 250 || qGreen(p) < 250 || qBlue(p) < 250) continue;
      ++white;  // a letter pixel of the plain text
      red += qRed(t) > 200 && qGreen(t) < 60;
      green += qGreen(t) > 200 && qRed(t) < 60;
    }
  EXPECT_GT(white, 50);
  EXPECT_EQ(red + green, white);  // every letter pixel takes a texture colour
  EXPECT_GT(red, 0);
  EXPECT_GT(green, 0);

  Activate("cbTextureMode", 1);
  ASSERT_TRUE(w.Save());
  TMarkItem saved = ReadLayer(path, 0);
  EXPECT_EQ(saved.Texture, "stripes.png");
  EXPECT_EQ(saved.TextureMode, 1);

  // One undo step per edit: the mode, then the picture.
  Trigger("actUndo");
  EXPECT_EQ(w.Document().Layer(0).Item.TextureMode, 0);
  EXPECT_EQ(w.Document().Layer(0).Item.Texture, "stripes.png");
  Trigger("actUndo");
  EXPECT_TRUE(w.Document().Layer(0).Item.Texture.empty());
  WaitPreview();
  EXPECT_EQ(w.PreviewPicture(), plain);
  Trigger("actRedo");
  EXPECT_EQ(w.Document().Layer(0).Item.Texture, "stripes.png");

  // A different picture of that name: kept unless the user agrees.
  const std::string other = (root_ / "other" / "stripes.png").string();
  WriteImage(other, 8, 8, "PNG", QColor(0, 0, 255));
  files_ = {QString::fromStdString(other)};
  answers_ = {QMessageBox::No};
  Click("btnTexture");
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].Icon, QMessageBox::Question);
  EXPECT_EQ(ReadFile(wm_ + "stripes.png"), ReadFile(source));

  // Removing it takes the keys out and draws the plain text again.
  Click("btnTextureClear");
  EXPECT_TRUE(w.Document().Layer(0).Item.Texture.empty());
  WaitPreview();
  EXPECT_EQ(w.PreviewPicture(), plain);
  ASSERT_TRUE(w.Save());
  EXPECT_TRUE(ReadLayer(path, 0).Texture.empty());
}

TEST_F(DesignerWindowTest, PictureLayersCopyTheLogoAndAskBeforeReplacingOne) {
  const std::string path = WriteTemplate("Logos", kProof);
  TfrmDesigner& w = Open();
  ASSERT_TRUE(w.OpenDocument(QString::fromStdString(path)));
  const std::string source = (root_ / "pics" / "badge.png").string();
  WriteImage(source, 24, 24, "PNG", QColor(200, 20, 20));

  files_ = {QString::fromStdString(source)};
  Trigger("actAddPicture");
  ASSERT_EQ(w.Document().LayerCount(), 2u);
  EXPECT_EQ(w.Document().Layer(1).Item.Picture, "badge.png");
  EXPECT_NE(w.Document().Layer(1).Item.Style, 0);
  EXPECT_EQ(ReadFile(wm_ + "badge.png"), ReadFile(source));
  EXPECT_TRUE(messages_.empty());

  // Another picture of the same name: refused, then accepted.
  const std::string other = (root_ / "other" / "badge.png").string();
  WriteImage(other, 24, 24, "PNG", QColor(20, 200, 20));
  files_ = {QString::fromStdString(other)};
  answers_ = {QMessageBox::No};
  Trigger("actAddPicture");
  EXPECT_EQ(w.Document().LayerCount(), 2u);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].Icon, QMessageBox::Question);
  EXPECT_EQ(ReadFile(wm_ + "badge.png"), ReadFile(source));

  files_ = {QString::fromStdString(other)};
  answers_ = {QMessageBox::Yes};
  w.SelectLayer(1);
  Click("btnPicture");
  EXPECT_EQ(ReadFile(wm_ + "badge.png"), ReadFile(other));
  EXPECT_EQ(w.Document().LayerCount(), 2u);

  // A file that is no picture is refused with the reason.
  WriteText((root_ / "pics" / "notes.png").string(), "not a picture");
  files_ = {QString::fromStdString((root_ / "pics" / "notes.png").string())};
  messages_.clear();
  Trigger("actAddPicture");
  EXPECT_EQ(w.Document().LayerCount(), 2u);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].Icon, QMessageBox::Critical);
  EXPECT_FALSE(fs::exists(wm_ + "notes.png"));
  WaitPreview();
}

TEST_F(DesignerWindowTest, OtherSamplePicturesAndZoom) {
  TfrmDesigner& w = Open();
  EXPECT_EQ(w.PreviewView()->FullSize(), QSize(320, 240));
  const std::string png = (root_ / "wide.png").string();
  WriteImage(png, 500, 100, "PNG", QColor(90, 90, 90));
  files_ = {QString::fromStdString(png)};
  Trigger("actOpenSample");
  WaitPreview();
  EXPECT_EQ(w.PreviewView()->FullSize(), QSize(500, 100));
  EXPECT_EQ(w.PreviewPicture().size(), QSize(500, 100));

  files_ = {QString::fromStdString(folder_ + "missing.jpg")};
  Trigger("actOpenSample");
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(w.PreviewView()->FullSize(), QSize(500, 100));

  Trigger("actZoom100");
  EXPECT_DOUBLE_EQ(w.PreviewView()->Zoom(), 1.0);
  Trigger("actZoomIn");
  EXPECT_GT(w.PreviewView()->Zoom(), 1.0);
  Trigger("actZoomFit");
  EXPECT_TRUE(w.PreviewView()->FitMode());
}

}  // namespace
}  // namespace imprimo::testing_designer

namespace imprimo::testing_designer {
namespace {

TEST_F(DesignerWindowTest, LargePhotosShowAWorkingCopyFirstThenTheFullPicture) {
  const std::string big = (root_ / "big.jpg").string();
  WriteImage(big, 4000, 3000, "JPEG", QColor(70, 110, 150));
  const std::string path = WriteTemplate("Big", kProof);
  TfrmDesigner& w = Open();
  ASSERT_TRUE(w.OpenDocument(QString::fromStdString(path)));
  files_ = {QString::fromStdString(big)};
  Trigger("actOpenSample");
  ASSERT_TRUE(messages_.empty());
  WaitPreview();
  EXPECT_EQ(w.PreviewView()->FullSize(), QSize(4000, 3000));
  EXPECT_LT(w.WorkingScale(), 1.0);

  QElapsedTimer clock;
  clock.start();
  Spin("seFontSize", 200);
  WaitPreview();
  const qint64 latency = clock.elapsed();
  // The working copy comes first, at most the working size on its longer side.
  EXPECT_LE(std::max(w.PreviewPicture().width(), w.PreviewPicture().height()),
            TfrmDesigner::kWorkingSide);
  EXPECT_FALSE(w.PreviewFullSize());
  // Then, left alone, the full picture.
  QTRY_VERIFY_WITH_TIMEOUT(w.PreviewFullSize(), 60000);
  EXPECT_EQ(w.PreviewPicture().size(), QSize(4000, 3000));
  // Another change goes back to the working copy at once.
  clock.restart();
  Spin("seFontSize", 120);
  EXPECT_FALSE(w.PreviewFullSize());
  WaitPreview();
  const qint64 second = clock.elapsed();
  EXPECT_LE(w.PreviewPicture().width(), TfrmDesigner::kWorkingSide);
  std::printf("change to working copy shown: %lld ms, %lld ms\n", static_cast<long long>(latency),
              static_cast<long long>(second));
}

}  // namespace
}  // namespace imprimo::testing_designer

namespace imprimo::testing_designer {
namespace {

TEST_F(DesignerWindowTest, SystemColoursAreOfferedAndSavedAsTheEngineReadsThem) {
  const std::string path = WriteTemplate("System", kProof);
  TfrmDesigner& w = Open();
  ASSERT_TRUE(w.OpenDocument(QString::fromStdString(path)));
  WaitPreview();
  const QImage before = w.PreviewPicture();
  auto* system = Find<QMenu>("btnFontColorSystem");
  ASSERT_NE(system, nullptr);
  QAction* windowText = nullptr;
  for (QAction* a : system->actions())
    if (a->data().toInt() == static_cast<int32_t>(0xFF000008u)) windowText = a;
  ASSERT_NE(windowText, nullptr);
  windowText->trigger();
  WaitPreview();
  EXPECT_NE(w.PreviewPicture(), before);  // white text became black
  ASSERT_TRUE(w.Save());
  EXPECT_EQ(ReadLayer(path, 0).FontColor, static_cast<int32_t>(0xFF000008u));
  EXPECT_EQ(Find<TColorButton>("btnFontColor")->text(), "System: Window text");

  // A stored system colour shows by name.
  const std::string other =
      WriteTemplate("Other", "[A]\r\nText=x\r\nFontColor=-2147483633\r\nShadowColor=255\r\n");
  ASSERT_TRUE(w.OpenDocument(QString::fromStdString(other)));
  EXPECT_EQ(Find<TColorButton>("btnFontColor")->text(), "System: Button face");
  EXPECT_EQ(Find<TColorButton>("btnShadowColor")->text(), "#FF0000");
}

}  // namespace
}  // namespace imprimo::testing_designer

namespace imprimo::testing_designer {
namespace {

// The controls that fit a layer to every picture, and the portrait sample.
TEST_F(DesignerWindowTest, RelativeSizeMarginsAndOrientationReachTheFileAndThePreview) {
  const std::string path =
      WriteTemplate("Fit",
                    "[Mark]\r\nText=Fit\r\nFontName=DejaVu Sans\r\nFontSize=18\r\nAlpha=100\r\n"
                    "Position=9\r\nOffsetX=-24\r\nOffsetY=-12\r\n");
  TfrmDesigner& w = Open();
  ASSERT_TRUE(w.OpenDocument(QString::fromStdString(path)));
  WaitPreview();
  auto* size = Find<QSpinBox>("seRelativeSize");
  ASSERT_NE(size, nullptr);
  EXPECT_FALSE(size->isEnabled());  // until the switch is on

  // Switched on, the text keeps about its look on the 320 x 240 sample: 18
  // points give a cell of about 28 pixels, some 11.6 % of 240.
  const QImage plain = w.PreviewPicture();
  Click("cbRelativeSize");
  WaitPreview();
  ASSERT_TRUE(w.Save());
  TMarkItem saved = ReadLayer(path, 0);
  EXPECT_EQ(saved.SizeMode, 1);
  EXPECT_NEAR(saved.RelativeSize, 116, 4);
  EXPECT_TRUE(size->isEnabled());
  // The field shows percent with one decimal and takes typed decimals.
  auto* typing = size->findChild<QLineEdit*>();
  ASSERT_NE(typing, nullptr);
  size->setFocus();
  size->selectAll();
  QTest::keyClicks(typing, "20.5");
  QTest::keyClick(typing, Qt::Key_Enter);
  EXPECT_EQ(size->value(), 205);
  EXPECT_EQ(size->text(), QStringLiteral("20.5 %"));
  WaitPreview();
  EXPECT_NE(w.PreviewPicture(), plain);
  Activate("cbSizeSide", 2);
  WaitPreview();
  ASSERT_TRUE(w.Save());
  saved = ReadLayer(path, 0);
  EXPECT_EQ(saved.SizeMode, 2);
  EXPECT_EQ(saved.RelativeSize, 205);

  // Margins in percent: -24 and -12 pixels of the 240-pixel side become
  // -10 % and -5 %; the mark stays where it was.
  const QImage before = w.PreviewPicture();
  Click("cbRelativeMargins");
  WaitPreview();
  EXPECT_EQ(w.PreviewPicture(), before);
  EXPECT_EQ(Find<QSpinBox>("seOffsetX")->text(), QStringLiteral("-10.0 %"));
  ASSERT_TRUE(w.Save());
  saved = ReadLayer(path, 0);
  EXPECT_EQ(saved.OffsetMode, 1);
  EXPECT_EQ(saved.OffsetX, -100);
  EXPECT_EQ(saved.OffsetY, -50);

  // Portrait pictures only: gone from the landscape sample, back on the
  // portrait one, which is the middle of the sample.
  Activate("cbShowOn", 2);
  WaitPreview();
  ASSERT_TRUE(w.Save());
  EXPECT_EQ(ReadLayer(path, 0).ShowOn, 2);
  QImage empty(320, 240, QImage::Format_RGB32);
  empty.fill(QColor(30, 60, 90));
  EXPECT_EQ(w.PreviewPicture().convertToFormat(QImage::Format_RGB32), empty);
  Trigger("actPortraitSample");
  WaitPreview();
  EXPECT_EQ(w.PreviewView()->FullSize(), QSize(180, 240));
  const QImage portrait = w.PreviewPicture().convertToFormat(QImage::Format_RGB32);
  QImage bare(180, 240, QImage::Format_RGB32);
  bare.fill(QColor(30, 60, 90));
  EXPECT_NE(portrait, bare);
  // The preview draws what a run draws on a picture of that size.
  const Ink ink = DrawnByRun(path, wm_, 180, 240);
  ASSERT_FALSE(ink.Empty());
  EXPECT_NEAR(180 - 1 - ink.right, 18, 3);  // 10 % of the shorter side
  Trigger("actPortraitSample");
  WaitPreview();
  EXPECT_EQ(w.PreviewView()->FullSize(), QSize(320, 240));
  EXPECT_TRUE(messages_.empty());
}

}  // namespace
}  // namespace imprimo::testing_designer
