#include "designer/designer_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPainter>
#include <QPolygonF>
#include <QScrollArea>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <filesystem>

#include "designer/designer_icon.h"
#include "designer/designer_texts.h"
#include "designer/layer_editor.h"
#include "gui/form_translation.h"
#include "gui/qt_text.h"
#include "imaging/file_format.h"
#include "platform/bitmap.h"
#include "platform/text.h"

namespace imprimo {

namespace {

// The template dialogs' filter.
QString TemplateFilter() {
  return QStringLiteral("%1 (*.wg *.WG);;%2 (*)")
      .arg(DesignerText(TDesignerText::TemplateFiles), DesignerText(TDesignerText::AllFiles));
}

// The open dialog's filter: every extension a loader of the image file
// layer claims.
QString PictureFilter() {
  QStringList masks;
  for (const TImageFileFormat* format : ImageFileFormats()) {
    if (!format->CanLoad()) continue;
    for (const std::string& mask : format->Masks()) {
      const QString m = FromUtf8(mask).toLower();
      if (!masks.contains(m)) masks << m;
    }
  }
  return QStringLiteral("%1 (%2);;%3 (*)")
      .arg(DesignerText(TDesignerText::PictureFiles), masks.join(QLatin1Char(' ')),
           DesignerText(TDesignerText::AllFiles));
}

// A synthetic evening landscape when no sample photo is found.
void MakeFallbackSample(TPreviewSample& sample) {
  TBitmap picture(1200, 800, TPixelFormat::pf24bit);
  for (int y = 0; y < picture.Height(); ++y) {
    uint8_t* row = picture.ScanLine(y);
    const double t = double(y) / picture.Height();
    for (int x = 0; x < picture.Width(); ++x) {
      const double hill = 560 + 80 * std::sin(x / 170.0);
      uint8_t r, g, b;
      if (y > hill) {
        r = 50, g = uint8_t(100 - 30 * t), b = 60;
      } else {
        r = uint8_t(90 + 150 * t), g = uint8_t(110 + 80 * t), b = uint8_t(200 - 60 * t);
      }
      row[x * 3] = b, row[x * 3 + 1] = g, row[x * 3 + 2] = r;
    }
  }
  sample.Set(std::move(picture), "sample.jpg", TExifSummary());
}

// Keeps the text controls from taking the undo and redo keys for their own
// history: the window's undo covers every edit.
class TUndoKeyFilter : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::ShortcutOverride) {
      auto* key = static_cast<QKeyEvent*>(event);
      if (key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo) ||
          (key->modifiers() == Qt::ControlModifier && key->key() == Qt::Key_Y)) {
        event->ignore();
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }
};

// A small mark of a layer's kind for the layer list: a letter for text, a
// framed landscape for a picture.
QIcon LayerKindIcon(bool text) {
  static const QIcon icons[2] = {
      [] {
        QPixmap pm(16, 16);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(60, 90, 150), 1.2));
        p.setBrush(QColor(200, 225, 250));
        p.drawRect(QRectF(1.5, 2.5, 13, 11));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(60, 140, 70));
        p.drawPolygon(QPolygonF(
            {QPointF(2, 13), QPointF(7, 7), QPointF(10, 10), QPointF(14, 6), QPointF(14, 13)}));
        return QIcon(pm);
      }(),
      [] {
        QPixmap pm(16, 16);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        QFont f(QStringLiteral("Serif"));
        f.setPixelSize(15);
        f.setBold(true);
        p.setFont(f);
        p.setPen(QColor(50, 50, 60));
        p.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("T"));
        return QIcon(pm);
      }()};
  return icons[text ? 1 : 0];
}

}  // namespace

TfrmDesigner::TfrmDesigner(std::string programFolder, QWidget* parent)
    : QMainWindow(parent), programFolder_(std::move(programFolder)) {
  setObjectName(QStringLiteral("frmDesigner"));
  MarkFixedText(*this);  // the caption names the file
  setWindowIcon(DesignerIcon());
  // The language file beside the programs translates this window too.
  SetLanguageFilePath(programFolder_ + "imprimo.lcf");
  OpenProgramLanguageFile();
  renderer_ = new TPreviewRenderer(this);
  fullRenderer_ = new TPreviewRenderer(this);
  connect(renderer_, &TPreviewRenderer::Rendered, this, &TfrmDesigner::OnRendered);
  connect(fullRenderer_, &TPreviewRenderer::Rendered, this, &TfrmDesigner::OnRendered);
  fullRenderTimer_.setSingleShot(true);
  // The full picture waits for a pause: while it is drawn, a change's
  // working copy waits for it (the engine draws one picture at a time).
  fullRenderTimer_.setInterval(800);
  connect(&fullRenderTimer_, &QTimer::timeout, this, [this] {
    if (shownGeneration_ != generation_ || shownScale_ >= 1) return;
    fullRenderer_->Request(generation_, history_.Current(), TemplateFolder(), 1.0);
  });

  dialogs_.MessageBox = [this](QMessageBox::Icon icon, const QString& caption, const QString& text,
                               QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, caption, text, buttons, this);
    return box.exec();
  };
  dialogs_.OpenFile = [this](const QString& caption, const QString& folder, const QString& filter) {
    return QFileDialog::getOpenFileName(this, caption, folder, filter);
  };
  dialogs_.SaveFile = [this](const QString& caption, const QString& path, const QString& filter) {
    return QFileDialog::getSaveFileName(this, caption, path, filter);
  };

  BuildMenus();
  BuildLayout();
  TranslateWindow(*this, "TfrmDesigner");
  resize(1200, 760);
  history_.Reset(TTemplateDocument::New());
  current_ = Document().LayerCount() > 0 ? 0 : -1;
  LoadDefaultSample();
  ShowDocument();
}

TfrmDesigner::~TfrmDesigner() = default;

void TfrmDesigner::SetDialogs(TDesignerDialogs dialogs) {
  if (dialogs.MessageBox) dialogs_.MessageBox = std::move(dialogs.MessageBox);
  if (dialogs.OpenFile) dialogs_.OpenFile = std::move(dialogs.OpenFile);
  if (dialogs.SaveFile) dialogs_.SaveFile = std::move(dialogs.SaveFile);
}

void TfrmDesigner::BuildMenus() {
  auto add = [this](QMenu* menu, const char* name, const QString& text,
                    const QList<QKeySequence>& keys, auto slot) {
    auto* a = new QAction(text, this);
    a->setObjectName(QString::fromLatin1(name));
    a->setShortcuts(keys);
    connect(a, &QAction::triggered, this, slot);
    menu->addAction(a);
    return a;
  };
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("mnFile"));
  add(file, "actNew", QStringLiteral("&New"), {QKeySequence::New}, [this] {
    if (MayDiscardChanges()) NewDocument();
  });
  add(file, "actOpen", QStringLiteral("&Open..."), {QKeySequence::Open}, [this] {
    if (!MayDiscardChanges()) return;
    const QString folder =
        Document().Path().empty() ? FromUtf8(TemplateFolder()) : FromUtf8(Document().Folder());
    const QString path = dialogs_.OpenFile(DesignerText(TDesignerText::OpenTemplateCaption), folder,
                                           TemplateFilter());
    if (!path.isEmpty()) OpenDocument(path);
  });
  actSave_ =
      add(file, "actSave", QStringLiteral("&Save"), {QKeySequence::Save}, [this] { Save(); });
  add(file, "actSaveAs", QStringLiteral("Save &As..."),
      {QKeySequence(QStringLiteral("Ctrl+Shift+S"))}, [this] { SaveAs(); });
  file->addSeparator();
  add(file, "actQuit", QStringLiteral("&Quit"), {QKeySequence(QStringLiteral("Ctrl+Q"))},
      [this] { close(); });

  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  edit->setObjectName(QStringLiteral("mnEdit"));
  actUndo_ = add(edit, "actUndo", QStringLiteral("&Undo"), {QKeySequence(QStringLiteral("Ctrl+Z"))},
                 [this] { Undo(); });
  actRedo_ =
      add(edit, "actRedo", QStringLiteral("&Redo"),
          {QKeySequence(QStringLiteral("Ctrl+Y")), QKeySequence(QStringLiteral("Ctrl+Shift+Z"))},
          [this] { Redo(); });

  QMenu* layer = menuBar()->addMenu(QStringLiteral("&Layer"));
  layer->setObjectName(QStringLiteral("mnLayer"));
  add(layer, "actAddText", QStringLiteral("Add &text layer"),
      {QKeySequence(QStringLiteral("Ctrl+T"))}, [this] { AddTextLayer(); });
  add(layer, "actAddPicture", QStringLiteral("Add &picture layer..."),
      {QKeySequence(QStringLiteral("Ctrl+P"))}, [this] { AddPictureLayer(); });
  actDuplicate_ = add(layer, "actDuplicate", QStringLiteral("&Duplicate"),
                      {QKeySequence(QStringLiteral("Ctrl+D"))}, [this] { DuplicateLayer(); });
  actDelete_ = add(layer, "actDelete", QStringLiteral("D&elete"), {QKeySequence::Delete},
                   [this] { DeleteLayer(); });
  layer->addSeparator();
  actMoveUp_ = add(layer, "actMoveUp", QStringLiteral("Move &up (drawn earlier)"),
                   {QKeySequence(QStringLiteral("Ctrl+Up"))}, [this] { MoveLayer(-1); });
  actMoveDown_ = add(layer, "actMoveDown", QStringLiteral("Move d&own (drawn later)"),
                     {QKeySequence(QStringLiteral("Ctrl+Down"))}, [this] { MoveLayer(1); });

  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  view->setObjectName(QStringLiteral("mnView"));
  add(view, "actZoomIn", QStringLiteral("Zoom &in"), {QKeySequence::ZoomIn},
      [this] { preview_->ZoomIn(); });
  add(view, "actZoomOut", QStringLiteral("Zoom &out"), {QKeySequence::ZoomOut},
      [this] { preview_->ZoomOut(); });
  add(view, "actZoomFit", QStringLiteral("&Fit to window"),
      {QKeySequence(QStringLiteral("Ctrl+0"))}, [this] { preview_->ZoomToFit(); });
  add(view, "actZoom100", QStringLiteral("&Actual size (100%)"),
      {QKeySequence(QStringLiteral("Ctrl+1"))}, [this] {
        preview_->SetZoom(1);
        // The selected layer comes into view.
        const auto& boxes = preview_->Boxes();
        if (current_ >= 0 && current_ < int(boxes.size()) && boxes[size_t(current_)].Visible) {
          const TRect& r = boxes[size_t(current_)].Box;
          preview_->CenterOn(QPointF((r.Left + r.Right) / 2.0, (r.Top + r.Bottom) / 2.0));
        }
      });
  view->addSeparator();
  add(view, "actOpenSample", QStringLiteral("Open &sample picture..."), {}, [this] {
    const QString folder =
        pictureFolder_.isEmpty() ? FromUtf8(programFolder_ + "samples") : pictureFolder_;
    const QString path =
        dialogs_.OpenFile(DesignerText(TDesignerText::OpenSampleCaption), folder, PictureFilter());
    if (!path.isEmpty()) OpenSample(path);
  });
  actPortrait_ =
      add(view, "actPortraitSample", QStringLiteral("&Portrait sample"),
          {QKeySequence(QStringLiteral("Ctrl+Shift+P"))}, [this] { ShowSampleOrientation(); });
  actPortrait_->setCheckable(true);
}

void TfrmDesigner::BuildLayout() {
  // Left: the layers, in drawing order.
  auto* left = new QWidget(this);
  left->setObjectName(QStringLiteral("pnLayers"));
  auto* leftBox = new QVBoxLayout(left);
  leftBox->setContentsMargins(4, 4, 0, 4);
  auto* title = new QLabel(QStringLiteral("Layers (drawn top to bottom)"), left);
  title->setObjectName(QStringLiteral("lbLayers"));
  leftBox->addWidget(title);
  lvLayers_ = new QListWidget(left);
  lvLayers_->setObjectName(QStringLiteral("lvLayers"));
  MarkUserItems(*lvLayers_);  // the template's layer names
  lvLayers_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
  lvLayers_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  lvLayers_->setTextElideMode(Qt::ElideRight);
  leftBox->addWidget(lvLayers_, 1);
  const std::pair<const char*, const char*> layerButtons[] = {
      {"actAddText", "+ Text"}, {"actAddPicture", "+ Picture"},
      {"actDuplicate", "Copy"}, {"actDelete", "Delete"},
      {"actMoveUp", "Up"},      {"actMoveDown", "Down"}};
  auto* grid = new QWidget(left);
  auto* gridBox = new QGridLayout(grid);
  gridBox->setContentsMargins(0, 0, 0, 0);
  gridBox->setSpacing(2);
  int n = 0;
  for (const auto& [action, text] : layerButtons) {
    auto* b = new QToolButton(grid);
    QAction* a = findChild<QAction*>(QString::fromLatin1(action));
    b->setObjectName(QStringLiteral("btn") + QString::fromLatin1(action).mid(3));
    b->setText(QString::fromUtf8(text));
    b->setToolTip(a->text().remove(QLatin1Char('&')));
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(b, &QToolButton::clicked, a, &QAction::trigger);
    connect(a, &QAction::changed, b, [a, b] { b->setEnabled(a->isEnabled()); });
    gridBox->addWidget(b, n / 3, n % 3);
    ++n;
  }
  leftBox->addWidget(grid);
  connect(lvLayers_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (filling_) return;
    SelectLayer(row);
  });
  connect(lvLayers_, &QListWidget::itemChanged, this, &TfrmDesigner::LayerItemChanged);

  // Centre: the preview.
  preview_ = new TDesignerPreviewView(this);
  connect(preview_, &TDesignerPreviewView::LayerClicked, this, &TfrmDesigner::SelectLayer);
  connect(preview_, &TDesignerPreviewView::LayerDropped, this, &TfrmDesigner::DropLayer);
  connect(preview_, &TDesignerPreviewView::LayerDragged, this, &TfrmDesigner::DragLayer);

  // Right: the selected layer's properties.
  editor_ = new TLayerEditor(this);
  editorScroll_ = new QScrollArea(this);
  editorScroll_->setObjectName(QStringLiteral("sbProperties"));
  editorScroll_->setWidget(editor_);
  editorScroll_->setWidgetResizable(true);
  editorScroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  editorScroll_->setMinimumWidth(editor_->sizeHint().width() + 24);
  connect(editor_, &TLayerEditor::ItemEdited, this, &TfrmDesigner::EditCurrentItem);
  connect(editor_, &TLayerEditor::ChoosePicture, this, [this] {
    if (current_ < 0) return;
    const std::string name = ChooseLogo();
    if (name.empty()) return;
    TMarkItem item = Document().Layer(size_t(current_)).Item;
    item.Picture = name;
    EditCurrentItem(item, QStringLiteral("Picture"), false);
  });
  connect(editor_, &TLayerEditor::ChooseTexture, this, [this] {
    if (current_ < 0) return;
    const std::string name = ChooseLogo(DesignerText(TDesignerText::ChooseTextureCaption));
    if (name.empty()) return;
    TMarkItem item = Document().Layer(size_t(current_)).Item;
    item.Texture = name;
    EditCurrentItem(item, QStringLiteral("Texture"), false);
  });
  auto* keys = new TUndoKeyFilter(this);
  for (QWidget* w : editor_->findChildren<QWidget*>()) w->installEventFilter(keys);

  auto* split = new QSplitter(Qt::Horizontal, this);
  split->setObjectName(QStringLiteral("spMain"));
  split->addWidget(left);
  split->addWidget(preview_);
  split->addWidget(editorScroll_);
  split->setStretchFactor(0, 0);
  split->setStretchFactor(1, 1);
  split->setStretchFactor(2, 0);
  split->setCollapsible(1, false);
  left->setMinimumWidth(170);
  split->setSizes({210, 1200 - 210 - editorScroll_->minimumWidth(), editorScroll_->minimumWidth()});
  setCentralWidget(split);

  lbStatus_ = new QLabel(this);
  lbStatus_->setObjectName(QStringLiteral("lbStatus"));
  lbZoom_ = new QLabel(this);
  lbZoom_->setObjectName(QStringLiteral("lbZoom"));
  statusBar()->addWidget(lbStatus_, 1);
  // The sample's orientation, at hand beside the zoom.
  auto* btnPortrait = new QToolButton(this);
  btnPortrait->setObjectName(QStringLiteral("btnPortraitSample"));
  btnPortrait->setDefaultAction(actPortrait_);
  btnPortrait->setText(QStringLiteral("Portrait sample"));
  btnPortrait->setAutoRaise(true);
  statusBar()->addPermanentWidget(btnPortrait);
  statusBar()->addPermanentWidget(lbZoom_);
  connect(preview_, &TDesignerPreviewView::ZoomChanged, this, [this](double zoom) {
    lbZoom_->setText(QStringLiteral("%1%").arg(int(std::lround(zoom * 100))));
  });
}

int TfrmDesigner::Ask(QMessageBox::Icon icon, const QString& caption, const QString& text,
                      QMessageBox::StandardButtons buttons) {
  return dialogs_.MessageBox(icon, caption, text, buttons);
}

void TfrmDesigner::Inform(QMessageBox::Icon icon, const QString& text) {
  Ask(icon, QStringLiteral("MarkDesigner"), text, QMessageBox::Ok);
}

std::string TfrmDesigner::TemplateFolder() const {
  try {
    return Document().Folder();
  } catch (const std::exception&) {
    return programFolder_ + "Watermarks/";
  }
}

// ---- documents ----

void TfrmDesigner::NewDocument() {
  history_.Reset(TTemplateDocument::New());
  current_ = Document().LayerCount() > 0 ? 0 : -1;
  lbStatus_->setText(DesignerText(TDesignerText::StatusNew));
  ShowDocument();
}

bool TfrmDesigner::OpenDocument(const QString& path) {
  TTemplateDocument doc;
  try {
    doc = TTemplateDocument::Open(ToUtf8(path));
  } catch (const std::exception& e) {
    Inform(QMessageBox::Critical, DesignerText(TDesignerText::OpenFailed)
                                      .arg(QDir::toNativeSeparators(path), FromUtf8(e.what())));
    return false;
  }
  const std::vector<std::string> notes = doc.OpenNotes();
  const bool savable = doc.CanSaveInPlace();
  history_.Reset(std::move(doc));
  current_ = Document().LayerCount() > 0 ? 0 : -1;
  QStringList lines;
  for (const std::string& note : notes) lines << FromUtf8(note);
  lbStatus_->setText(lines.isEmpty()
                         ? DesignerText(TDesignerText::StatusOpened)
                               .arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()))
                         : lines.join(QStringLiteral("; ")));
  lbStatus_->setToolTip(lines.join(QLatin1Char('\n')));
  ShowDocument();
  if (!savable)
    Inform(QMessageBox::Warning,
           DesignerText(TDesignerText::NothingReadable)
               .arg(QDir::toNativeSeparators(path),
                    lines.isEmpty() ? QString() : QStringLiteral("\n\n") + lines.join('\n')));
  return true;
}

bool TfrmDesigner::Save() {
  if (!Document().CanSaveInPlace()) return SaveAs();
  return SaveTo(FromUtf8(Document().Path()));
}

bool TfrmDesigner::SaveAs() {
  QString start = FromUtf8(Document().Path());
  if (start.isEmpty()) {
    // A new template is proposed under its own name, not a layer's.
    const QString name = DesignerText(TDesignerText::Untitled);
    start = FromUtf8(TemplateFolder()) + name + QStringLiteral(".wg");
  }
  QString path =
      dialogs_.SaveFile(DesignerText(TDesignerText::SaveTemplateCaption), start, TemplateFilter());
  if (path.isEmpty()) return false;
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".wg");
  return SaveTo(path);
}

bool TfrmDesigner::SaveTo(const QString& path) {
  TTemplateDocument doc = Document();
  try {
    doc.SaveAs(ToUtf8(path));
  } catch (const std::exception& e) {
    Inform(QMessageBox::Critical, DesignerText(TDesignerText::SaveFailed)
                                      .arg(QDir::toNativeSeparators(path), FromUtf8(e.what())));
    return false;
  }
  history_.MarkSaved(doc);
  lbStatus_->setText(DesignerText(TDesignerText::StatusSaved).arg(QDir::toNativeSeparators(path)));
  UpdateTitle();
  UpdateActions();
  // Logos are looked up beside the file: a new folder may change the picture.
  RequestPreview();
  return true;
}

bool TfrmDesigner::MayDiscardChanges() {
  if (!IsModified()) return true;
  const int answer =
      Ask(QMessageBox::Question, QStringLiteral("MarkDesigner"),
          DesignerText(TDesignerText::UnsavedChanges).arg(FromUtf8(Document().DisplayName())),
          QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
  if (answer == QMessageBox::Save) return Save();
  return answer == QMessageBox::Discard;
}

void TfrmDesigner::closeEvent(QCloseEvent* event) {
  if (MayDiscardChanges())
    event->accept();
  else
    event->ignore();
}

// ---- editing ----

void TfrmDesigner::Commit(TTemplateDocument doc, int layer, const std::string& mergeKey) {
  history_.Push(std::move(doc), mergeKey);
  const int count = int(Document().LayerCount());
  current_ = count == 0 ? -1 : std::clamp(layer, 0, count - 1);
  ShowDocument();
}

void TfrmDesigner::EditCurrentItem(const TMarkItem& item, const QString& key, bool continued) {
  if (current_ < 0 || current_ >= int(Document().LayerCount())) return;
  TTemplateDocument doc = Document();
  doc.SetItem(size_t(current_), item);
  std::string mergeKey;
  if (continued) {
    // Typing and spinning in one field make one step, until a pause.
    if (key != lastMergeKey_ || !lastEdit_.isValid() || lastEdit_.elapsed() > 1500)
      history_.BreakMerge();
    mergeKey = "layer:" + Utf16ToUtf8(doc.Layer(size_t(current_)).Section) + ":" + ToUtf8(key);
  }
  lastMergeKey_ = continued ? key : QString();
  lastEdit_.start();
  Commit(std::move(doc), current_, mergeKey);
}

void TfrmDesigner::SelectLayer(int layer) {
  const int count = int(Document().LayerCount());
  layer = count == 0 ? -1 : std::clamp(layer, 0, count - 1);
  if (layer != current_) history_.BreakMerge();
  current_ = layer;
  if (lvLayers_->currentRow() != layer) {
    filling_ = true;
    lvLayers_->setCurrentRow(layer);
    filling_ = false;
  }
  editor_->SetItem(layer >= 0 ? Document().Layer(size_t(layer)).Item : TMarkItem(), layer >= 0);
  preview_->SetSelected(layer);
  UpdateActions();
}

void TfrmDesigner::DropLayer(int layer, int left, int top) {
  if (layer < 0 || layer >= int(Document().LayerCount()) || !sample_ || sample_->Empty()) return;
  const TLayerBox box = MeasureLayerBox(Document(), size_t(layer), *sample_, TemplateFolder());
  if (!box.Visible) {
    RequestPreview();
    return;
  }
  TMarkItem item = Document().Layer(size_t(layer)).Item;
  if (!PlaceLayerAt(item, box.Box, sample_->Width(), sample_->Height(), left, top)) {
    lbStatus_->setText(DesignerText(TDesignerText::StatusCoverDrop));
    RequestPreview();
    return;
  }
  TTemplateDocument doc = Document();
  doc.SetItem(size_t(layer), item);
  history_.BreakMerge();
  Commit(std::move(doc), layer);
}

void TfrmDesigner::DragLayer(int layer, const TRect& box, int left, int top) {
  if (layer < 0 || layer >= int(Document().LayerCount()) || !sample_ || sample_->Empty()) return;
  // The working copy shows the layer where it would land; the document
  // changes only at the drop.
  TMarkItem item = Document().Layer(size_t(layer)).Item;
  if (!PlaceLayerAt(item, box, sample_->Width(), sample_->Height(), left, top)) return;
  TTemplateDocument moved = Document();
  moved.SetItem(size_t(layer), item);
  ++generation_;
  fullRenderTimer_.stop();
  renderer_->Request(generation_, std::move(moved), TemplateFolder(), WorkingScale());
}

void TfrmDesigner::Undo() {
  history_.BreakMerge();
  if (history_.Undo()) {
    SelectLayer(current_);
    ShowDocument();
  }
}

void TfrmDesigner::Redo() {
  history_.BreakMerge();
  if (history_.Redo()) {
    SelectLayer(current_);
    ShowDocument();
  }
}

void TfrmDesigner::AddTextLayer() {
  TTemplateDocument doc = Document();
  const size_t index =
      doc.AddTextLayer(current_ >= 0 ? std::optional<size_t>(size_t(current_)) : std::nullopt);
  history_.BreakMerge();
  Commit(std::move(doc), int(index));
}

std::string TfrmDesigner::ChooseLogo(const QString& title) {
  const QString folder = pictureFolder_.isEmpty() ? QDir::homePath() : pictureFolder_;
  const QString source =
      dialogs_.OpenFile(title.isEmpty() ? DesignerText(TDesignerText::ChooseLogoCaption) : title,
                        folder, PictureFilter());
  if (source.isEmpty()) return {};
  pictureFolder_ = QFileInfo(source).absolutePath();
  const std::string target = TemplateFolder();
  TLogoCopyResult copy = CopyLogo(ToUtf8(source), target, false);
  if (copy.Outcome == ELogoCopy::kNeedsConfirmation) {
    const int answer =
        Ask(QMessageBox::Question, QStringLiteral("MarkDesigner"),
            DesignerText(TDesignerText::ReplaceLogo)
                .arg(FromUtf8(copy.FileName), QDir::toNativeSeparators(FromUtf8(target))),
            QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes) return {};
    copy = CopyLogo(ToUtf8(source), target, true);
  }
  if (copy.Outcome == ELogoCopy::kFailed || copy.Outcome == ELogoCopy::kNeedsConfirmation) {
    Inform(QMessageBox::Critical,
           DesignerText(TDesignerText::PictureUnusable)
               .arg(QDir::toNativeSeparators(source), FromUtf8(copy.Reason)));
    return {};
  }
  return copy.FileName;
}

void TfrmDesigner::AddPictureLayer() {
  const std::string name = ChooseLogo();
  if (name.empty()) return;
  TTemplateDocument doc = Document();
  const size_t index = doc.AddPictureLayer(
      current_ >= 0 ? std::optional<size_t>(size_t(current_)) : std::nullopt, name);
  history_.BreakMerge();
  Commit(std::move(doc), int(index));
}

void TfrmDesigner::DuplicateLayer() {
  if (current_ < 0) return;
  TTemplateDocument doc = Document();
  const size_t index = doc.Duplicate(size_t(current_));
  history_.BreakMerge();
  Commit(std::move(doc), int(index));
}

void TfrmDesigner::DeleteLayer() {
  if (current_ < 0) return;
  TTemplateDocument doc = Document();
  doc.Remove(size_t(current_));
  history_.BreakMerge();
  Commit(std::move(doc), current_);
}

void TfrmDesigner::MoveLayer(int delta) {
  if (current_ < 0) return;
  TTemplateDocument doc = Document();
  const size_t index = doc.Move(size_t(current_), delta);
  if (int(index) == current_) return;
  history_.BreakMerge();
  Commit(std::move(doc), int(index));
}

void TfrmDesigner::LayerItemChanged(QListWidgetItem* item) {
  if (filling_ || item == nullptr) return;
  const int row = lvLayers_->row(item);
  if (row < 0 || row >= int(Document().LayerCount())) return;
  const TMarkItem& now = Document().Layer(size_t(row)).Item;
  const bool enabled = item->checkState() == Qt::Checked;
  const std::string desc = ToUtf8(item->text());
  TTemplateDocument doc = Document();
  if (enabled != now.Enabled) doc.SetEnabled(size_t(row), enabled);
  if (desc != now.Desc) doc.Rename(size_t(row), desc);
  history_.BreakMerge();
  Commit(std::move(doc), row);
}

// ---- showing ----

void TfrmDesigner::ShowDocument() {
  FillLayerList();
  SelectLayer(current_);
  UpdateTitle();
  UpdateActions();
  RequestPreview();
}

void TfrmDesigner::FillLayerList() {
  filling_ = true;
  const TTemplateDocument& doc = Document();
  while (lvLayers_->count() > int(doc.LayerCount()))
    delete lvLayers_->takeItem(lvLayers_->count() - 1);
  for (size_t i = 0; i < doc.LayerCount(); ++i) {
    QListWidgetItem* item = lvLayers_->item(int(i));
    if (item == nullptr) {
      item = new QListWidgetItem(lvLayers_);
      item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable |
                     Qt::ItemIsUserCheckable);
    }
    const TMarkItem& mark = doc.Layer(i).Item;
    item->setIcon(LayerKindIcon(mark.Style == 0));
    item->setText(FromUtf8(mark.Desc));
    item->setCheckState(mark.Enabled ? Qt::Checked : Qt::Unchecked);
    const QString kind = mark.Style == 0 ? DesignerText(TDesignerText::KindText)
                                         : DesignerText(TDesignerText::KindPicture);
    const QString what =
        mark.Style == 0 ? QString::fromStdU16String(mark.Text) : FromUtf8(mark.Picture);
    item->setToolTip(DesignerText(TDesignerText::LayerTip)
                         .arg(kind, QString::fromStdU16String(doc.Layer(i).Section), what));
  }
  filling_ = false;
}

void TfrmDesigner::UpdateTitle() {
  setWindowTitle(FromUtf8(Document().DisplayName()) + QStringLiteral("[*] \u2014 MarkDesigner"));
  setWindowModified(IsModified());
}

void TfrmDesigner::UpdateActions() {
  const int count = int(Document().LayerCount());
  const bool has = current_ >= 0 && current_ < count;
  actUndo_->setEnabled(history_.CanUndo());
  actRedo_->setEnabled(history_.CanRedo());
  actDuplicate_->setEnabled(has);
  actDelete_->setEnabled(has);
  actMoveUp_->setEnabled(has && current_ > 0);
  actMoveDown_->setEnabled(has && current_ + 1 < count);
}

// ---- preview ----

double TfrmDesigner::WorkingScale() const {
  if (!sample_ || sample_->Empty()) return 1;
  return FitScale(sample_->Width(), sample_->Height(), kWorkingSide);
}

const QImage& TfrmDesigner::PreviewPicture() const { return preview_->Picture(); }

void TfrmDesigner::RequestPreview() {
  ++generation_;
  fullRenderTimer_.stop();
  renderer_->Request(generation_, Document(), TemplateFolder(), WorkingScale());
}

void TfrmDesigner::OnRendered(const TPreviewResult& result) {
  if (result.Generation != generation_) return;  // a newer change is on its way
  // A full picture is never replaced by the working copy of the same state.
  if (result.Generation == shownGeneration_ && result.Scale < shownScale_) return;
  shownGeneration_ = result.Generation;
  shownScale_ = result.Scale;
  const QSize full = sample_ ? QSize(sample_->Width(), sample_->Height()) : QSize();
  preview_->SetPicture(result.Picture, full);
  preview_->SetBoxes(result.Boxes);
  preview_->SetSelected(current_);
  if (result.Warnings != warnings_) {
    warnings_ = result.Warnings;
    QStringList lines;
    for (const std::string& w : warnings_) lines << FromUtf8(w);
    if (!lines.isEmpty()) lbStatus_->setText(lines.join(QStringLiteral("; ")));
    lbStatus_->setToolTip(lines.join(QLatin1Char('\n')));
  }
  if (result.Scale < 1) fullRenderTimer_.start();
}

bool TfrmDesigner::OpenSample(const QString& path) {
  auto sample = std::make_shared<TPreviewSample>();
  try {
    sample->Load(ToUtf8(path));
  } catch (const std::exception& e) {
    Inform(QMessageBox::Critical, DesignerText(TDesignerText::SampleUnopenable)
                                      .arg(QDir::toNativeSeparators(path), FromUtf8(e.what())));
    return false;
  }
  pictureFolder_ = QFileInfo(path).absolutePath();
  UseSample(sample);
  return true;
}

void TfrmDesigner::UseSample(std::shared_ptr<TPreviewSample> loaded) {
  loadedSample_ = std::move(loaded);
  // The switch starts at the picture's own orientation.
  actPortrait_->setChecked(loadedSample_->Height() > loadedSample_->Width());
  ShowSampleOrientation();
}

void TfrmDesigner::ShowSampleOrientation() {
  if (!loadedSample_) return;
  const bool portrait = actPortrait_->isChecked();
  auto sample = loadedSample_;
  if ((loadedSample_->Height() > loadedSample_->Width()) != portrait) {
    sample = std::make_shared<TPreviewSample>();
    TBitmap picture = SampleInOrientation(loadedSample_->Full(), portrait);
    TExifSummary exif = loadedSample_->Exif();
    exif.Width = picture.Width();
    exif.Height = picture.Height();
    sample->Set(std::move(picture), loadedSample_->FileName(), std::move(exif));
  }
  sample_ = sample;
  editor_->SetReferenceSide(std::min(sample->Width(), sample->Height()));
  renderer_->SetSample(std::make_shared<TPreviewSample>(*sample));
  fullRenderer_->SetSample(std::make_shared<TPreviewSample>(*sample));
  shownGeneration_ = 0;
  shownScale_ = 0;
  preview_->ZoomToFit();
  RequestPreview();
}

void TfrmDesigner::LoadDefaultSample() {
  namespace fs = std::filesystem;
  std::vector<std::string> candidates;
  std::error_code ec;
  for (const fs::path& folder :
       {fs::path(programFolder_) / "samples",
        fs::path(programFolder_) / ".." / "share" / "imprimo" / "samples"}) {
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
      if (it->is_regular_file(ec)) candidates.push_back(it->path().string());
    if (!candidates.empty()) break;
  }
  std::sort(candidates.begin(), candidates.end());
  auto sample = std::make_shared<TPreviewSample>();
  bool loaded = false;
  for (const std::string& path : candidates) {
    try {
      sample->Load(path);
      loaded = true;
      break;
    } catch (const std::exception&) {
    }
  }
  if (!loaded) MakeFallbackSample(*sample);
  UseSample(sample);
}

}  // namespace imprimo
