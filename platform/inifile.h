#pragma once
// TIniFile: a settings file of [sections] with ident=value lines, as the framework's INI
// files. The file is read whole when the object is made; writes change the copy in memory
// and reach the disk on UpdateFile, which writes a temporary file beside the original and
// renames it over, so a failed write never loses the file. Lines the reader does not know
// (comments, other sections, other keys) are kept as they stand. Sections and idents
// compare case-insensitively (ASCII letters).

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vx {

class TIniFile {
 public:
  // A file that does not exist reads as empty. A file that exists but cannot be read raises
  // EFOpenError; one larger than kMaxIniBytes raises EReadError (nothing is written then).
  explicit TIniFile(std::string path);

  static constexpr std::size_t kMaxIniBytes = std::size_t{16} << 20;

  const std::string &FileName() const { return path_; }

  std::string ReadString(std::string_view section, std::string_view ident,
                         std::string_view def) const;
  // Decimal, or hexadecimal with "$" or "0x"; anything else (or out of 32-bit range) gives def.
  int ReadInteger(std::string_view section, std::string_view ident, int def) const;
  // An integer value: non-zero is true. A value that is not an integer gives def.
  bool ReadBool(std::string_view section, std::string_view ident, bool def) const;

  // Line breaks in sections, idents and values become spaces, "=" in an ident too, "]" in a
  // section name too, so nothing written can change the file's structure.
  void WriteString(std::string_view section, std::string_view ident, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view ident, int value);
  void WriteBool(std::string_view section, std::string_view ident, bool value);

  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view ident) const;
  void DeleteKey(std::string_view section, std::string_view ident);
  void EraseSection(std::string_view section);
  // Idents of a section, in file order.
  std::vector<std::string> ReadSection(std::string_view section) const;

  // Writes the file: temporary file in the same folder, flushed, then renamed over the
  // original. Raises EFCreateError or EWriteError on failure; the old file stays intact.
  void UpdateFile();
  bool Modified() const { return modified_; }

 private:
  // Index of the section's header line, or npos.
  std::size_t FindSection(std::string_view section) const;
  // End of the section that starts at header (the next header or the end).
  std::size_t SectionEnd(std::size_t header) const;
  std::size_t FindKey(std::size_t header, std::string_view ident) const;

  std::string path_;
  std::vector<std::string> lines_;
  bool crlf_ = false;
  bool modified_ = false;
};

}  // namespace vx
