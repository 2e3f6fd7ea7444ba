#include "gui/form_controls.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <QStackedWidget>
#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "app/setting_table.h"
#include "app/settings.h"

namespace imprimo {

QComboBox* NewList(const char* name, QWidget* parent, std::initializer_list<const char*> items) {
  auto* list = new QComboBox(parent);
  list->setObjectName(QString::fromLatin1(name));
  for (const char* item : items) list->addItem(QString::fromUtf8(item));
  // Long entries must not widen a narrow form; the open list is as wide as
  // its longest entry.
  list->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  list->setMinimumContentsLength(8);
  list->view()->setMinimumWidth(list->view()->sizeHintForColumn(0) + 24);
  return list;
}

QSpinBox* NewSpin(const char* name, QWidget* parent, int minimum, int maximum, int value) {
  auto* spin = new QSpinBox(parent);
  spin->setObjectName(QString::fromLatin1(name));
  spin->setRange(minimum, maximum);
  spin->setValue(value);
  spin->setAccelerated(true);
  return spin;
}

QSpinBox* NewSettingSpin(const char* name, QWidget* parent, std::u16string_view key, int value,
                         TSpinRange range) {
  const TSettingDef& def = *FindSetting(key);
  if (range == TSpinRange::Panel)
    return NewSpin(name, parent, PanelLow(def), PanelHigh(def), value);
  return NewSpin(name, parent, DialogLow(def), DialogHigh(def), value);
}

QLabel* NewLabel(const char* name, const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  return label;
}

QPixmap LeftLogoPixmap(const std::string& programFolder, QSize room) {
  const std::string logo = programFolder + "leftlogo.bmp";
  std::error_code ec;
  if (!std::filesystem::is_regular_file(logo, ec)) return {};
  const QImage image(QString::fromStdString(logo));
  if (image.isNull()) return {};
  QPixmap pixmap = QPixmap::fromImage(image);
  if (pixmap.width() > room.width() || pixmap.height() > room.height())
    pixmap = pixmap.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  return pixmap;
}

void SelectListIndex(QComboBox* list, int64_t index) {
  list->setCurrentIndex(index >= 0 && index < list->count() ? int(index) : -1);
}

void ShowSpinValue(QSpinBox* spin, int64_t value) {
  spin->setValue(int(std::clamp<int64_t>(value, spin->minimum(), spin->maximum())));
}

namespace {

constexpr int kSizes[8][2] = {{100, 75},  {160, 120},  {320, 240},   {640, 480},
                              {800, 600}, {1024, 768}, {1280, 1024}, {1600, 1200}};
constexpr const char* kTokens[5] = {"{FN}", "{EX}", "###", "####", "#####"};
const char kSizeMenu[] = "pMenuSize";
const char kRenameMenu[] = "pMenuRn";

// The tag of an item of the named menu, 0 for any other action.
int MenuTag(const QAction* item, const char* menuName) {
  if (item == nullptr || item->property(menuName).toBool() == false) return 0;
  return item->data().toInt();
}

}  // namespace

QMenu* NewSizeMenu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  menu->setObjectName(QString::fromLatin1(kSizeMenu));
  const char* sizes[] = {"Avatar (100x75)",         "Thumbnail (160x120)",
                         "Website/Email (320x240)", "Message Board (640x480)",
                         "15\" Screen (800x600)",   "17\" Screen (1024x768)",
                         "19\" Screen (1280x1024)", "21\" Screen (1600x1200)"};
  for (int tag = 1; tag <= 8; ++tag) {
    QAction* item = menu->addAction(QString::fromLatin1(sizes[tag - 1]));
    item->setObjectName(QStringLiteral("pMenuSize%1").arg(tag));
    item->setData(tag);
    item->setProperty(kSizeMenu, true);
  }
  return menu;
}

QMenu* NewRenameMenu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  menu->setObjectName(QString::fromLatin1(kRenameMenu));
  struct Token {
    int tag;
    const char* name;
    const char* caption;
  };
  const Token tokens[] = {{1, "pmnuFileName", "Original filename"},
                          {2, "pmnuFileExt", "Original extention"},
                          {0, nullptr, nullptr},
                          {3, "pmnuSerial3", "3 Digit Serial Number"},
                          {4, "pmnuSerial4", "4 Digit Serial Number"},
                          {5, "pmnuSerial5", "5 Digit Serial Number"}};
  for (const Token& t : tokens) {
    if (t.name == nullptr) {
      menu->addSeparator();
      continue;
    }
    QAction* item = menu->addAction(QString::fromLatin1(t.caption));
    item->setObjectName(QString::fromLatin1(t.name));
    item->setData(t.tag);
    item->setProperty(kRenameMenu, true);
  }
  return menu;
}

bool ApplySizePreset(const QAction* item, QSpinBox* width, QSpinBox* height) {
  const int tag = MenuTag(item, kSizeMenu);
  if (tag < 1 || tag > 8) return false;
  width->setValue(kSizes[tag - 1][0]);
  height->setValue(kSizes[tag - 1][1]);
  return true;
}

bool AppendRenameToken(const QAction* item, QLineEdit* pattern) {
  const int tag = MenuTag(item, kRenameMenu);
  if (tag < 1 || tag > 5) return false;
  pattern->setText(pattern->text() + QString::fromLatin1(kTokens[tag - 1]));
  return true;
}

TFormatOptionPages NewFormatOptionPages(QWidget* parent, const TFormatOptionLook& look) {
  TFormatOptionPages pages;
  pages.plCompress = new QStackedWidget(parent);
  pages.plCompress->setObjectName(QStringLiteral("plCompress"));
  auto newPage = [&](const char* name) {
    auto* page = new QWidget;
    page->setObjectName(QString::fromLatin1(name));
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    pages.plCompress->addWidget(page);
    return std::pair{page, row};
  };
  auto addControl = [&](QHBoxLayout* row, QWidget* control) {
    if (look.controlsFillRow) {
      row->addWidget(control, 1);
    } else {
      row->addWidget(control);
      row->addStretch(1);
    }
  };

  auto [c1, row1] = newPage("spC1");
  pages.spC1 = c1;
  row1->addWidget(NewLabel("lbQuality", QString::fromUtf8(look.qualityLabel), c1));
  pages.seQuality = NewSettingSpin("seQuality", c1, u"Quality", 90, look.qualityRange);
  addControl(row1, pages.seQuality);

  auto [c2, row2] = newPage("spC2");
  pages.spC2 = c2;
  row2->addWidget(NewLabel("lbCompress", QString::fromUtf8(look.compressLabel), c2));
  pages.cbCompress = NewList("cbCompress", c2, {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"});
  if (!look.controlsFillRow) pages.cbCompress->setMinimumContentsLength(3);
  pages.cbCompress->setCurrentIndex(5);
  addControl(row2, pages.cbCompress);

  auto [c3, row3] = newPage("spC3");
  pages.spC3 = c3;
  row3->addWidget(NewLabel("lbColors", QString::fromUtf8(look.colorsLabel), c3));
  pages.cbColors = NewList("cbColors", c3,
                           {"16 colors", "256 colors", "True color(16bit)", "True color(24bit)"});
  pages.cbColors->setCurrentIndex(3);
  row3->addWidget(pages.cbColors, 1);

  auto [c4, row4] = newPage("spC4");
  pages.spC4 = c4;
  auto* defaults = NewLabel("lbDefaultValues", QStringLiteral("Use default values!"), c4);
  defaults->setEnabled(false);
  row4->addWidget(defaults);
  return pages;
}

int FormatOptionPageIndex(int saveFormat) {
  if (saveFormat >= 0 && saveFormat < kSaveFormatCount) {
    switch (SaveFormatInfo(saveFormat).option) {
      case TSaveFormatInfo::kQuality:
        return 0;
      case TSaveFormatInfo::kCompression:
        return 1;
      case TSaveFormatInfo::kNone:
        break;
    }
  }
  return 3;
}

}  // namespace imprimo
