// MarkDesigner's main window: the layer list on the left, the preview drawn
// by the engine in the middle and the selected layer's properties on the
// right. Every change goes through the document and its undo history.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "designer/designer_preview.h"
#include "designer/preview_view.h"
#include "designer/template_document.h"

class QAction;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QScrollArea;

namespace imprimo {

class TLayerEditor;

// The window's questions and file dialogs, replaceable by tests.
struct TDesignerDialogs {
  // A message box; returns the button pressed.
  std::function<int(QMessageBox::Icon icon, const QString& caption, const QString& text,
                    QMessageBox::StandardButtons buttons)>
      MessageBox;
  // File dialogs; an empty result means cancelled.
  std::function<QString(const QString& caption, const QString& folder, const QString& filter)>
      OpenFile;
  std::function<QString(const QString& caption, const QString& path, const QString& filter)>
      SaveFile;
};

class TfrmDesigner : public QMainWindow {
  Q_OBJECT

 public:
  // programFolder: the executable's folder (trailing "/"), where the shipped
  // sample photos are looked for.
  explicit TfrmDesigner(std::string programFolder, QWidget* parent = nullptr);
  ~TfrmDesigner() override;

  void SetDialogs(TDesignerDialogs dialogs);

  // Starts a new, unsaved template.
  void NewDocument();
  // Opens a template; a file that cannot be opened is reported and the
  // window keeps what it had. False then.
  bool OpenDocument(const QString& path);
  // Save and Save As; false when the user cancelled or the save failed (the
  // edits are kept either way).
  bool Save();
  bool SaveAs();
  bool SaveTo(const QString& path);
  // Uses the picture at path as the sample photo; false (reported) when it
  // does not load.
  bool OpenSample(const QString& path);

  const TTemplateDocument& Document() const { return history_.Current(); }
  bool IsModified() const { return history_.IsModified(); }
  int CurrentLayer() const { return current_; }
  void SelectLayer(int layer);
  // Replaces the selected layer's settings as one undo step (what the
  // property editor does).
  void EditCurrentItem(const TMarkItem& item, const QString& key, bool continued);
  // Moves a layer as a drag in the preview does: its box's top-left to
  // (left, top) in sample pixels.
  void DropLayer(int layer, int left, int top);
  // Shows, without changing the document, the layer dragged so far.
  void DragLayer(int layer, const TRect& box, int left, int top);
  void Undo();
  void Redo();

  // The preview: the picture last shown and whether it shows the current
  // document (at the working scale or at full size).
  const QImage& PreviewPicture() const;
  bool PreviewCurrent() const { return shownGeneration_ == generation_; }
  bool PreviewFullSize() const { return PreviewCurrent() && shownScale_ >= 1; }
  // Scale of the interactive working copy for the current sample.
  double WorkingScale() const;
  TDesignerPreviewView* PreviewView() const { return preview_; }
  TLayerEditor* Editor() const { return editor_; }

  // The longest side of the working copy drawn while editing.
  static constexpr int kWorkingSide = 1600;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void BuildLayout();
  int Ask(QMessageBox::Icon icon, const QString& caption, const QString& text,
          QMessageBox::StandardButtons buttons);
  void Inform(QMessageBox::Icon icon, const QString& text);
  // Asks about unsaved changes; true when the window may go on (saved or
  // discarded).
  bool MayDiscardChanges();
  // Records doc as an edit and shows it; layer: the one to select after.
  void Commit(TTemplateDocument doc, int layer, const std::string& mergeKey = {});
  void ShowDocument();  // list, editor, title, actions, preview
  void FillLayerList();
  void UpdateTitle();
  void UpdateActions();
  void RequestPreview();
  void OnRendered(const TPreviewResult& result);
  void LoadDefaultSample();
  // Shows loaded as the sample, in the orientation the portrait action asks
  // for (the middle of it when it has the other one).
  void UseSample(std::shared_ptr<TPreviewSample> loaded);
  void ShowSampleOrientation();
  std::string TemplateFolder() const;
  // Asks for a picture and copies it into the template folder; the logo's
  // name there, or empty when cancelled or failed (reported).
  std::string ChooseLogo(const QString& title = QString());

  void AddTextLayer();
  void AddPictureLayer();
  void DuplicateLayer();
  void DeleteLayer();
  void MoveLayer(int delta);
  void LayerItemChanged(QListWidgetItem* item);

  std::string programFolder_;
  TDesignerDialogs dialogs_;
  TUndoHistory history_;
  int current_ = -1;
  bool filling_ = false;
  QString lastMergeKey_;
  QElapsedTimer lastEdit_;
  QString pictureFolder_;

  QListWidget* lvLayers_ = nullptr;
  TLayerEditor* editor_ = nullptr;
  QScrollArea* editorScroll_ = nullptr;
  TDesignerPreviewView* preview_ = nullptr;
  QLabel* lbStatus_ = nullptr;
  QLabel* lbZoom_ = nullptr;

  QAction* actSave_ = nullptr;
  QAction* actUndo_ = nullptr;
  QAction* actRedo_ = nullptr;
  QAction* actDuplicate_ = nullptr;
  QAction* actDelete_ = nullptr;
  QAction* actMoveUp_ = nullptr;
  QAction* actMoveDown_ = nullptr;

  // The preview's requests and what is shown.
  // The working copy and the full picture render on threads of their own,
  // each with its own copy of the sample; the window keeps a third for
  // measuring drops.
  std::shared_ptr<TPreviewSample> sample_;
  std::shared_ptr<TPreviewSample> loadedSample_;  // as opened, either orientation
  QAction* actPortrait_ = nullptr;
  TPreviewRenderer* renderer_ = nullptr;
  TPreviewRenderer* fullRenderer_ = nullptr;
  uint64_t generation_ = 0;
  uint64_t shownGeneration_ = 0;
  double shownScale_ = 0;
  QTimer fullRenderTimer_;
  std::vector<std::string> warnings_;
};

}  // namespace imprimo
