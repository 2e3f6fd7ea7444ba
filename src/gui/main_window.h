// The main window: toolbar, menus, the left settings panel, the centre page
// stack and the status bar. It owns the process's settings record and the
// program-wide values kept beside it in Setup.ini.
#pragma once

#include <QMainWindow>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/settings.h"
#include "platform/version.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFileSystemWatcher;
class QLabel;
class QLayout;
class QImage;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSlider;
class QMenu;
class QProgressBar;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QTableWidget;
class QTimer;
class QToolBar;
class QToolButton;
class QWidget;
class QUrl;

namespace imprimo {

class TFoLog;
class TfrmAbout;
class TfrmOption;
class TMenuBtn;
class TProgressBar;
class TSettingsPanel;
class TfrmSelDir;
class TImagePreview;
struct ImageListEntry;
struct TWorkingObjects;
struct TRunSummary;

// What starting an outside program gave: the system's error code and its
// description when it did not start.
struct TProcessStart {
  bool Started = false;
  int Code = 0;
  QString Message;
};

// The window's dialogs and shell calls, replaceable so that tests can answer
// them without a modal loop. An empty member uses the real dialog.
struct TMainDialogs {
  // Returns the QMessageBox::StandardButton chosen.
  std::function<int(QMessageBox::Icon icon, const QString& caption, const QString& text,
                    QMessageBox::StandardButtons buttons)>
      MessageBox;
  // The open-file dialog: the files chosen, none when cancelled.
  std::function<QStringList(const QString& startFolder, const QString& filters)> OpenFiles;
  // The folder dialog, already set up; true when the user pressed OK.
  std::function<bool(TfrmSelDir& dialog)> SelectFolder;
  // Opens a folder in the desktop's file manager; false when nothing could.
  std::function<bool(const QString& folder)> OpenFolder;
  // Shows the run-log viewer, already filled; the real one runs it modally.
  std::function<void(TFoLog& viewer)> ShowLogViewer;
  // Runs the options dialog, already filled, modally; returns its result
  // (QDialog::Accepted when closed with Save).
  std::function<int(TfrmOption& dialog)> ShowOptions;
  // Starts a program without waiting for it; `finished` is to be called on
  // the user-interface thread once the program has ended.
  std::function<TProcessStart(const QString& program, const QStringList& arguments,
                              std::function<void()> finished)>
      StartProcess;
  // Opens an address or a document with the desktop (help, home page, a
  // picture in its default application).
  std::function<bool(const QUrl& url)> OpenUrl;  // false when nothing could open it
  // Starts a program without waiting for it; false when it could not start.
  std::function<bool(const QString& program, const QStringList& arguments)> StartProgram;
  // Runs the About box, already built, modally.
  std::function<void(TfrmAbout& dialog)> ShowAbout;
  // Asks for one line of text, text holding the proposal; false when the
  // user cancelled.
  std::function<bool(const QString& caption, const QString& label, QString& text)> AskText;
};

class TfrmMain : public QMainWindow {
  Q_OBJECT

 public:
  // The project version, given by the build.
  static constexpr const char* kVersion = kProgramVersion;

  // Pages of the centre stack.
  enum Page { kPageWelcome = 0, kPageDetails = 1, kPageThumbnails = 2, kPagePreview = 3 };

  // programFolder: where the program file, Logo.bmp and the editors live.
  // dataFolder: where Setup.ini, Log.dat and Watermarks/ live. Both end with "/".
  TfrmMain(std::string programFolder, std::string dataFolder, QWidget* parent = nullptr);
  ~TfrmMain() override;

  // Copies the left panel into the settings record, and back.
  void PanelToSettings();
  void SettingsToPanel();

  TSettings& Settings() { return settings_; }
  const TSettings& Settings() const { return settings_; }
  TProgramValues& ProgramValues() { return values_; }
  const TProgramValues& ProgramValues() const { return values_; }

  const std::string& ProgramFolder() const { return programFolder_; }
  const std::string& DataFolder() const { return dataFolder_; }
  // Path of the template chosen in cbListTpl (set on every selection change).
  const std::string& SelectedTemplatePath() const { return selectedTemplatePath_; }

  QStackedWidget* Pages() const { return pages_; }
  // Text of a status bar panel (0 template, 1 image count, 2 file name).
  void SetStatusText(int panel, const QString& text);
  QString StatusText(int panel) const;

  // Rebuilds cbListTpl from the ".wg" files of the Watermarks folder and
  // selects entry TplIndex (without running the selection change).
  void RefreshTemplateList();
  // The template selection change: path, TplIndex and status text.
  void cbListTplChange();
  // Opens the selected template for a run, or shows why there is none.
  bool OpenSelectedTemplate();

  // Replaces the hooks dialogs sets; one left empty keeps the one set before.
  void SetDialogs(TMainDialogs dialogs);
  // Shows a message box through the replaceable dialogs.
  int ShowMessage(QMessageBox::Icon icon, const QString& caption, const QString& text,
                  QMessageBox::StandardButtons buttons = QMessageBox::Ok);

  // The image list.
  QTableWidget* ListImgs() const { return ListImgs_; }
  int RowCount() const;
  QString RowText(int row) const;
  int RowIcon(int row) const;  // -1 outside the list
  // Sub-column 0..4: format, original dimension, original size, new
  // dimension, new size.
  QString RowColumn(int row, int subColumn) const;
  void SetRowIcon(int row, int icon);
  void SetRowColumn(int row, int subColumn, const QString& text);
  bool IsInList(const QString& path) const;
  // Appends rows for the paths not yet listed, with progress and stop.
  void AddImages(const QStringList& paths);
  const std::vector<std::string>& AddedFolders() const { return addedFolders_; }
  const QString& CurrentImage() const { return currentImage_; }
  bool ThumbnailsStale() const { return thumbnailsStale_; }
  // Enables the commands that need rows, a template or a selection.
  void UpdateCommands();

  // Commands.
  void actAddFilesExecute();
  void actAddfoldersExecute();
  void DragDropMDrop(const QStringList& paths);
  void actRemoveSelectedExecute();
  void actRemoveAllExecute();
  void actProcessExecute();
  void actStopExecute();
  // Whether the run's output folder can take the batch (made when it is the
  // default one); one message says why not.
  bool OutputFolderReady();
  // Asks whether closing during a run stops it (true) or the run goes on.
  bool ConfirmCloseDuringRun();
  // Deletes the selected template file after the user confirms.
  void actTplDelExecute();
  // Start the template editor without a file, or on the selected template.
  void actTplAddExecute();
  void actTplEditExecute();
  // A template editor has ended: the list is refreshed now, or once the run
  // or add under way has ended.
  void cpMTerminate();
  // Named presets: the list in the panel, picking one (shows its settings
  // and selects its template), saving the panel under a name, deleting the
  // chosen one.
  void RefreshPresetList(const QString& select = {});
  void cbPresetChange();
  void actPresetSaveExecute();
  // Asks for a preset's name, name holding the proposal; false when cancelled.
  bool AskPresetName(QString& name);
  // Hides the rows that did not fail while "show only failed" is on.
  void ApplyFailedOnly();
  void actPresetDelExecute();
  // Opens the run-log viewer on Log.dat, and empties Log.dat.
  void actShowLogsExecute();
  void actClearLogsExecute();
  // The options dialog over the panel's current state; Save shows the
  // stored settings in the panel.
  void actStandardOptionExecute();
  // The commands that leave the program: About box, home page, update
  // check, help manual and the image editor.
  void actAboutSoftExecute();
  void actHomePageExecute();
  void mnuCheckUpdateClick();
  void actHelpExecute();
  void actPhotoEditorExecute();
  // Starts the image editor on one picture: ProgramFolder + "PhotoTouch"
  // when it is there and executable, else the desktop's default program.
  void OpenInImageEditor(const QString& path);
  // Says that no program opens address, and shows it to be copied.
  void ReportNoOpener(const QString& address);
  bool StopRequested() const { return stopRequested_; }
  bool Running() const { return running_; }
  // What the last run did (outcome and counts).
  const TRunSummary& LastRun() const { return *lastRun_; }
  // The objects every image of a run works on, created once per window.
  TWorkingObjects& WorkingObjects() { return *work_; }

  // The filter list of the open-file dialog.
  static QString OpenFilesFilter();

  // Preview and thumbnail pages.
  // Opens the preview page on the first selected row (row 0 without one).
  void actShowPreviewExecute();
  // Previews the previous (step -1) or next (step +1) row.
  void btnPrevClick(int step);
  void tbZoomChange(int value);
  // Zooms the preview one slider mark in (+1) or out (-1); Ctrl+wheel and
  // Ctrl+plus/minus.
  void ZoomBy(int step);
  // Fits the preview into the page again (Ctrl+0, the Fit button).
  void ZoomFit();
  // Why the last RenderPreview failed; empty after a good one.
  const QString& LastPreviewFailure() const { return lastPreviewFailure_; }
  // Renders one source into the preview; false leaves the page as it was.
  bool RenderPreview(const QString& path);
  int PreviewIndex() const { return previewIndex_; }
  TImagePreview* ImagePreview() const { return ImagePreview_; }
  // Shows the thumbnail page, rebuilding it when the list changed.
  void actImagesViewExecute();
  QListWidget* ViewImgs() const { return ViewImgs_; }
  // True while thumbnails are still being made for the view.
  bool ThumbnailsBuilding() const;
  // The path of the row a thumbnail item shows.
  static QString ThumbnailPath(const QListWidget* view, int item);
  // Whether a thumbnail item stands for a file that did not load.
  static bool ThumbnailBroken(const QListWidget* view, int item);

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void FormCreate();
  void FormShow();
  void FormDestroy();

  void CreateActions();
  // The commands' pictures: the desktop's themed icons, else ours drawn in
  // the palette's colours.
  void ApplyCommandIcons();
  void CreateMenus();
  void CreateToolBar();
  void CreateStatusBar();
  void CreatePages();
  QWidget* CreatePanel();
  // The preset line of the template group.
  QLayout* CreatePresetRow(QWidget* group);
  QWidget* CreateTemplateGroup();
  void ApplyStoredGeometry();

  void actWelcomeExecute();
  // Starts the template editor with the given arguments; reports a program
  // that cannot be started.
  void StartTemplateEditor(const QStringList& arguments);
  // Template file names of the Watermarks folder, to tell new ones at the
  // editor's end.
  QStringList TemplateFileNames() const;
  void TemplateEditorEnded(const QStringList& namesBefore);
  // Lets running template editors go on without the window.
  void ReleaseTemplateEditors();
  // Runs an editor end that came while the window was busy.
  void RunDeferredTemplateRefresh();
  // Follows the Watermarks folder: templates saved or copied there by any
  // program appear in the list, the chosen one staying chosen.
  void WatchTemplateFolder();
  void TemplateFolderChanged();
  // Searches folders on a thread of its own with progress and cancel; false
  // when the user stopped it.
  bool SearchFolders(const std::function<void(std::vector<std::string>& found,
                                              const std::function<bool(size_t)>& goOn)>& search,
                     std::vector<std::string>& found);
  // Panel 2 names a row: caption, path and what follows; the text goes once
  // the row has been removed.
  void ShowRowInStatus(const QString& caption, const QString& path, const QString& rest = {});
  // Marks the preset list when the panel no longer holds the chosen preset.
  void WatchPanelForPresetChanges();
  void TakePresetSnapshot();
  void UpdatePresetMarker();
  // Shares the free width of the image list between its columns.
  void LayoutListColumns();
  // Grows the first window size when the settings panel does not fit it.
  void FitFirstSizeToPanel();
  // Lays the columns out again once the current event is handled.
  void ScheduleListLayout();
  void actDetailsListExecute();
  QWidget* CreateThumbnailPage();
  QWidget* CreatePreviewPage();
  void ViewImgsSelectItem();
  // Enables the preview and view commands for the rows and the busy state.
  void ApplyViewCommandState(bool rows, bool busy);
  void UpdatePrevNext();
  void actExitExecute();

  void CreateImageList(QWidget* page);
  void ListImgsSelectItem();
  void InsertRow(const ImageListEntry& entry);
  class RunHost;
  class ListHost;
  friend class RunHost;
  friend class ListHost;
  void SetProgress(int percent);
  // Enables the commands for the rows, the selection and the work under
  // way. A run or an add keeps the list, the template and the EXIF objects
  // unchanged by disabling the commands that would change them.
  void ApplyCommandState();
  void ConnectHelpCommands();
  // The image editor's enabled state, part of ApplyCommandState.
  void ApplyEditorCommandState();
  // Whether the thumbnail view is shown with a thumbnail selected.
  bool ThumbnailSelected() const;
  void OpenUrl(const QUrl& url);
  void ProcessMessages();

  QAction* NewAction(const char* name, const QString& caption, const QKeySequence& shortcut = {});
  // A menu or toolbar entry with its own caption that triggers `action` and
  // follows its enabled state.
  QAction* LinkedItem(QAction* action, const QString& caption, const char* name);

  std::string programFolder_;
  std::string dataFolder_;
  TSettings settings_;
  TProgramValues values_;
  std::string selectedTemplatePath_;
  bool thumbnailsStale_ = false;
  TMainDialogs dialogs_;
  std::vector<std::string> addedFolders_;
  QString currentImage_;
  bool stopRequested_ = false;
  bool running_ = false;
  bool adding_ = false;
  bool closeAfterRun_ = false;
  bool closing_ = false;
  int runRows_ = 0;  // the rows of the run under way, and those done
  int runDone_ = 0;
  std::unique_ptr<TWorkingObjects> work_;
  std::unique_ptr<TRunSummary> lastRun_;
  bool panelFilled_ = false;
  bool shown_ = false;
  bool destroyed_ = false;
  bool templateRefreshPending_ = false;
  bool templateWatchPending_ = false;
  QFileSystemWatcher* templateWatch_ = nullptr;
  QTimer* templateWatchDelay_ = nullptr;
  QString statusRowPath_;  // the row panel 2 names, if any
  // The chosen preset as the panel showed it when picked or saved.
  std::unique_ptr<TSettings> presetSnapshot_;
  QString presetSnapshotTemplate_;
  QPushButton* btnSearchCancel = nullptr;
  QStringList pendingTemplateNames_;
  std::vector<int> listColumnWidths_;
  // Widest cell text of each short column (sub-columns 0..4); recounted after
  // rows are removed.
  std::vector<int> listTextWidths_;
  bool listTextWidthsStale_ = false;
  bool listLayoutPending_ = false;

  // Actions.
  QAction* actAddFiles = nullptr;
  QAction* actAddfolders = nullptr;
  QAction* actRemoveSelected = nullptr;
  QAction* actRemoveAll = nullptr;
  QAction* actAboutSoft = nullptr;
  QAction* actStandardOption = nullptr;
  QAction* actProcess = nullptr;
  QAction* actShowPreview = nullptr;
  QAction* actHomePage = nullptr;
  QAction* actExit = nullptr;
  QAction* actHelp = nullptr;
  QAction* actShowLogs = nullptr;
  QAction* actClearLogs = nullptr;
  QAction* actImagesView = nullptr;
  QAction* actWelcome = nullptr;
  QAction* actStop = nullptr;
  QAction* actPhotoEditor = nullptr;
  QAction* actDetailsList = nullptr;
  QAction* actTplAdd = nullptr;
  QAction* actTplDel = nullptr;
  QAction* actTplEdit = nullptr;
  QAction* mnuCheckUpdate = nullptr;

  QToolBar* ToolBarM = nullptr;
  QAction* btnToolStop = nullptr;
  QAction* btnToolRun = nullptr;

  // Centre.
  QStackedWidget* pages_ = nullptr;
  QLabel* imgWelcome_ = nullptr;
  QWidget* plProgress = nullptr;
  TProgressBar* pbM = nullptr;
  QTableWidget* ListImgs_ = nullptr;
  QMenu* pMenuImg = nullptr;
  QLabel* statusPanels_[3] = {nullptr, nullptr, nullptr};
  QListWidget* ViewImgs_ = nullptr;
  class TThumbnailBuild;
  // The build under way; shared so that its thread is joined wherever the
  // last owner lets it go.
  std::shared_ptr<TThumbnailBuild> thumbnailBuild_;
  uint64_t thumbnailGeneration_ = 0;
  // picture is null when the row's file did not load; reason says why.
  void ThumbnailReady(uint64_t generation, const QString& path, const QImage& picture,
                      const QString& reason);
  void ThumbnailsDone(uint64_t generation);
  TImagePreview* ImagePreview_ = nullptr;
  QLabel* lbScale = nullptr;
  QSlider* tbZoom = nullptr;
  QAction* actZoomIn = nullptr;
  QAction* actZoomOut = nullptr;
  QAction* actZoomFit = nullptr;
  QAction* actFailedOnly = nullptr;  // the list shows only the failed rows
  QToolButton* btnZoomFit = nullptr;
  QString lastPreviewFailure_;
  QPushButton* btnPrev = nullptr;
  QPushButton* btnNext = nullptr;
  int previewIndex_ = 0;

  // Left panel.
  QComboBox* cbPreset = nullptr;
  TMenuBtn* abPreset = nullptr;
  QMenu* pMenuPreset = nullptr;
  QAction* pmnuPresetSave = nullptr;
  QAction* pmnuPresetDel = nullptr;
  QComboBox* cbListTpl = nullptr;
  TMenuBtn* abTpl = nullptr;
  QMenu* pMenuTpl = nullptr;
  // Output folder and format, renaming and size restriction.
  TSettingsPanel* settingsPanel_ = nullptr;
};

}  // namespace imprimo
