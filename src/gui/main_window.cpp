#include "gui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QPolygonF>
#include <QScreen>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <cstdio>
#include <exception>
#include <utility>

#include "app/batch_run.h"
#include "gui/form_translation.h"
#include "gui/imaging_graphic.h"
#include "gui/progress_bar.h"
#include "gui/qt_text.h"
#include "gui/window_texts.h"

namespace imprimo {

namespace {

constexpr int kDesignWidth = 805;
constexpr int kDesignHeight = 620;

// A themed icon when the desktop offers one, else the style's own.
QIcon ToolIcon(const QWidget* w, const char* themeName, QStyle::StandardPixmap fallback) {
  return QIcon::fromTheme(QString::fromLatin1(themeName), w->style()->standardIcon(fallback));
}

// An icon at the toolbar's sizes from a painter drawing on a 32 x 32 grid.
template <typename Paint>
QIcon DrawnIcon(Paint paint) {
  QIcon icon;
  for (const int size : {16, 24, 32, 48}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    paint(p);
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

// The style has no picture for an image editor: a pencil over a picture
// frame, outlined in the palette's text colour so that it shows on light and
// dark schemes alike.
QIcon EditorIcon(const QPalette& palette) {
  const QColor ink = palette.color(QPalette::ButtonText);
  return DrawnIcon([ink](QPainter& p) {
    p.setPen(QPen(ink, 1.5));
    p.setBrush(QColor(235, 240, 248));
    p.drawRoundedRect(QRectF(3, 5, 22, 20), 2, 2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 170, 90));
    p.drawPolygon(QPolygonF(
        {QPointF(5, 23), QPointF(12, 14), QPointF(17, 20), QPointF(20, 17), QPointF(23, 23)}));
    p.setBrush(QColor(240, 190, 60));
    p.drawEllipse(QPointF(19, 10), 2.5, 2.5);
    p.translate(22, 22);
    p.rotate(-45);
    p.setPen(QPen(ink, 1.2));
    p.setBrush(QColor(250, 200, 80));
    p.drawRect(QRectF(-3, -12, 6, 16));
    p.setBrush(QColor(240, 220, 190));
    p.drawPolygon(QPolygonF({QPointF(-3, 4), QPointF(3, 4), QPointF(0, 9)}));
  });
}

// Options: three sliders on their rails, drawn when the theme has no
// preferences picture.
QIcon OptionsIcon(const QPalette& palette) {
  const QColor ink = palette.color(QPalette::ButtonText);
  return DrawnIcon([ink](QPainter& p) {
    const double knobs[3] = {10, 21, 14};
    for (int i = 0; i < 3; ++i) {
      const double y = 7 + i * 9;
      p.setPen(QPen(ink, 2.2, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(4, y), QPointF(28, y));
      p.setPen(QPen(QColor(50, 70, 110), 1.2));
      p.setBrush(QColor(110, 160, 220));
      p.drawRoundedRect(QRectF(knobs[i] - 3, y - 4, 6, 8), 1.5, 1.5);
    }
  });
}

}  // namespace

TfrmMain::TfrmMain(std::string programFolder, std::string dataFolder, QWidget* parent)
    : QMainWindow(parent),
      programFolder_(std::move(programFolder)),
      dataFolder_(std::move(dataFolder)),
      work_(std::make_unique<TWorkingObjects>()),
      lastRun_(std::make_unique<TRunSummary>()) {
  setObjectName(QStringLiteral("frmMain"));
  SetLanguageFilePath(programFolder_ + "imprimo.lcf");
  // The texts the window sets while it is built come from the language too.
  OpenProgramLanguageFile();
  MarkFixedText(*this);  // the caption names the program and its version
  CreateActions();
  CreatePages();
  QWidget* centre = new QWidget(this);
  centre->setObjectName(QStringLiteral("plCentre"));
  auto* row = new QHBoxLayout(centre);
  row->setContentsMargins(4, 4, 4, 0);
  row->setSpacing(4);
  row->addWidget(CreatePanel());
  row->addWidget(pages_, 1);
  setCentralWidget(centre);
  CreateMenus();
  CreateToolBar();
  CreateStatusBar();
  ConnectHelpCommands();
  FormCreate();
}

TfrmMain::~TfrmMain() {
  // The thumbnail worker posts to this window; it ends before the window does.
  thumbnailBuild_.reset();
  FormDestroy();
}

void TfrmMain::FormCreate() {
  thumbnailsStale_ = false;
  setWindowTitle(QStringLiteral("Imprimo ") + QString::fromLatin1(kVersion));
  // The application title follows the caption; with both equal the desktop
  // shows the caption alone.
  QApplication::setApplicationDisplayName(windowTitle());

  try {
    LoadSettings(dataFolder_, settings_, values_);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "imprimo: settings not loaded: %s\n", e.what());
    settings_ = TSettings();
    values_ = TProgramValues();
  }
  RefreshTemplateList();
  WatchTemplateFolder();
  WatchPanelForPresetChanges();
  TranslateWindow(*this, "TfrmMain");

  // Pictures the windows load by name are decoded by the image file layer.
  RegisterImagingGraphic();
  const QString logoPath = FromUtf8(programFolder_) + QStringLiteral("Logo.bmp");
  if (QFileInfo::exists(logoPath)) {
    QImage logo(logoPath);
    if (!logo.isNull()) imgWelcome_->setPixmap(QPixmap::fromImage(logo));
  }

  plProgress->hide();
  ApplyStoredGeometry();
}

void TfrmMain::ApplyStoredGeometry() {
  QRect available(0, 0, 1920, 1080);
  if (const QScreen* screen = QApplication::primaryScreen())
    available = screen->availableGeometry();
  const QSize minimum = minimumSizeHint();
  QSize client(kDesignWidth, kDesignHeight);
  const bool minimized = values_.WinState == 1;
  const bool maximized = values_.WinState == 2;
  // Any other state is taken as normal. Sizes beyond the screen are cut to
  // it so that a damaged file never gives an unreachable window.
  if (!minimized && !maximized)
    client =
        QSize(values_.WinWidth, values_.WinHeight).boundedTo(available.size()).expandedTo(minimum);
  resize(client);
  move(available.x() + (available.width() - client.width()) / 2,
       available.y() + (available.height() - client.height()) / 2);
  // Moving or sizing a window drops a maximized state, so the state comes last.
  if (minimized) setWindowState(Qt::WindowMinimized);
  if (maximized) setWindowState(Qt::WindowMaximized);
}

void TfrmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!shown_) {
    shown_ = true;
    FormShow();
  }
}

void TfrmMain::FormShow() {
  pages_->setCurrentIndex(kPageWelcome);
  SettingsToPanel();
  UpdateCommands();
  actStop->setEnabled(false);
  btnToolStop->setEnabled(false);
  addToolBar(Qt::TopToolBarArea, ToolBarM);
  FitFirstSizeToPanel();
}

void TfrmMain::FitFirstSizeToPanel() {
  // Only the first size a user gets: a size the user chose is kept.
  const TProgramValues defaults;
  if (values_.WinState != 0 || values_.WinWidth != defaults.WinWidth ||
      values_.WinHeight != defaults.WinHeight ||
      size() != QSize(defaults.WinWidth, defaults.WinHeight))
    return;
  auto* panel = findChild<QScrollArea*>(QStringLiteral("plLeft"));
  if (panel == nullptr || panel->widget() == nullptr) return;
  if (QLayout* layout = centralWidget()->layout()) layout->activate();
  // A desktop font with taller lines (a CJK font, a large text setting)
  // gives the panel a scroll bar at the designed size; the window grows by
  // what the panel lacks, as far as the screen allows.
  const int lacking = panel->widget()->minimumSizeHint().height() - panel->viewport()->height();
  if (lacking <= 0) return;
  QRect available(0, 0, 1920, 1080);
  if (const QScreen* screen = QApplication::primaryScreen())
    available = screen->availableGeometry();
  const int height = std::min(this->height() + lacking, available.height());
  resize(width(), height);
  move(x(), std::max(available.y(),
                     available.y() + (available.height() - frameGeometry().height()) / 2));
}

void TfrmMain::SetDialogs(TMainDialogs dialogs) {
  auto take = [](auto& mine, auto& given) {
    if (given) mine = std::move(given);
  };
  take(dialogs_.MessageBox, dialogs.MessageBox);
  take(dialogs_.OpenFiles, dialogs.OpenFiles);
  take(dialogs_.SelectFolder, dialogs.SelectFolder);
  take(dialogs_.OpenFolder, dialogs.OpenFolder);
  take(dialogs_.ShowLogViewer, dialogs.ShowLogViewer);
  take(dialogs_.ShowOptions, dialogs.ShowOptions);
  take(dialogs_.StartProcess, dialogs.StartProcess);
  take(dialogs_.OpenUrl, dialogs.OpenUrl);
  take(dialogs_.StartProgram, dialogs.StartProgram);
  take(dialogs_.ShowAbout, dialogs.ShowAbout);
  take(dialogs_.AskText, dialogs.AskText);
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  // Closing during a run or an add would pull the window from under the
  // loop: the work stops after the images under way and the window closes
  // then. A run asks first: the user may keep it going.
  if (running_ && !closing_ && !ConfirmCloseDuringRun()) {
    event->ignore();
    return;
  }
  if (running_ || adding_) {
    stopRequested_ = true;
    closeAfterRun_ = true;
    closing_ = true;
    event->ignore();
    return;
  }
  QMainWindow::closeEvent(event);
  if (event->isAccepted()) FormDestroy();
}

void TfrmMain::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  ReleaseTemplateEditors();
  // Nothing that goes wrong here may stop the program from ending.
  try {
    values_.WinWidth = width();
    values_.WinHeight = height();
    if (isMinimized())
      values_.WinState = 1;
    else if (isMaximized())
      values_.WinState = 2;
    else
      values_.WinState = 0;
    values_.TplIndex = cbListTpl->currentIndex();
    // A window that was never shown has a panel that never held the
    // settings; copying it would overwrite them with the panel's defaults.
    if (panelFilled_) PanelToSettings();
    SaveSettings(dataFolder_, settings_, values_);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "imprimo: settings not saved: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "imprimo: settings not saved\n");
  }
}

QAction* TfrmMain::NewAction(const char* name, const QString& caption,
                             const QKeySequence& shortcut) {
  auto* action = new QAction(caption, this);
  action->setObjectName(QString::fromLatin1(name));
  if (!shortcut.isEmpty()) {
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WindowShortcut);
  }
  addAction(action);  // shortcuts work wherever the window has the focus
  return action;
}

QAction* TfrmMain::LinkedItem(QAction* action, const QString& caption, const char* name) {
  QString text = caption;
  if (!action->shortcut().isEmpty())
    text += QLatin1Char('\t') + action->shortcut().toString(QKeySequence::NativeText);
  auto* item = new QAction(action->icon(), text, this);
  item->setObjectName(QString::fromLatin1(name));
  item->setEnabled(action->isEnabled());
  connect(item, &QAction::triggered, action, [action] { action->trigger(); });
  connect(action, &QAction::enabledChanged, item, &QAction::setEnabled);
  return item;
}

void TfrmMain::CreateActions() {
  actAddFiles =
      NewAction("actAddFiles", QStringLiteral("Open Files"), QKeySequence(Qt::CTRL | Qt::Key_O));
  actAddfolders = NewAction("actAddfolders", QStringLiteral("Add a Folder"),
                            QKeySequence(Qt::CTRL | Qt::Key_F));
  actRemoveSelected = NewAction("actRemoveSelected", QStringLiteral("Remove Selected Images"));
  actRemoveAll = NewAction("actRemoveAll", QStringLiteral("Remove All Images"),
                           QKeySequence(Qt::CTRL | Qt::Key_R));
  actAboutSoft = NewAction("actAboutSoft", QStringLiteral("About Soft"));
  actStandardOption = NewAction("actStandardOption", QStringLiteral("Standard Options"));
  actProcess = NewAction("actProcess", QStringLiteral("Process"), QKeySequence(Qt::Key_F9));
  actShowPreview = NewAction("actShowPreview", QStringLiteral("Preview Result"),
                             QKeySequence(Qt::CTRL | Qt::Key_3));
  actHomePage = NewAction("actHomePage", QStringLiteral("Home Page"));
  actExit = NewAction("actExit", QStringLiteral("Exit"), QKeySequence(Qt::CTRL | Qt::Key_Q));
  actExit->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::Key_Q), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_X)});
  actHelp = NewAction("actHelp", QStringLiteral("Help Manual"), QKeySequence(Qt::Key_F1));
  actShowLogs = NewAction("actShowLogs", UiText(TTextId::LogViewerCaption));
  actClearLogs = NewAction("actClearLogs", QStringLiteral("Clean Logs"));
  actImagesView =
      NewAction("actImagesView", QStringLiteral("Thumb View"), QKeySequence(Qt::CTRL | Qt::Key_2));
  actWelcome =
      NewAction("actWelcome", QStringLiteral("Welcome Page"), QKeySequence(Qt::CTRL | Qt::Key_4));
  actStop = NewAction("actStop", QStringLiteral("Stop"), QKeySequence(Qt::Key_Escape));
  actPhotoEditor = NewAction("actPhotoEditor", QStringLiteral("Image Editor"),
                             QKeySequence(Qt::CTRL | Qt::Key_E));
  actDetailsList = NewAction("actDetailsList", QStringLiteral("Detail List"),
                             QKeySequence(Qt::CTRL | Qt::Key_1));
  actTplAdd = NewAction("actTplAdd", QStringLiteral("Open Template Editor"));
  actTplDel = NewAction("actTplDel", QStringLiteral("Delete Selected Template"));
  actTplEdit = NewAction("actTplEdit", QStringLiteral("Edit Selected Template"));
  actZoomIn = NewAction("actZoomIn", QStringLiteral("Zoom &In"), QKeySequence::ZoomIn);
  actZoomIn->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
  actZoomOut = NewAction("actZoomOut", QStringLiteral("Zoom &Out"), QKeySequence::ZoomOut);
  actZoomFit = NewAction("actZoomFit", QStringLiteral("&Fit"), QKeySequence(Qt::CTRL | Qt::Key_0));
  actFailedOnly = NewAction("actFailedOnly", WinText(TWinText::FailedOnlyFilter));
  actFailedOnly->setCheckable(true);
  connect(actFailedOnly, &QAction::toggled, this, [this] { ApplyFailedOnly(); });
  actZoomFit->setCheckable(true);
  actZoomFit->setChecked(true);
  actZoomFit->setToolTip(QStringLiteral("Fit the picture into the window"));
  connect(actZoomIn, &QAction::triggered, this, [this] { ZoomBy(+1); });
  connect(actZoomOut, &QAction::triggered, this, [this] { ZoomBy(-1); });
  connect(actZoomFit, &QAction::triggered, this, [this] { ZoomFit(); });

  ApplyCommandIcons();

  // Commands whose work is not in this window yet stay unavailable; the
  // list commands follow UpdateCommands.
  for (QAction* a : {actRemoveSelected, actRemoveAll, actProcess, actShowPreview, actImagesView,
                     actStop, actPhotoEditor, actDetailsList, actTplDel, actTplEdit})
    a->setEnabled(false);

  connect(actWelcome, &QAction::triggered, this, &TfrmMain::actWelcomeExecute);
  connect(actExit, &QAction::triggered, this, &TfrmMain::actExitExecute);
  connect(actAddFiles, &QAction::triggered, this, &TfrmMain::actAddFilesExecute);
  connect(actAddfolders, &QAction::triggered, this, &TfrmMain::actAddfoldersExecute);
  connect(actRemoveSelected, &QAction::triggered, this, &TfrmMain::actRemoveSelectedExecute);
  connect(actRemoveAll, &QAction::triggered, this, &TfrmMain::actRemoveAllExecute);
  connect(actProcess, &QAction::triggered, this, &TfrmMain::actProcessExecute);
  connect(actStop, &QAction::triggered, this, &TfrmMain::actStopExecute);
  connect(actTplDel, &QAction::triggered, this, &TfrmMain::actTplDelExecute);
  connect(actTplAdd, &QAction::triggered, this, &TfrmMain::actTplAddExecute);
  connect(actTplEdit, &QAction::triggered, this, &TfrmMain::actTplEditExecute);
  connect(actShowLogs, &QAction::triggered, this, &TfrmMain::actShowLogsExecute);
  connect(actClearLogs, &QAction::triggered, this, &TfrmMain::actClearLogsExecute);
  connect(actStandardOption, &QAction::triggered, this, &TfrmMain::actStandardOptionExecute);
  connect(actDetailsList, &QAction::triggered, this, &TfrmMain::actDetailsListExecute);
  connect(actShowPreview, &QAction::triggered, this, &TfrmMain::actShowPreviewExecute);
  connect(actImagesView, &QAction::triggered, this, &TfrmMain::actImagesViewExecute);
}

void TfrmMain::CreateMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("mnuMain"));

  QMenu* file = bar->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("mnuFile"));
  file->addAction(LinkedItem(actAddFiles, UiText(TTextId::OpenImagesTitle), "mnuOpenImages"));
  file->addAction(
      LinkedItem(actAddfolders, QStringLiteral("Select a &Folder..."), "mnuSelectFolder"));
  file->addAction(LinkedItem(actRemoveAll, QStringLiteral("Remove &All"), "mnuRemoveAll"));
  file->addAction(
      LinkedItem(actRemoveSelected, QStringLiteral("&Remove Selected"), "mnuRemoveSelected"));
  file->addSeparator();
  file->addAction(LinkedItem(actExit, QStringLiteral("E&xit"), "mnuExit"));

  QMenu* process = bar->addMenu(QStringLiteral("&Process"));
  process->setObjectName(QStringLiteral("mnuProcess"));
  process->addAction(
      LinkedItem(actProcess, QStringLiteral("&Start Processing"), "mnuStartProcessing"));
  process->addAction(LinkedItem(actStop, QStringLiteral("S&top Processing"), "mnuStopProcessing"));

  QMenu* view = bar->addMenu(QStringLiteral("&View"));
  view->setObjectName(QStringLiteral("mnuView"));
  view->addAction(LinkedItem(actImagesView, QStringLiteral("View &Thumbnail"), "mnuViewThumbnail"));
  view->addAction(LinkedItem(actDetailsList, QStringLiteral("&Detail List"), "mnuDetailList"));
  view->addAction(actFailedOnly);
  view->addSeparator();
  view->addAction(
      LinkedItem(actShowPreview, QStringLiteral("&Preview Result"), "mnuPreviewResult"));
  view->addAction(LinkedItem(actWelcome, QStringLiteral("&Welcome Page"), "mnuWelcomePage"));
  view->addSeparator();
  view->addAction(LinkedItem(actZoomIn, QStringLiteral("Zoom &In"), "mnuZoomIn"));
  view->addAction(LinkedItem(actZoomOut, QStringLiteral("Zoom &Out"), "mnuZoomOut"));
  view->addAction(LinkedItem(actZoomFit, QStringLiteral("&Fit to Window"), "mnuZoomFit"));

  QMenu* tools = bar->addMenu(QStringLiteral("&Tools"));
  tools->setObjectName(QStringLiteral("mnuTools"));
  tools->addAction(
      LinkedItem(actStandardOption, QStringLiteral("Standard &Options..."), "mnuStandardOptions"));
  tools->addAction(LinkedItem(actTplAdd, QStringLiteral("&Template Editor"), "mnuTemplateEditor"));
  tools->addAction(LinkedItem(actPhotoEditor, QStringLiteral("&Image Editor"), "mnuImageEditor"));
  tools->addSeparator();
  tools->addAction(LinkedItem(actShowLogs, UiText(TTextId::LogViewerCaption), "mnuShowLogs"));
  tools->addAction(LinkedItem(actClearLogs, QStringLiteral("&Clean Logs..."), "mnuCleanLogs"));

  QMenu* help = bar->addMenu(QStringLiteral("&Help"));
  help->setObjectName(QStringLiteral("mnuHelp"));
  help->addAction(LinkedItem(actHelp, QStringLiteral("&Contents"), "mnuContents"));
  help->addAction(LinkedItem(actHomePage, QStringLiteral("&Home Page"), "mnuHomePage"));
  help->addSeparator();
  mnuCheckUpdate = help->addAction(QStringLiteral("Latest Version on the Home Page"));
  mnuCheckUpdate->setObjectName(QStringLiteral("mnuCheckUpdate"));
  help->addSeparator();
  help->addAction(LinkedItem(actAboutSoft, QStringLiteral("&About..."), "mnuAbout"));
}

void TfrmMain::CreateToolBar() {
  ToolBarM = new QToolBar(QStringLiteral("Toolbar"), this);
  ToolBarM->setObjectName(QStringLiteral("ToolBarM"));
  ToolBarM->setMovable(false);
  ToolBarM->setFloatable(false);
  ToolBarM->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  ToolBarM->setIconSize(QSize(28, 28));
  ToolBarM->toggleViewAction()->setEnabled(false);

  struct Button {
    const char* name;
    const char* caption;
    const char* hint;
    QAction* command;
  };
  const Button buttons[] = {
      {"btnToolAdd", "Open", "Open images", actAddFiles},
      {"btnToolDel", "Remove", "Remove selected images", actRemoveSelected},
      {nullptr, nullptr, nullptr, nullptr},
      {"btnToolPreview", "Preview", "Preview result", actShowPreview},
      {"btnToolRun", "Process", "Start processing", actProcess},
      {"btnToolStop", "Stop", "Stop processing", actStop},
      {nullptr, nullptr, nullptr, nullptr},
      {"btnToolDetails", "Details", "Detail List", actDetailsList},
      {"btnToolThumb", "Thumb", "View Thumbnail", actImagesView},
      {nullptr, nullptr, nullptr, nullptr},
      {"btnToolTpl", "Template", "Template Editor", actTplAdd},
      {"btnToolEdit", "Editor", "Image editor", actPhotoEditor},
      {"btnToolOption", "Options", "Standard Options", actStandardOption},
      {"btnToolExit", "Exit", "Exit", actExit},
  };
  for (const Button& b : buttons) {
    if (b.name == nullptr) {
      ToolBarM->addSeparator();
      continue;
    }
    QAction* item = LinkedItem(b.command, QString::fromLatin1(b.caption), b.name);
    item->setText(QString::fromLatin1(b.caption));  // no shortcut column on a button
    item->setToolTip(QString::fromLatin1(b.hint));
    ToolBarM->addAction(item);
    QWidget* button = ToolBarM->widgetForAction(item);
    button->setObjectName(QString::fromLatin1(b.name));
    button->setMinimumWidth(56);
    if (b.command == actProcess) btnToolRun = item;
    if (b.command == actStop) btnToolStop = item;
    if (b.command == actTplAdd) {
      item->setMenu(pMenuTpl);
      if (auto* tb = qobject_cast<QToolButton*>(button))
        tb->setPopupMode(QToolButton::MenuButtonPopup);
    }
  }
  addToolBar(Qt::TopToolBarArea, ToolBarM);
}

namespace {

// A status bar panel whose text, when longer than the panel, is cut in the
// middle so that both the caption and the end of a path stay in sight; the
// whole text is its tool tip.
class StatusPanel : public QLabel {
 public:
  using QLabel::QLabel;
  QSize minimumSizeHint() const override {
    return QSize(minimumWidth(), QLabel::minimumSizeHint().height());
  }
  QSize sizeHint() const override { return minimumSizeHint(); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QRect area = contentsRect();
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width()));
  }
  bool event(QEvent* e) override {
    if (e->type() == QEvent::ToolTip)
      setToolTip(fontMetrics().horizontalAdvance(text()) > contentsRect().width() ? text()
                                                                                  : QString());
    return QLabel::event(e);
  }
};

}  // namespace

void TfrmMain::ApplyCommandIcons() {
  actAddFiles->setIcon(ToolIcon(this, "document-open", QStyle::SP_DialogOpenButton));
  actRemoveSelected->setIcon(ToolIcon(this, "list-remove", QStyle::SP_TrashIcon));
  actShowPreview->setIcon(
      ToolIcon(this, "document-print-preview", QStyle::SP_FileDialogContentsView));
  actProcess->setIcon(ToolIcon(this, "media-playback-start", QStyle::SP_MediaPlay));
  actStop->setIcon(ToolIcon(this, "media-playback-stop", QStyle::SP_MediaStop));
  actDetailsList->setIcon(ToolIcon(this, "view-list-details", QStyle::SP_FileDialogDetailedView));
  actImagesView->setIcon(ToolIcon(this, "view-list-icons", QStyle::SP_FileDialogListView));
  actTplAdd->setIcon(ToolIcon(this, "document-new", QStyle::SP_FileDialogNewFolder));
  actPhotoEditor->setIcon(
      QIcon::fromTheme(QStringLiteral("applications-graphics"), EditorIcon(palette())));
  actStandardOption->setIcon(QIcon::fromTheme(
      QStringLiteral("preferences-system"),
      QIcon::fromTheme(QStringLiteral("preferences-other"), OptionsIcon(palette()))));
  actExit->setIcon(ToolIcon(this, "application-exit", QStyle::SP_DialogCloseButton));
  actHelp->setIcon(ToolIcon(this, "help-contents", QStyle::SP_DialogHelpButton));
  actAboutSoft->setIcon(ToolIcon(this, "help-about", QStyle::SP_MessageBoxInformation));
  actWelcome->setIcon(ToolIcon(this, "go-home", QStyle::SP_DirHomeIcon));
}

void TfrmMain::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  // The pictures drawn here follow a new palette or style, as the themed
  // ones do.
  if (actAddFiles != nullptr &&
      (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange))
    ApplyCommandIcons();
}

void TfrmMain::CreateStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("sbMain"));
  const int widths[3] = {208, 210, 150};
  for (int i = 0; i < 3; ++i) {
    auto* panel = new StatusPanel(bar);
    panel->setObjectName(QStringLiteral("sbMainPanel%1").arg(i));
    panel->setMinimumWidth(widths[i]);
    panel->setContentsMargins(4, 0, 4, 0);
    panel->setTextFormat(Qt::PlainText);
    MarkFixedText(*panel);  // set while the program runs
    bar->addWidget(panel, i == 2 ? 1 : 0);
    statusPanels_[i] = panel;
  }
  bar->setSizeGripEnabled(true);
  statusPanels_[0]->setText(UiText(TTextId::StatusTemplateName));
  statusPanels_[2]->setText(UiText(TTextId::StatusFileName));
}

void TfrmMain::SetStatusText(int panel, const QString& text) {
  if (panel >= 0 && panel < 3) statusPanels_[panel]->setText(text);
  if (panel == 2) statusRowPath_.clear();
}

QString TfrmMain::StatusText(int panel) const {
  return panel >= 0 && panel < 3 ? statusPanels_[panel]->text() : QString();
}

void TfrmMain::CreatePages() {
  pages_ = new QStackedWidget(this);
  pages_->setObjectName(QStringLiteral("plPages"));
  pages_->setFrameShape(QFrame::StyledPanel);

  // Welcome: the optional picture, centred on the palette's base colour
  // (white on light schemes; a dark scheme keeps the page dark).
  imgWelcome_ = new QLabel;
  imgWelcome_->setObjectName(QStringLiteral("imgWelcome"));
  imgWelcome_->setAlignment(Qt::AlignCenter);
  imgWelcome_->setAutoFillBackground(true);
  imgWelcome_->setBackgroundRole(QPalette::Base);
  pages_->addWidget(imgWelcome_);

  // Detail list, with the progress panel under it.
  auto* details = new QWidget;
  details->setObjectName(QStringLiteral("plDetails"));
  auto* detailsLayout = new QVBoxLayout(details);
  detailsLayout->setContentsMargins(0, 0, 0, 0);
  detailsLayout->setSpacing(0);
  CreateImageList(details);
  detailsLayout->addWidget(ListImgs_, 1);
  plProgress = new QWidget(details);
  plProgress->setObjectName(QStringLiteral("plProgress"));
  plProgress->setFixedHeight(24);
  auto* progressLayout = new QHBoxLayout(plProgress);
  progressLayout->setContentsMargins(0, 0, 0, 0);
  pbM = new TProgressBar(plProgress);
  pbM->setObjectName(QStringLiteral("pbM"));
  progressLayout->addWidget(pbM);
  detailsLayout->addWidget(plProgress);
  pages_->addWidget(details);

  pages_->addWidget(CreateThumbnailPage());
  pages_->addWidget(CreatePreviewPage());
}

void TfrmMain::actWelcomeExecute() { pages_->setCurrentIndex(kPageWelcome); }

void TfrmMain::actExitExecute() { close(); }

}  // namespace imprimo
