#include "lang/translate_form.h"

#include "platform/text.h"

namespace imprimo {

namespace {

// A decimal integer of at most nine digits; nothing for anything else.
std::optional<int> ParseIndex(std::string_view digits) {
  if (digits.empty() || digits.size() > 9) return std::nullopt;
  int value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

TPathSegment ParseSegment(std::string_view segment) {
  TPathSegment result;
  const size_t open = segment.find_first_of("(<");
  if (open == std::string_view::npos) {
    result.name = std::string(segment);
    return result;
  }
  result.name = std::string(segment.substr(0, open));
  const char close = segment[open] == '(' ? ')' : '>';
  result.indexKind = segment[open] == '(' ? EIndexKind::kLines : EIndexKind::kCollection;
  const size_t end = segment.find(close, open + 1);
  if (end != std::string_view::npos)
    result.index = ParseIndex(segment.substr(open + 1, end - open - 1));
  return result;
}

bool IsObjectValued(EPropertyKind kind) {
  return kind == EPropertyKind::kObject || kind == EPropertyKind::kLines ||
         kind == EPropertyKind::kCollection;
}

}  // namespace

std::optional<TItemAddress> ParseItemAddress(std::string_view address) {
  const size_t hyphen = address.find('-');
  if (hyphen == std::string_view::npos || hyphen == 0) return std::nullopt;
  std::string_view path = address.substr(hyphen + 1);
  path = path.substr(0, path.find('-'));
  if (path.empty()) return std::nullopt;
  TItemAddress result;
  result.component = std::string(address.substr(0, hyphen));
  size_t start = 0;
  while (true) {
    const size_t dot = path.find('.', start);
    result.path.push_back(
        ParseSegment(path.substr(start, dot == std::string_view::npos ? dot : dot - start)));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return result;
}

bool ApplyFormItem(TTranslatableForm& form, const TFormItem& item) {
  const auto address = ParseItemAddress(item.address);
  if (!address) return false;
  TPublishedObject* object = SameTextUtf8(address->component, form.Name())
                                 ? &form
                                 : form.FindComponent(address->component);
  if (!object) return false;
  for (size_t k = 0; k < address->path.size(); ++k) {
    const TPathSegment& segment = address->path[k];
    const EPropertyKind kind = object->PropertyKind(segment.name);
    if (k + 1 == address->path.size()) {
      // The last name must be a writable text property.
      if (kind != EPropertyKind::kText || !object->IsWritable(segment.name)) return false;
      if (object->GetText(segment.name) == item.text) return false;
      object->SetText(segment.name, item.text);
      return true;
    }
    if (!IsObjectValued(kind)) return false;
    switch (segment.indexKind) {
      case EIndexKind::kLines: {
        // The walk ends on the list; the rest of the path only has to be there.
        if (kind != EPropertyKind::kLines || !segment.index) return false;
        const int n = *segment.index;
        if (n >= object->LineCount(segment.name)) return false;
        if (object->GetLine(segment.name, n) == item.text) return false;
        object->SetLine(segment.name, n, item.text);
        return true;
      }
      case EIndexKind::kCollection: {
        if (kind != EPropertyKind::kCollection || !segment.index) return false;
        if (*segment.index >= object->ItemCount(segment.name)) return false;
        object = object->Item(segment.name, *segment.index);
        break;
      }
      case EIndexKind::kNone:
        object = object->ObjectValue(segment.name);
        break;
    }
    if (!object) return false;
  }
  return false;
}

int TranslateForm(const LanguageFile& file, TTranslatableForm& form) {
  const auto items = file.FormItems(form.ClassName());
  if (!items) return 0;
  int changed = 0;
  for (const TFormItem& item : *items)
    if (ApplyFormItem(form, item)) ++changed;
  return changed;
}

int TranslateForm(TTranslatableForm& form) { return TranslateForm(LoadedLanguageFile(), form); }

}  // namespace imprimo
