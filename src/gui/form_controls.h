// Small builders shared by the main window's panel and the options dialog:
// lists, spin edits and labels with their object names, showing stored
// values within what a control holds, and the size-preset and rename-token
// popup menus with their reactions.
#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QSpinBox;
class QStackedWidget;
class QWidget;

namespace imprimo {

QComboBox* NewList(const char* name, QWidget* parent, std::initializer_list<const char*> items);
QSpinBox* NewSpin(const char* name, QWidget* parent, int minimum, int maximum, int value);
// A spin edit over the options dialog's or the main window panel's range of
// the setting stored under key.
enum class TSpinRange { Dialog, Panel };
QSpinBox* NewSettingSpin(const char* name, QWidget* parent, std::u16string_view key, int value,
                         TSpinRange range = TSpinRange::Dialog);
QLabel* NewLabel(const char* name, const QString& text, QWidget* parent);

// Selects entry `index`, or nothing when the list does not hold it.
void SelectListIndex(QComboBox* list, int64_t index);
// The program folder's "leftlogo.bmp" scaled down to fit room; a null pixmap
// when it is missing or unreadable.
QPixmap LeftLogoPixmap(const std::string& programFolder, QSize room);
// Shows `value` clamped to the spin edit's range.
void ShowSpinValue(QSpinBox* spin, int64_t value);

// The size presets "Avatar (100x75)" .. "21\" Screen (1600x1200)", tags 1..8
// in the items' data.
QMenu* NewSizeMenu(QWidget* parent);
// The rename tokens, tags 1..5 in the items' data, a separator after tag 2.
QMenu* NewRenameMenu(QWidget* parent);
// Writes the preset of a size item into the two spin edits; false (and no
// change) for anything that is not a size item.
bool ApplySizePreset(const QAction* item, QSpinBox* width, QSpinBox* height);
// Appends the token of a rename item to the pattern; false (and no change)
// for anything that is not a token item.
bool AppendRenameToken(const QAction* item, QLineEdit* pattern);

// The output format's option pages, stacked in plCompress in this order:
// quality (spC1), compression level (spC2), colours (spC3) and the note
// "Use default values!" (spC4).
struct TFormatOptionPages {
  QStackedWidget* plCompress = nullptr;
  QWidget* spC1 = nullptr;
  QWidget* spC2 = nullptr;
  QWidget* spC3 = nullptr;
  QWidget* spC4 = nullptr;
  QSpinBox* seQuality = nullptr;
  QComboBox* cbCompress = nullptr;
  QComboBox* cbColors = nullptr;
};
// How a form words and lays out the option pages.
struct TFormatOptionLook {
  const char* qualityLabel;
  const char* compressLabel;
  const char* colorsLabel;
  TSpinRange qualityRange;
  // true: the quality and level controls fill their row; false: they keep
  // their natural width, followed by free space.
  bool controlsFillRow;
};
TFormatOptionPages NewFormatOptionPages(QWidget* parent, const TFormatOptionLook& look);
// Index in plCompress of the page that edits the option of output format
// `saveFormat` (the "Use default values!" page for formats without one).
int FormatOptionPageIndex(int saveFormat);

}  // namespace imprimo
