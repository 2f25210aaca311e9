#pragma once
// Ini files with the Windows profile semantics: "[Section]" headers and "Key=Value"
// lines, sections and keys compared without regard to case, the first of two equal
// keys wins, blanks around keys and values ignored, and one pair of quotes around a
// value stripped. Every write goes to the file at once (through a temporary file
// and a rename, so that a reader never sees half a file), and every read sees what
// is on disk, also what another object or process wrote. Lines that are not
// entries (comments, blank lines) are kept as they are. Text is UTF-8; CR LF and LF
// line ends are read, LF is written.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tolver {

class TIniFile {
public:
    explicit TIniFile(std::string fileName);

    const std::string& FileName() const { return fileName_; }

    std::string ReadString(std::string_view section, std::string_view ident, std::string_view def) const;
    // def when the entry is absent or not a decimal integer.
    std::int32_t ReadInteger(std::string_view section, std::string_view ident, std::int32_t def) const;
    // An integer: non-zero is true.
    bool ReadBool(std::string_view section, std::string_view ident, bool def) const;
    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view ident) const;
    // The keys of a section in file order.
    std::vector<std::string> ReadSection(std::string_view section) const;

    // A value with blanks at either end, or quoted as a whole, is written in quotes so
    // that it reads back unchanged. A line break cannot be held: it raises.
    void WriteString(std::string_view section, std::string_view ident, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view ident, std::int32_t value);
    void WriteBool(std::string_view section, std::string_view ident, bool value);  // "1" or "0"
    void DeleteKey(std::string_view section, std::string_view ident);
    void EraseSection(std::string_view section);

private:
    struct Line {
        std::string text;   // as in the file, for lines that are not entries
        std::string key;    // empty for lines that are not entries
        std::string value;  // the value as read (unquoted)
    };
    struct Section {
        std::string name;  // empty for the lines before the first header
        std::vector<Line> lines;
    };

    void Reload() const;
    void Save() const;
    const Section* FindSection(std::string_view name) const;
    const Line* FindEntry(std::string_view section, std::string_view ident) const;

    std::string fileName_;
    mutable std::vector<Section> sections_;
    mutable std::int64_t stamp_ = -1;  // modification time and size of what was read
    mutable std::int64_t size_ = -1;
    mutable std::uint64_t inode_ = 0;
};

}  // namespace tolver
