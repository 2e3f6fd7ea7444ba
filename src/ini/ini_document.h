// A whole INI document held in memory: read from any of the four text
// encodings, looked up through hash indexes, written back as UTF-16LE.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace imprimo {

class IniDocument {
 public:
  IniDocument();
  IniDocument(const IniDocument&);
  IniDocument(IniDocument&&) noexcept;
  IniDocument& operator=(const IniDocument&);
  IniDocument& operator=(IniDocument&&) noexcept;
  ~IniDocument();

  // A missing or unreadable file gives an empty document with that name.
  static IniDocument Open(const std::string& path);
  // Decodes bytes: UTF-16LE (FF FE), UTF-16BE (FE FF), UTF-8 with EF BB BF,
  // else 8-bit text (UTF-8 when well-formed, otherwise Windows-1252).
  static IniDocument FromBytes(std::string_view bytes, std::string fileName = {});

  const std::string& FileName() const;
  // True when Open found the file but could not read it (permissions, a
  // folder, larger than 1 GB): writing it back would lose its content.
  bool ReadError() const;
  std::vector<std::u16string> SectionNames() const;  // file order, duplicates included
  bool SectionExists(std::u16string_view section) const;

  std::u16string ReadString(std::u16string_view section, std::u16string_view key,
                            std::u16string_view def) const;
  int32_t ReadInteger(std::u16string_view section, std::u16string_view key, int32_t def) const;
  bool ReadBool(std::u16string_view section, std::u16string_view key, bool def) const;
  uint8_t ReadByte(std::u16string_view section, std::u16string_view key, uint8_t def) const;

  void WriteString(std::u16string_view section, std::u16string_view key, std::u16string_view value);
  void WriteInteger(std::u16string_view section, std::u16string_view key, int32_t value);
  void WriteBool(std::u16string_view section, std::u16string_view key, bool value);

  // Keys of a section in file order (the newest occurrence of the section
  // when it is duplicated).
  std::vector<std::u16string> SectionKeys(std::u16string_view section) const;

  bool KeyExists(std::u16string_view section, std::u16string_view key) const;
  // Key and value of every line with a key in the section, in file order
  // (the newest occurrence of a duplicated section); empty when missing.
  std::vector<std::pair<std::u16string, std::u16string>> SectionEntries(
      std::u16string_view section) const;

  // Section list operations by position in file order (duplicates
  // included); a position out of range throws std::out_of_range. Lookups by
  // name keep finding the newest occurrence of a name.
  size_t SectionCount() const;
  // Adds an empty section at the end, even when the name exists already.
  size_t AppendSection(std::u16string_view name);
  void RemoveSection(size_t index);
  void RenameSection(size_t index, std::u16string_view name);
  // Takes the section out and puts it back so that it stands at position to.
  void MoveSection(size_t from, size_t to);

  std::string Serialize() const;  // the UTF-16LE written form with FF FE
  // Writes Serialize() to FileName() through a temporary file in the same
  // folder renamed into place; throws std::runtime_error on failure.
  void UpdateFile() const;

  // Integer text conversion used by ReadInteger: decimal, or "$", "x", "X",
  // "0x", "0X" hexadecimal of up to 8 digits (bit pattern of a signed 32-bit
  // value), optional sign, leading blanks skipped. False for anything else.
  static bool TextToInteger(std::u16string_view text, int32_t& value);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace imprimo
