#include "gui/form_translation.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QToolButton>
#include <QTreeWidget>
#include <QWidget>
#include <algorithm>
#include <map>
#include <memory>

#include "lang/language_file.h"
#include "lang/locale_language.h"
#include "lang/translate_form.h"
#include "platform/program_folder.h"
#include "platform/text.h"

namespace imprimo {

namespace {

QString Q(const std::u16string& s) { return QString::fromUtf16(s.data(), qsizetype(s.size())); }
std::u16string U(const QString& s) {
  return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size()));
}
bool Is(std::string_view a, const char* b) { return SameTextUtf8(a, b); }

// The tab widget showing page, with the page's index; nothing otherwise.
QTabWidget* TabOf(QObject* page, int& index) {
  auto* widget = qobject_cast<QWidget*>(page);
  if (widget == nullptr) return nullptr;
  auto* stack = qobject_cast<QStackedWidget*>(widget->parentWidget());
  auto* tabs = stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr;
  if (tabs == nullptr) return nullptr;
  index = tabs->indexOf(widget);
  return index >= 0 ? tabs : nullptr;
}

// One column of a table's or tree's header.
class TColumnObject : public TPublishedObject {
 public:
  TColumnObject(QObject* view, int column) : view_(view), column_(column) {}
  EPropertyKind PropertyKind(std::string_view name) const override {
    return Is(name, "Caption") ? EPropertyKind::kText : EPropertyKind::kNone;
  }
  bool IsWritable(std::string_view) const override { return true; }
  std::u16string GetText(std::string_view) const override { return U(Caption()); }
  void SetText(std::string_view, const std::u16string& text) override {
    if (auto* table = qobject_cast<QTableWidget*>(view_)) {
      if (QTableWidgetItem* item = table->horizontalHeaderItem(column_))
        item->setText(Q(text));
      else
        table->setHorizontalHeaderItem(column_, new QTableWidgetItem(Q(text)));
    } else if (auto* tree = qobject_cast<QTreeWidget*>(view_)) {
      tree->headerItem()->setText(column_, Q(text));
    }
  }
  TPublishedObject* ObjectValue(std::string_view) override { return nullptr; }
  int LineCount(std::string_view) const override { return 0; }
  std::u16string GetLine(std::string_view, int) const override { return {}; }
  void SetLine(std::string_view, int, const std::u16string&) override {}
  int ItemCount(std::string_view) const override { return 0; }
  TPublishedObject* Item(std::string_view, int) override { return nullptr; }

 private:
  QString Caption() const {
    if (auto* table = qobject_cast<QTableWidget*>(view_)) {
      const QTableWidgetItem* item = table->horizontalHeaderItem(column_);
      return item ? item->text() : QString();
    }
    if (auto* tree = qobject_cast<QTreeWidget*>(view_)) return tree->headerItem()->text(column_);
    return {};
  }
  QObject* view_;
  int column_;
};

QObject* ActionBehind(QObject* object) {
  if (auto* tool = qobject_cast<QToolButton*>(object); tool && tool->defaultAction())
    return tool->defaultAction();
  return object;
}

// A menu caption keeps the shortcut column the program gives it ("\tCtrl+Q"):
// a translation without one, or with an older key, shows the key in use.
QString WithShortcutColumn(const QString& translated, const QString& current) {
  const qsizetype tab = current.indexOf(QLatin1Char('\t'));
  if (tab < 0) return translated;
  const qsizetype own = translated.indexOf(QLatin1Char('\t'));
  return (own < 0 ? translated : translated.left(own)) + current.mid(tab);
}

// A widget, action or menu seen through the property names of a language file.
class TQtObject : public TPublishedObject {
 public:
  // A tool button that shows an action is reached through the action: the
  // button takes its texts from it again whenever the action changes (its
  // enabled state follows the list and the run).
  explicit TQtObject(QObject* object) : object_(ActionBehind(object)) {}

  EPropertyKind PropertyKind(std::string_view name) const override {
    if (Is(name, "Caption")) return HasCaption() ? EPropertyKind::kText : EPropertyKind::kNone;
    if (Is(name, "Hint"))
      return qobject_cast<QWidget*>(object_) || qobject_cast<QAction*>(object_)
                 ? EPropertyKind::kText
                 : EPropertyKind::kNone;
    if (Is(name, "Text")) return HasText() ? EPropertyKind::kText : EPropertyKind::kNone;
    if (Is(name, "TextHint"))
      return qobject_cast<QLineEdit*>(object_) ? EPropertyKind::kText : EPropertyKind::kNone;
    if (Is(name, "Items"))
      return qobject_cast<QComboBox*>(object_) || qobject_cast<QListWidget*>(object_)
                 ? EPropertyKind::kLines
                 : EPropertyKind::kNone;
    if (Is(name, "Lines"))
      return qobject_cast<QPlainTextEdit*>(object_) || qobject_cast<QTextEdit*>(object_)
                 ? EPropertyKind::kLines
                 : EPropertyKind::kNone;
    if (Is(name, "Tabs"))
      return qobject_cast<QTabWidget*>(object_) || qobject_cast<QTabBar*>(object_)
                 ? EPropertyKind::kLines
                 : EPropertyKind::kNone;
    if (Is(name, "Columns"))
      return qobject_cast<QTableWidget*>(object_) || qobject_cast<QTreeWidget*>(object_)
                 ? EPropertyKind::kCollection
                 : EPropertyKind::kNone;
    return EPropertyKind::kNone;
  }
  bool IsWritable(std::string_view) const override { return true; }

  std::u16string GetText(std::string_view name) const override {
    if (Is(name, "Hint")) {
      if (auto* action = qobject_cast<QAction*>(object_)) return U(action->toolTip());
      if (auto* widget = qobject_cast<QWidget*>(object_)) return U(widget->toolTip());
      return {};
    }
    if (Is(name, "TextHint")) return U(qobject_cast<QLineEdit*>(object_)->placeholderText());
    return U(CaptionText());
  }
  void SetText(std::string_view name, const std::u16string& u) override {
    const QString text = Q(u);
    if (Is(name, "Hint")) {
      if (auto* action = qobject_cast<QAction*>(object_)) {
        action->setToolTip(text);
        if (!action->statusTip().isEmpty()) action->setStatusTip(text);
      } else if (auto* widget = qobject_cast<QWidget*>(object_)) {
        widget->setToolTip(text);
        if (!widget->statusTip().isEmpty()) widget->setStatusTip(text);
      }
      return;
    }
    if (Is(name, "TextHint")) {
      qobject_cast<QLineEdit*>(object_)->setPlaceholderText(text);
      return;
    }
    int tab = -1;
    if (auto* tabs = TabOf(object_, tab))
      tabs->setTabText(tab, text);
    else if (auto* action = qobject_cast<QAction*>(object_))
      action->setText(WithShortcutColumn(text, action->text()));
    else if (auto* menu = qobject_cast<QMenu*>(object_))
      menu->setTitle(text);
    else if (auto* group = qobject_cast<QGroupBox*>(object_))
      group->setTitle(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(object_))
      button->setText(text);
    else if (auto* label = qobject_cast<QLabel*>(object_))
      label->setText(text);
    else if (auto* edit = qobject_cast<QLineEdit*>(object_))
      edit->setText(text);
    else if (auto* combo = qobject_cast<QComboBox*>(object_))
      combo->setEditText(text);
    else if (auto* widget = qobject_cast<QWidget*>(object_))
      widget->setWindowTitle(text);
  }
  TPublishedObject* ObjectValue(std::string_view) override { return nullptr; }

  int LineCount(std::string_view name) const override {
    if (Is(name, "Items")) {
      if (auto* combo = qobject_cast<QComboBox*>(object_)) return combo->count();
      if (auto* list = qobject_cast<QListWidget*>(object_)) return list->count();
    } else if (Is(name, "Lines")) {
      return int(Lines().size());
    } else if (Is(name, "Tabs")) {
      if (auto* tabs = qobject_cast<QTabWidget*>(object_)) return tabs->count();
      if (auto* bar = qobject_cast<QTabBar*>(object_)) return bar->count();
    }
    return 0;
  }
  std::u16string GetLine(std::string_view name, int n) const override {
    if (Is(name, "Items")) {
      if (auto* combo = qobject_cast<QComboBox*>(object_)) return U(combo->itemText(n));
      if (auto* list = qobject_cast<QListWidget*>(object_)) return U(list->item(n)->text());
    } else if (Is(name, "Lines")) {
      return U(Lines().value(n));
    } else if (Is(name, "Tabs")) {
      if (auto* tabs = qobject_cast<QTabWidget*>(object_)) return U(tabs->tabText(n));
      if (auto* bar = qobject_cast<QTabBar*>(object_)) return U(bar->tabText(n));
    }
    return {};
  }
  void SetLine(std::string_view name, int n, const std::u16string& u) override {
    const QString text = Q(u);
    if (Is(name, "Items")) {
      if (auto* combo = qobject_cast<QComboBox*>(object_))
        combo->setItemText(n, text);
      else if (auto* list = qobject_cast<QListWidget*>(object_))
        list->item(n)->setText(text);
    } else if (Is(name, "Lines")) {
      QStringList lines = Lines();
      lines[n] = text;
      if (auto* plain = qobject_cast<QPlainTextEdit*>(object_))
        plain->setPlainText(lines.join('\n'));
      else if (auto* rich = qobject_cast<QTextEdit*>(object_))
        rich->setPlainText(lines.join('\n'));
    } else if (Is(name, "Tabs")) {
      if (auto* tabs = qobject_cast<QTabWidget*>(object_))
        tabs->setTabText(n, text);
      else if (auto* bar = qobject_cast<QTabBar*>(object_))
        bar->setTabText(n, text);
    }
  }
  int ItemCount(std::string_view name) const override {
    if (!Is(name, "Columns")) return 0;
    if (auto* table = qobject_cast<QTableWidget*>(object_)) return table->columnCount();
    if (auto* tree = qobject_cast<QTreeWidget*>(object_)) return tree->columnCount();
    return 0;
  }
  TPublishedObject* Item(std::string_view name, int n) override {
    if (n < 0 || n >= ItemCount(name)) return nullptr;
    column_ = std::make_unique<TColumnObject>(object_, n);
    return column_.get();
  }

 protected:
  QObject* object_;

 private:
  bool HasCaption() const {
    int tab = -1;
    if (TabOf(object_, tab)) return true;
    if (qobject_cast<QAction*>(object_) || qobject_cast<QMenu*>(object_) ||
        qobject_cast<QGroupBox*>(object_) || qobject_cast<QAbstractButton*>(object_) ||
        qobject_cast<QLabel*>(object_))
      return true;
    auto* widget = qobject_cast<QWidget*>(object_);
    return widget != nullptr && widget->isWindow();
  }
  bool HasText() const {
    return qobject_cast<QLineEdit*>(object_) || qobject_cast<QLabel*>(object_) ||
           qobject_cast<QAbstractButton*>(object_) || qobject_cast<QAction*>(object_) ||
           (qobject_cast<QComboBox*>(object_) && qobject_cast<QComboBox*>(object_)->isEditable());
  }
  QString CaptionText() const {
    int tab = -1;
    if (auto* tabs = TabOf(object_, tab)) return tabs->tabText(tab);
    if (auto* action = qobject_cast<QAction*>(object_)) return action->text();
    if (auto* menu = qobject_cast<QMenu*>(object_)) return menu->title();
    if (auto* group = qobject_cast<QGroupBox*>(object_)) return group->title();
    if (auto* button = qobject_cast<QAbstractButton*>(object_)) return button->text();
    if (auto* label = qobject_cast<QLabel*>(object_)) return label->text();
    if (auto* edit = qobject_cast<QLineEdit*>(object_)) return edit->text();
    if (auto* combo = qobject_cast<QComboBox*>(object_)) return combo->currentText();
    if (auto* widget = qobject_cast<QWidget*>(object_)) return widget->windowTitle();
    return {};
  }
  QStringList Lines() const {
    if (auto* plain = qobject_cast<QPlainTextEdit*>(object_))
      return plain->toPlainText().split('\n');
    if (auto* rich = qobject_cast<QTextEdit*>(object_)) return rich->toPlainText().split('\n');
    return {};
  }
  std::unique_ptr<TColumnObject> column_;
};

// Components: the named objects whose owner chain reaches the window
// without passing through another window (a menu counts as the window's).
std::vector<QObject*> Components(QWidget& window) {
  std::vector<QObject*> found;
  for (QObject* object : window.findChildren<QObject*>()) {
    const QString name = object->objectName();
    if (name.isEmpty() || name.startsWith(QLatin1String("qt_"))) continue;
    bool owned = true;
    for (QObject* up = object->parent(); up != nullptr && up != &window; up = up->parent()) {
      auto* widget = qobject_cast<QWidget*>(up);
      if (widget && widget->isWindow() && !qobject_cast<QMenu*>(widget)) {
        owned = false;
        break;
      }
    }
    if (owned) found.push_back(object);
  }
  return found;
}

class TQtForm : public TTranslatableForm {
 public:
  TQtForm(QWidget& window, const char* className)
      : window_(window), className_(className), self_(&window) {}
  std::string ClassName() const override { return className_; }
  std::string Name() const override { return window_.objectName().toStdString(); }
  TPublishedObject* FindComponent(std::string_view name) override {
    const QString wanted = QString::fromUtf8(name.data(), qsizetype(name.size()));
    for (QObject* object : Components(window_))
      if (object->objectName().compare(wanted, Qt::CaseInsensitive) == 0) {
        found_ = std::make_unique<TQtObject>(object);
        return found_.get();
      }
    return nullptr;
  }
  EPropertyKind PropertyKind(std::string_view n) const override { return self_.PropertyKind(n); }
  bool IsWritable(std::string_view n) const override { return self_.IsWritable(n); }
  std::u16string GetText(std::string_view n) const override { return self_.GetText(n); }
  void SetText(std::string_view n, const std::u16string& t) override { self_.SetText(n, t); }
  TPublishedObject* ObjectValue(std::string_view n) override { return self_.ObjectValue(n); }
  int LineCount(std::string_view n) const override { return self_.LineCount(n); }
  std::u16string GetLine(std::string_view n, int i) const override { return self_.GetLine(n, i); }
  void SetLine(std::string_view n, int i, const std::u16string& t) override {
    self_.SetLine(n, i, t);
  }
  int ItemCount(std::string_view n) const override { return self_.ItemCount(n); }
  TPublishedObject* Item(std::string_view n, int i) override { return self_.Item(n, i); }

 private:
  QWidget& window_;
  std::string className_;
  TQtObject self_;
  std::unique_ptr<TQtObject> found_;
};

std::string& LanguagePath() {
  static std::string path = ExecutableFolder() + "imprimo.lcf";
  return path;
}

}  // namespace

QString UiText(TTextId id) { return QString::fromStdString(Text(id)); }

void SetLanguageFilePath(std::string path) { LanguagePath() = std::move(path); }
std::string LanguageFilePathOfProgram() { return LanguagePath(); }

int OpenProgramLanguageFile() { return OpenLanguageFile(LanguagePath(), ProgramLanguageId()); }

int TranslateWindow(QWidget& window, const char* className) {
  if (OpenProgramLanguageFile() != 1) return 0;
  return ApplyLoadedLanguage(window, className);
}

int ApplyLoadedLanguage(QWidget& window, const char* className) {
  TQtForm form(window, className);
  return TranslateForm(form);
}

int TranslateWindowFromBytes(QWidget& window, const char* className, std::string bytes,
                             int languageId) {
  LanguageFile file;
  if (file.OpenBytes(std::move(bytes), languageId) != 1) return 0;
  TQtForm form(window, className);
  return TranslateForm(file, form);
}

void MarkUserItems(QWidget& widget) { widget.setProperty("imprimoUserItems", true); }
void MarkFixedText(QWidget& widget) { widget.setProperty("imprimoFixedText", true); }

std::vector<std::pair<std::string, QString>> WindowTexts(QWidget& window) {
  std::vector<std::pair<std::string, QString>> texts;
  const std::string self = window.objectName().toStdString();
  if (!window.windowTitle().isEmpty() && !window.property("imprimoFixedText").toBool())
    texts.emplace_back(self + "-Caption", window.windowTitle());
  std::vector<QObject*> components = Components(window);
  std::stable_sort(components.begin(), components.end(),
                   [](QObject* a, QObject* b) { return a->objectName() < b->objectName(); });
  for (QObject* object : components) {
    const std::string name = object->objectName().toStdString();
    TQtObject view(object);
    auto add = [&](const std::string& path, const QString& text) {
      if (text.trimmed().isEmpty()) return;
      // Components of one name (the same menu on two buttons) are one entry.
      const std::string address = name + "-" + path;
      for (const auto& [known, value] : texts)
        if (known == address) return;
      texts.emplace_back(address, text);
    };
    // A tool button that shows an action takes its texts from the action.
    if (auto* tool = qobject_cast<QToolButton*>(object); tool && tool->defaultAction()) continue;
    if (view.PropertyKind("Caption") == EPropertyKind::kText && !qobject_cast<QLineEdit*>(object) &&
        !object->property("imprimoFixedText").toBool())
      add("Caption", Q(view.GetText("Caption")));
    if (object->property("imprimoFixedText").toBool()) {
      // Neither caption nor hint: both show the value.
    } else if (auto* action = qobject_cast<QAction*>(object)) {
      QString plain = action->text();
      plain.remove(QLatin1Char('&'));
      if (action->toolTip() != plain) add("Hint", action->toolTip());
    } else if (auto* widget = qobject_cast<QWidget*>(object)) {
      add("Hint", widget->toolTip());
      if (auto* edit = qobject_cast<QLineEdit*>(object)) add("TextHint", edit->placeholderText());
    }
    if (object->property("imprimoUserItems").toBool()) continue;
    for (const char* lines : {"Items", "Tabs"}) {
      if (view.PropertyKind(lines) != EPropertyKind::kLines) continue;
      // A tab page with a name is addressed by its own Caption.
      for (int n = 0; n < view.LineCount(lines); ++n) {
        if (auto* tabs = qobject_cast<QTabWidget*>(object);
            tabs && !tabs->widget(n)->objectName().isEmpty())
          continue;
        // A list line is addressed with something after it: "Items(2).Text".
        add(std::string(lines) + "(" + std::to_string(n) + ").Text", Q(view.GetLine(lines, n)));
      }
    }
    if (view.PropertyKind("Columns") == EPropertyKind::kCollection)
      for (int n = 0; n < view.ItemCount("Columns"); ++n)
        add("Columns<" + std::to_string(n) + ">.Caption",
            Q(view.Item("Columns", n)->GetText("Caption")));
  }
  return texts;
}

}  // namespace imprimo
