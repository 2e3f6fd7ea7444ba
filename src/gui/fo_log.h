// The run-log viewer: a modal window listing the log's entries, which it can
// save as text lines or send to the printer.
#pragma once

#include <QDialog>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>

class QAction;
class QPrinter;
class QToolBar;
class QTableWidget;

namespace imprimo {

class RunLog;

// The viewer's dialogs and printer, replaceable so that tests can answer them
// without a modal loop. An empty member uses the real one.
struct TFoLogDialogs {
  // The save dialog: the chosen path, empty when cancelled. selectedFilter
  // receives the filter the user picked.
  std::function<QString(QWidget* parent, const QString& caption, const QString& filters,
                        const QString& defaultSuffix, QString* selectedFilter)>
      SaveFileName;
  // Sends the lines to the printer; returns an empty text on success, else
  // what went wrong.
  std::function<QString(const QStringList& lines, const QString& title)> Print;
  std::function<void(QMessageBox::Icon icon, const QString& caption, const QString& text)>
      MessageBox;
};

class TFoLog : public QDialog {
  Q_OBJECT

 public:
  // The filters of the save dialog.
  static const QString kSaveFilters;

  // Shows the records of `log`, which must outlive the window.
  explicit TFoLog(const RunLog& log, QWidget* parent = nullptr);
  ~TFoLog() override;

  void SetDialogs(TFoLogDialogs dialogs) { dialogs_ = std::move(dialogs); }

  QTableWidget* List() const { return lvLog; }
  // The log as the lines that Save and Print write: "[time] status > file".
  QStringList ExportLines() const;

  // The Save and Print commands.
  void btnSaveClick();
  void btnPrintClick();

  // Writes the lines onto the printer's pages, a new page when one is full.
  // Returns false when painting could not start on the printer.
  static bool PrintLines(QPrinter& printer, const QStringList& lines);

 private:
  void FillList();
  // Widens the date column to its widest entry.
  void FitDateColumn();
  void ShowMessage(QMessageBox::Icon icon, const QString& caption, const QString& text);
  QString PrintToDefaultPrinter(const QStringList& lines, const QString& title);

  const RunLog& log_;
  TFoLogDialogs dialogs_;
  QToolBar* tbLog = nullptr;
  QAction* btnSave = nullptr;
  QAction* btnPrint = nullptr;
  QTableWidget* lvLog = nullptr;
};

}  // namespace imprimo
