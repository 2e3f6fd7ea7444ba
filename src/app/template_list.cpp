#include "app/template_list.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/paths.h"
#include "platform/text.h"

namespace imprimo {

namespace fs = std::filesystem;

bool HasTemplateExtension(std::string_view fileName) {
  if (fileName.size() <= 3) return false;
  const std::string_view ext = fileName.substr(fileName.size() - 3);
  return ext[0] == '.' && (ext[1] == 'w' || ext[1] == 'W') && (ext[2] == 'g' || ext[2] == 'G');
}

std::vector<TTemplateEntry> ListTemplates(const std::string& watermarkFolder) {
  std::vector<TTemplateEntry> list;
  std::error_code ec;
  for (fs::directory_iterator it(watermarkFolder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.empty() || name[0] == '.' || !HasTemplateExtension(name)) continue;
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    list.push_back({name.substr(0, name.size() - 3), name});
  }
  std::sort(list.begin(), list.end(), [](const TTemplateEntry& a, const TTemplateEntry& b) {
    const int order = CompareForList(a.Name, b.Name);
    return order != 0 ? order < 0 : a.FileName < b.FileName;
  });
  return list;
}

std::string ResolveTemplatePath(const std::string& choice, const std::string& watermarkFolder,
                                int32_t& tplIndex) {
  const std::string folder = WithTrailingSeparator(watermarkFolder);
  const std::vector<TTemplateEntry> list = ListTemplates(folder);
  if (choice.empty()) {
    if (tplIndex < 0 || tplIndex >= static_cast<int32_t>(list.size())) tplIndex = 0;
    return list.empty() ? std::string() : folder + list[tplIndex].FileName;
  }
  std::error_code ec;
  if (choice.find('/') != std::string::npos ||
      (HasTemplateExtension(choice) && fs::exists(choice, ec))) {
    const fs::path absolute = fs::absolute(choice, ec);
    return ec ? choice : absolute.lexically_normal().string();
  }
  // The name as the list shows it; a typed extension in any case is dropped.
  std::string name = choice;
  if (HasTemplateExtension(name)) name.resize(name.size() - 3);
  for (size_t i = 0; i < list.size(); ++i) {
    if (list[i].Name != name) continue;
    tplIndex = static_cast<int32_t>(i);
    return folder + list[i].FileName;
  }
  return folder + name + ".wg";
}

}  // namespace imprimo
