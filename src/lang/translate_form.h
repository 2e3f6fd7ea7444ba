// Applying a language file's window texts through a window's published
// properties. The user-interface side adapts its widgets to TPublishedObject
// (property names and kinds by reflection, components by object name).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lang/language_file.h"

namespace imprimo {

enum class EPropertyKind {
  kNone,        // not a published property
  kText,        // 8-bit, short or 16-bit text
  kObject,      // object-valued (continues a path)
  kLines,       // a list of text lines (object-valued, indexed with "(n)")
  kCollection,  // a collection of objects (object-valued, indexed with "<n>")
  kOther,       // any other type
};

class TPublishedObject {
 public:
  virtual ~TPublishedObject() = default;
  virtual EPropertyKind PropertyKind(std::string_view name) const = 0;
  // kText
  virtual bool IsWritable(std::string_view name) const = 0;
  virtual std::u16string GetText(std::string_view name) const = 0;
  virtual void SetText(std::string_view name, const std::u16string& text) = 0;
  // kObject: the value, nullptr when empty
  virtual TPublishedObject* ObjectValue(std::string_view name) = 0;
  // kLines
  virtual int LineCount(std::string_view name) const = 0;
  virtual std::u16string GetLine(std::string_view name, int n) const = 0;
  virtual void SetLine(std::string_view name, int n, const std::u16string& text) = 0;
  // kCollection
  virtual int ItemCount(std::string_view name) const = 0;
  virtual TPublishedObject* Item(std::string_view name, int n) = 0;
};

class TTranslatableForm : public TPublishedObject {
 public:
  virtual std::string ClassName() const = 0;  // e.g. "TfrmMain"
  virtual std::string Name() const = 0;       // e.g. "frmMain"
  // The owned component of that name (compared without regard to case).
  virtual TPublishedObject* FindComponent(std::string_view name) = 0;
};

enum class EIndexKind { kNone, kLines, kCollection };

struct TPathSegment {
  std::string name;
  EIndexKind indexKind = EIndexKind::kNone;
  std::optional<int> index;  // nothing when the index is not a decimal integer
};

// An item address split into the component name and the property path.
struct TItemAddress {
  std::string component;
  std::vector<TPathSegment> path;
};

// "cbSaveFormat-Items(3).Text": component, "-", the path (a further "-" and
// what follows it are ignored). Nothing without a hyphen or with an empty
// component name or path.
std::optional<TItemAddress> ParseItemAddress(std::string_view address);

// Sets one text on the form; false when the item is skipped or the target
// already holds the text.
bool ApplyFormItem(TTranslatableForm& form, const TFormItem& item);

// Applies the file's resource for the form's class (upper case) to the form:
// nothing happens when the file is not loaded or has no such resource.
// Returns the number of texts changed.
int TranslateForm(const LanguageFile& file, TTranslatableForm& form);
// The same with the process-wide language file.
int TranslateForm(TTranslatableForm& form);

}  // namespace imprimo
