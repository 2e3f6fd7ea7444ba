// The main window's commands that hand work to the desktop or to programs
// beside this one: About box, home page, help manual and image editor.
#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QListWidget>
#include <QProcess>
#include <QStackedWidget>
#include <QTableWidget>
#include <QUrl>

#include "gui/about_dialog.h"
#include "gui/form_translation.h"
#include "gui/main_window.h"
#include "gui/qt_text.h"
#include "gui/window_texts.h"

namespace imprimo {

void TfrmMain::ConnectHelpCommands() {
  connect(actAboutSoft, &QAction::triggered, this, &TfrmMain::actAboutSoftExecute);
  connect(actHomePage, &QAction::triggered, this, &TfrmMain::actHomePageExecute);
  connect(mnuCheckUpdate, &QAction::triggered, this, &TfrmMain::mnuCheckUpdateClick);
  connect(actHelp, &QAction::triggered, this, &TfrmMain::actHelpExecute);
  connect(actPhotoEditor, &QAction::triggered, this, &TfrmMain::actPhotoEditorExecute);
  // A double click opens the row in the editor whatever the command's state.
  connect(ListImgs_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
    const QString path = RowText(row);
    if (!path.isEmpty()) OpenInImageEditor(path);
  });
  for (QAction* a : {actAboutSoft, actHomePage, mnuCheckUpdate, actHelp}) a->setEnabled(true);
}

bool TfrmMain::ThumbnailSelected() const {
  return pages_->currentIndex() == kPageThumbnails && ViewImgs_ != nullptr &&
         !ViewImgs_->selectedItems().isEmpty();
}

void TfrmMain::ApplyEditorCommandState() {
  // Rows selected in the detail list, or a thumbnail selected in its view.
  const QItemSelectionModel* selection = ListImgs_->selectionModel();
  actPhotoEditor->setEnabled((selection != nullptr && selection->hasSelection()) ||
                             ThumbnailSelected());
}

void TfrmMain::OpenUrl(const QUrl& url) {
  const bool opened = dialogs_.OpenUrl ? dialogs_.OpenUrl(url) : QDesktopServices::openUrl(url);
  if (!opened) ReportNoOpener(url.isLocalFile() ? url.toLocalFile() : url.toString());
}

void TfrmMain::ReportNoOpener(const QString& address) {
  // Nothing on this desktop opens it: the user can copy the address.
  ShowMessage(QMessageBox::Warning, UiText(TTextId::CaptionError),
              WinText(TWinText::NoOpener).arg(QDir::toNativeSeparators(address)));
}

void TfrmMain::actAboutSoftExecute() {
  TfrmAbout about(
      programFolder_, [this](const QUrl& url) { OpenUrl(url); }, this);
  if (dialogs_.ShowAbout)
    dialogs_.ShowAbout(about);
  else
    about.exec();
}

void TfrmMain::actHomePageExecute() { OpenUrl(QUrl(HomePageAddress())); }

// There is no update service: the command says that it opens the home
// page, which names the latest release.
void TfrmMain::mnuCheckUpdateClick() { OpenUrl(QUrl(HomePageAddress())); }

void TfrmMain::actHelpExecute() {
  OpenUrl(QUrl::fromLocalFile(FromUtf8(programFolder_) + QStringLiteral("help/index.html")));
}

void TfrmMain::actPhotoEditorExecute() {
  // The row under the cursor when it is selected, else the first selected
  // row, else the image last chosen.
  // On the thumbnail view, the selected thumbnail's picture.
  QString path;
  const QTableWidgetItem* current = ListImgs_->currentItem();
  if (ThumbnailSelected()) {
    path = currentImage_;
  } else if (current != nullptr && current->isSelected()) {
    path = RowText(current->row());
  } else if (const QList<QTableWidgetItem*> selected = ListImgs_->selectedItems();
             !selected.isEmpty()) {
    path = RowText(selected.front()->row());
  } else {
    path = currentImage_;
  }
  if (!path.isEmpty()) OpenInImageEditor(path);
}

void TfrmMain::OpenInImageEditor(const QString& path) {
  const QString editor = FromUtf8(programFolder_) + QStringLiteral("PhotoTouch");
  const QFileInfo info(editor);
  if (info.isFile() && info.isExecutable()) {
    // The path is one argument of its own, blanks and all; the editor is
    // not waited for and its result is not looked at.
    const QStringList arguments{path};
    if (dialogs_.StartProgram)
      dialogs_.StartProgram(editor, arguments);
    else
      QProcess::startDetached(editor, arguments);
    return;
  }
  OpenUrl(QUrl::fromLocalFile(path));
}

}  // namespace imprimo
