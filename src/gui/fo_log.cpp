#include "gui/fo_log.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHeaderView>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScreen>
#include <QStyle>
#include <QTableWidget>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "gui/form_translation.h"
#include "gui/qt_text.h"
#include "runlog/run_log.h"

namespace imprimo {

namespace {

// A line break inside an entry would split its exported line in two.
QString OneLine(const std::string& text) {
  QString s = QString::fromUtf8(text.data(), qsizetype(text.size()));
  s.replace(QLatin1Char('\r'), QLatin1Char(' '));
  s.replace(QLatin1Char('\n'), QLatin1Char(' '));
  return s;
}

// The style has no picture for printing: a sheet coming out of a printer.
QIcon PrinterIcon() {
  QIcon icon;
  for (const int size : {16, 24, 32}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 16.0, size / 16.0);
    p.setPen(QPen(QColor(80, 80, 80), 0.8));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4.5, 1.5, 7, 5));  // paper waiting at the back
    p.setBrush(QColor(150, 155, 165));
    p.drawRoundedRect(QRectF(1.5, 6.5, 13, 5.5), 1, 1);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4.5, 10, 7, 4.5));  // the printed sheet
    p.setPen(QPen(QColor(120, 120, 120), 0.6));
    p.drawLine(QPointF(5.5, 11.8), QPointF(10.5, 11.8));
    p.drawLine(QPointF(5.5, 13.2), QPointF(9.5, 13.2));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(90, 190, 90));
    p.drawEllipse(QPointF(12.5, 8.3), 0.8, 0.8);
    p.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace

const QString TFoLog::kSaveFilters = QStringLiteral("CSV File (*.csv);;Binary File (*.dat)");

TFoLog::TFoLog(const RunLog& log, QWidget* parent) : QDialog(parent), log_(log) {
  setObjectName(QStringLiteral("FoLog"));
  setModal(true);
  setSizeGripEnabled(true);
  setMinimumSize(300, 300);
  resize(639, 479);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  tbLog = new QToolBar(this);
  tbLog->setObjectName(QStringLiteral("tbLog"));
  tbLog->setMovable(false);
  tbLog->setFloatable(false);
  tbLog->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  tbLog->setIconSize(QSize(16, 16));
  btnSave = tbLog->addAction(QIcon::fromTheme(QStringLiteral("document-save"),
                                              style()->standardIcon(QStyle::SP_DialogSaveButton)),
                             QStringLiteral("Save"));
  btnSave->setObjectName(QStringLiteral("btnSave"));
  btnSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  btnSave->setToolTip(QStringLiteral("Save (Ctrl+S)"));
  btnPrint = tbLog->addAction(QIcon::fromTheme(QStringLiteral("document-print"), PrinterIcon()),
                              QStringLiteral("&Print"));
  btnPrint->setObjectName(QStringLiteral("btnPrint"));
  btnPrint->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  btnPrint->setToolTip(QStringLiteral("Print (Ctrl+P)"));
  connect(btnSave, &QAction::triggered, this, &TFoLog::btnSaveClick);
  connect(btnPrint, &QAction::triggered, this, &TFoLog::btnPrintClick);
  layout->addWidget(tbLog);

  lvLog = new QTableWidget(0, 3, this);
  lvLog->setObjectName(QStringLiteral("lvLog"));
  lvLog->setHorizontalHeaderLabels(
      {QStringLiteral("Date Time"), QStringLiteral("Status"), QStringLiteral("File Name")});
  lvLog->setShowGrid(true);
  lvLog->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvLog->setSelectionMode(QAbstractItemView::SingleSelection);
  lvLog->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lvLog->setWordWrap(false);
  lvLog->setTextElideMode(Qt::ElideMiddle);
  lvLog->verticalHeader()->hide();
  lvLog->verticalHeader()->setDefaultSectionSize(lvLog->fontMetrics().height() + 6);
  lvLog->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  lvLog->horizontalHeader()->setHighlightSections(false);
  lvLog->setColumnWidth(0, 140);
  lvLog->setColumnWidth(1, 120);
  lvLog->setColumnWidth(2, 350);
  layout->addWidget(lvLog, 1);

  FillList();

  // Centred on the screen the window opens on.
  if (QScreen* s = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen()) {
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(s->availableGeometry().center());
    move(frame.topLeft());
  }
  TranslateWindow(*this, "TFoLog");
  FitDateColumn();  // the heading may have changed
}

TFoLog::~TFoLog() = default;

void TFoLog::FillList() {
  const std::vector<RunLogRecord>& records = log_.Records();
  lvLog->setRowCount(0);
  for (const RunLogRecord& r : records) {
    const int row = lvLog->rowCount();
    lvLog->insertRow(row);
    const QString texts[3] = {FromUtf8(r.time), FromUtf8(r.title), FromUtf8(r.description)};
    for (int column = 0; column < 3; ++column) {
      auto* item = new QTableWidgetItem(texts[column]);
      item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
      if (column == 2) item->setToolTip(texts[column]);
      lvLog->setItem(row, column, item);
    }
    // A long log keeps the program responsive while the rows go in.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
  FitDateColumn();
}

void TFoLog::FitDateColumn() {
  // The date and time are never cut: the column takes the widest entry
  // and its heading, in the font the table draws them with.
  const QFontMetrics metrics(lvLog->font());
  const QFontMetrics headerMetrics(lvLog->horizontalHeader()->font());
  int widest = 0;
  if (const QTableWidgetItem* header = lvLog->horizontalHeaderItem(0))
    widest = headerMetrics.horizontalAdvance(header->text()) + 2 * headerMetrics.averageCharWidth();
  for (int row = 0; row < lvLog->rowCount(); ++row)
    if (const QTableWidgetItem* item = lvLog->item(row, 0))
      widest = std::max(widest, metrics.horizontalAdvance(item->text()));
  const int padding =
      2 * lvLog->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, lvLog) +
      metrics.averageCharWidth() * 2;
  lvLog->setColumnWidth(0, std::max(140, widest + padding));
}

QStringList TFoLog::ExportLines() const {
  QStringList lines;
  for (const RunLogRecord& r : log_.Records())
    lines << QStringLiteral("[%1] %2 > %3")
                 .arg(OneLine(r.time), OneLine(r.title), OneLine(r.description));
  return lines;
}

void TFoLog::ShowMessage(QMessageBox::Icon icon, const QString& caption, const QString& text) {
  if (dialogs_.MessageBox) {
    dialogs_.MessageBox(icon, caption, text);
    return;
  }
  QMessageBox box(icon, caption, text, QMessageBox::Ok, this);
  box.exec();
}

void TFoLog::btnSaveClick() {
  const QString caption = UiText(TTextId::LogSaveCaption);
  const QString suffix = QStringLiteral("csv");
  QString filter;
  QString path;
  if (dialogs_.SaveFileName) {
    path = dialogs_.SaveFileName(this, caption, kSaveFilters, suffix, &filter);
  } else {
    QFileDialog dialog(this, caption);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(kSaveFilters.split(QStringLiteral(";;")));
    dialog.setDefaultSuffix(suffix);
    // A name typed without an extension takes the one of the chosen type.
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& f) {
      dialog.setDefaultSuffix(f.contains(QStringLiteral("*.dat")) ? QStringLiteral("dat")
                                                                  : QStringLiteral("csv"));
    });
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
      path = dialog.selectedFiles().first();
      filter = dialog.selectedNameFilter();
    }
  }
  if (path.isEmpty()) return;
  // Either type holds the same text lines.
  try {
    log_.ExportText(path.toUtf8().toStdString());
  } catch (const std::exception& e) {
    ShowMessage(QMessageBox::Critical, UiText(TTextId::CaptionError), QString::fromUtf8(e.what()));
  }
}

void TFoLog::btnPrintClick() {
  const QStringList lines = ExportLines();
  const QString title = windowTitle();
  const QString error =
      dialogs_.Print ? dialogs_.Print(lines, title) : PrintToDefaultPrinter(lines, title);
  if (!error.isEmpty()) ShowMessage(QMessageBox::Critical, UiText(TTextId::CaptionError), error);
}

QString TFoLog::PrintToDefaultPrinter(const QStringList& lines, const QString& title) {
  const QPrinterInfo info = QPrinterInfo::defaultPrinter();
  if (info.isNull()) return UiText(TTextId::NoPrinter);
  QPrinter printer(info, QPrinter::HighResolution);
  printer.setDocName(title);
  if (!PrintLines(printer, lines))
    return QStringLiteral("The printer \"%1\" could not be started.").arg(info.printerName());
  return {};
}

bool TFoLog::PrintLines(QPrinter& printer, const QStringList& lines) {
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  QFont font = QApplication::font();
  font.setPointSizeF(10);
  painter.setFont(font);
  const QFontMetrics metrics(font, &printer);
  const int width = printer.width();
  const int height = printer.height();
  int y = 0;
  for (const QString& line : lines) {
    // Long paths wrap onto the next printed lines rather than being cut off.
    const QRect bounds = metrics.boundingRect(QRect(0, 0, width, height),
                                              Qt::TextWrapAnywhere | Qt::AlignLeft, line);
    const int lineHeight = std::max(bounds.height(), metrics.lineSpacing());
    if (y > 0 && y + lineHeight > height) {
      if (!printer.newPage()) break;
      y = 0;
    }
    painter.drawText(QRect(0, y, width, lineHeight), Qt::TextWrapAnywhere | Qt::AlignLeft, line);
    y += lineHeight;
  }
  return painter.end();
}

}  // namespace imprimo
