// The template commands that start the separate template editor, and the
// list refresh once an editor has ended.
#include <unistd.h>

#include <QAction>
#include <QComboBox>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QProcess>
#include <QSet>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "gui/form_translation.h"
#include "gui/main_window.h"
#include "gui/qt_text.h"

namespace imprimo {

namespace {

// Starts the program as a child of the window, not waited for. A program
// that is missing or may not be run is refused with the system's code before
// a start is tried.
TProcessStart StartChildProcess(QObject* owner, const QString& program,
                                const QStringList& arguments, std::function<void()> finished) {
  TProcessStart result;
  const QByteArray native = QFile::encodeName(program);
  if (::access(native.constData(), X_OK) != 0) {
    result.Code = errno;
    result.Message = QString::fromLocal8Bit(std::strerror(result.Code));
    return result;
  }
  auto* process = new QProcess(owner);
  process->setObjectName(QStringLiteral("templateEditorProcess"));
  process->setProgram(program);
  process->setArguments(arguments);
  process->setWorkingDirectory(QFileInfo(program).absolutePath());
  process->setProcessChannelMode(QProcess::ForwardedChannels);
  QObject::connect(process, &QProcess::finished, owner, [process, finished] {
    process->deleteLater();
    if (finished) finished();
  });
  process->start();
  if (!process->waitForStarted(10000)) {
    const QProcess::ProcessError error = process->error();
    result.Code = error == QProcess::FailedToStart ? ENOEXEC : int(error);
    result.Message = process->errorString();
    process->disconnect();
    process->kill();
    process->deleteLater();
    return result;
  }
  result.Started = true;
  return result;
}

}  // namespace

void TfrmMain::ReleaseTemplateEditors() {
  // An editor outlives the window: its work must not be lost when the
  // program ends, and its end no longer concerns the window.
  for (QProcess* process : findChildren<QProcess*>(QStringLiteral("templateEditorProcess"),
                                                   Qt::FindDirectChildrenOnly)) {
    process->disconnect();
    process->setParent(nullptr);
  }
}

void TfrmMain::actTplAddExecute() { StartTemplateEditor({}); }

void TfrmMain::actTplEditExecute() {
  if (cbListTpl->currentIndex() < 0) return;
  // The path goes as one argument, blanks and all.
  StartTemplateEditor({FromUtf8(selectedTemplatePath_)});
}

void TfrmMain::StartTemplateEditor(const QStringList& arguments) {
  const QString program = FromUtf8(programFolder_) + QStringLiteral("MarkDesigner");
  const QStringList before = TemplateFileNames();
  auto finished = [this, before] { TemplateEditorEnded(before); };
  const TProcessStart started = dialogs_.StartProcess
                                    ? dialogs_.StartProcess(program, arguments, finished)
                                    : StartChildProcess(this, program, arguments, finished);
  if (started.Started) return;
  QString text = UiText(TTextId::EditorStartFailed).arg(started.Code);
  text = text.arg(started.Message);
  ShowMessage(QMessageBox::Critical, UiText(TTextId::CaptionError), text);
}

QStringList TfrmMain::TemplateFileNames() const {
  QStringList names;
  namespace fs = std::filesystem;
  std::error_code ec;
  for (fs::directory_iterator it(fs::path(dataFolder_) / "Watermarks", ec), end; !ec && it != end;
       it.increment(ec))
    names << FromUtf8(it->path().filename().string());
  return names;
}

void TfrmMain::cpMTerminate() { TemplateEditorEnded(TemplateFileNames()); }

void TfrmMain::TemplateEditorEnded(const QStringList& namesBefore) {
  if (destroyed_) return;
  if (running_ || adding_) {
    // The list and its selection stay as the run took them; the refresh
    // comes when the run has ended. Of several ends the oldest listing
    // counts, so every template made meanwhile is new.
    if (!templateRefreshPending_) pendingTemplateNames_ = namesBefore;
    templateRefreshPending_ = true;
    return;
  }
  const QVariant previous = cbListTpl->currentData();
  RefreshTemplateList();
  // A template the editor made, or saved under a new name, is selected;
  // otherwise the template chosen before stays chosen even when the sorted
  // list has moved it.
  const QSet<QString> before(namesBefore.begin(), namesBefore.end());
  int select = -1;
  for (int i = 0; i < cbListTpl->count(); ++i) {
    if (!before.contains(cbListTpl->itemData(i).toString())) {
      select = i;
      break;
    }
  }
  if (select < 0 && previous.isValid()) select = cbListTpl->findData(previous);
  if (select >= 0) cbListTpl->setCurrentIndex(select);
  cbListTplChange();
  if (cbListTpl->count() == 0) SetStatusText(0, UiText(TTextId::StatusTemplateName));
  UpdateCommands();
}

void TfrmMain::WatchTemplateFolder() {
  templateWatch_ = new QFileSystemWatcher(this);
  templateWatch_->setObjectName(QStringLiteral("templateWatch"));
  // A save writes and renames, a copy of many files comes in pieces: the
  // list is read again once the folder has been quiet for a moment.
  templateWatchDelay_ = new QTimer(this);
  templateWatchDelay_->setSingleShot(true);
  templateWatchDelay_->setInterval(250);
  connect(templateWatchDelay_, &QTimer::timeout, this, &TfrmMain::TemplateFolderChanged);
  auto changed = [this] { templateWatchDelay_->start(); };
  connect(templateWatch_, &QFileSystemWatcher::directoryChanged, this, changed);
  // The data folder is watched too, so that a Watermarks folder made or
  // replaced later is followed.
  templateWatch_->addPath(FromUtf8(dataFolder_));
  const QString folder = FromUtf8(dataFolder_) + QStringLiteral("Watermarks");
  if (QFileInfo(folder).isDir()) templateWatch_->addPath(folder);
}

void TfrmMain::TemplateFolderChanged() {
  if (destroyed_) return;
  const QString folder = FromUtf8(dataFolder_) + QStringLiteral("Watermarks");
  if (QFileInfo(folder).isDir() && !templateWatch_->directories().contains(folder))
    templateWatch_->addPath(folder);
  if (running_ || adding_) {
    templateWatchPending_ = true;
    return;
  }
  templateWatchPending_ = false;
  QStringList listed;
  for (int i = 0; i < cbListTpl->count(); ++i) listed << cbListTpl->itemText(i);
  const QVariant previous = cbListTpl->currentData();
  RefreshTemplateList();
  QStringList now;
  for (int i = 0; i < cbListTpl->count(); ++i) now << cbListTpl->itemText(i);
  if (now == listed && cbListTpl->currentData() == previous) return;
  const int kept = previous.isValid() ? cbListTpl->findData(previous) : -1;
  if (kept >= 0) {
    // The chosen template is still there: only its place may have moved,
    // and the page shown stays as it is.
    cbListTpl->setCurrentIndex(kept);
    values_.TplIndex = kept;
  } else {
    cbListTplChange();
  }
  if (cbListTpl->count() == 0) SetStatusText(0, UiText(TTextId::StatusTemplateName));
  UpdateCommands();
}

void TfrmMain::RunDeferredTemplateRefresh() {
  if (templateWatchPending_ && !running_ && !adding_) TemplateFolderChanged();
  if (!templateRefreshPending_ || running_ || adding_) return;
  templateRefreshPending_ = false;
  const QStringList names = pendingTemplateNames_;
  pendingTemplateNames_.clear();
  TemplateEditorEnded(names);
}

}  // namespace imprimo
