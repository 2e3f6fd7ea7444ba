// Feeds arbitrary bytes to the INI reader (templates and Setup.ini may come
// from anywhere), reads every section back and checks that the written form
// is stable: reading what Serialize wrote and writing it again gives the
// same bytes, with the same sections and entries.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "ini/ini_document.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using imprimo::IniDocument;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  IniDocument doc = IniDocument::FromBytes(bytes, "fuzz.ini");
  for (const std::u16string& section : doc.SectionNames()) {
    if (!doc.SectionExists(section)) __builtin_trap();
    for (const auto& [key, value] : doc.SectionEntries(section)) {
      (void)doc.ReadInteger(section, key, 0);
      (void)doc.ReadBool(section, key, false);
      (void)doc.ReadByte(section, key, 0);
      int32_t number = 0;
      (void)IniDocument::TextToInteger(value, number);
    }
    (void)doc.SectionKeys(section);
  }
  const std::string written = doc.Serialize();
  IniDocument again = IniDocument::FromBytes(written, "fuzz.ini");
  if (again.SectionNames() != doc.SectionNames()) __builtin_trap();
  for (const std::u16string& section : doc.SectionNames())
    if (again.SectionEntries(section) != doc.SectionEntries(section)) __builtin_trap();
  if (again.Serialize() != written) __builtin_trap();

  // Editing by position must keep the document consistent.
  if (doc.SectionCount() > 0) {
    doc.MoveSection(0, doc.SectionCount() - 1);
    doc.RenameSection(0, u"renamed");
    doc.WriteString(u"renamed", u"Key", u"value");
    if (doc.ReadString(u"renamed", u"Key", u"") != u"value") __builtin_trap();
    doc.RemoveSection(doc.SectionCount() - 1);
    (void)doc.Serialize();
  }
  return 0;
}
