// Feeds arbitrary bytes to the resource reader and the language file reader.
#include <cstddef>
#include <cstdint>
#include <string>

#include "lang/language_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  if (auto module = imprimo::TResourceModule::FromBytes(bytes)) {
    for (const imprimo::TResourceInfo& info : module->Resources())
      (void)module->ResourceData(info).size();
    (void)module->LoadString(1);
  }
  imprimo::LanguageFile file;
  if (file.OpenBytes(bytes, imprimo::kProgramLanguageId) == 1) {
    (void)file.TranslatedText(64878, "built-in");
    if (auto items = file.FormItems("TfrmMain")) (void)items->size();
  }
  return 0;
}
