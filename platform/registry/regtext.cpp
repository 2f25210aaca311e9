#include "platform/registry/regtext.h"

#include <cstdio>
#include <optional>

#include "platform/base/textcase.h"
#include "platform/variant/utf.h"

namespace tolver {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

struct RootName {
    const char* name;
    const char* shortName;
    HKEY root;
};
constexpr RootName kRoots[] = {
    {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
    {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
    {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
};

// Splits "ROOT\rest" into its root and the absolute path "\rest".
std::optional<std::pair<const RootName*, std::string>> SplitRoot(std::string_view full) {
    const std::size_t cut = full.find('\\');
    const std::string_view head = full.substr(0, cut);
    for (const auto& r : kRoots) {
        if (SameText(head, r.name) || SameText(head, r.shortName))
            return std::make_pair(&r, cut == std::string_view::npos ? std::string("\\") : std::string(full.substr(cut)));
    }
    return std::nullopt;
}

std::string Quote(std::string_view s) {
    std::string out = "\"";
    for (const char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + '"';
}

bool NeedsHex(std::string_view s) {
    for (const char c : s)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    return false;
}

void AppendHex(std::string& out, std::string_view prefix, const std::vector<std::uint8_t>& bytes) {
    out += prefix;
    std::size_t column = out.size() - (out.rfind('\n') == std::string::npos ? 0 : out.rfind('\n') + 1);
    char buf[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(buf, sizeof buf, "%02x", bytes[i]);
        out += buf;
        column += 2;
        if (i + 1 < bytes.size()) {
            out += ',';
            ++column;
            if (column > 76) {
                out += "\\\n  ";
                column = 2;
            }
        }
    }
}

void ExportKey(TRegistry& reg, const std::string& fullName, std::string& out) {
    out += "[" + fullName + "]\n";
    for (const auto& name : reg.GetValueNames()) {
        std::string line = name.empty() ? "@=" : Quote(name) + "=";
        const RegValue value = reg.ReadValue(name);
        switch (value.type) {
            case RegDataType::String: {
                if (!NeedsHex(value.text)) {
                    line += Quote(value.text);
                    break;
                }
                std::u16string wide = Utf8ToUtf16(value.text);
                wide.push_back(u'\0');
                std::vector<std::uint8_t> bytes;
                for (const char16_t u : wide) {
                    bytes.push_back(static_cast<std::uint8_t>(u & 0xFF));
                    bytes.push_back(static_cast<std::uint8_t>(u >> 8));
                }
                AppendHex(line, "hex(1):", bytes);
                break;
            }
            case RegDataType::DWord: {
                char buf[32];
                std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<std::uint32_t>(value.number));
                line += buf;
                break;
            }
            case RegDataType::Binary: AppendHex(line, "hex:", value.bytes); break;
            case RegDataType::None: continue;
        }
        out += line + "\n";
    }
    out += "\n";
    const std::string path = "\\" + reg.CurrentPath();
    for (const auto& sub : reg.GetKeyNames()) {
        const std::string subPath = path == "\\" ? path + sub : path + "\\" + sub;
        if (!reg.OpenKey(subPath, false)) continue;
        ExportKey(reg, fullName + "\\" + sub, out);
    }
}

// ---- import ---------------------------------------------------------------------

std::string DecodeText(std::string_view bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::u16string wide;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
            wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                 (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        return Utf16ToUtf8(wide);
    }
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    return std::string(bytes);
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
}
std::string_view Trim(std::string_view s) {
    s = TrimLeft(s);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

class Importer {
public:
    explicit Importer(std::string_view text) : text_(DecodeText(text)) {
        std::size_t i = 0;
        while (i <= text_.size()) {
            const std::size_t j = text_.find('\n', i);
            const std::size_t end = j == std::string::npos ? text_.size() : j;
            lines_.emplace_back(std::string_view(text_).substr(i, end - i));
            if (j == std::string::npos) break;
            i = j + 1;
        }
    }

    void Run() {
        RegistryTransaction tx;
        bool header = false;
        for (line_ = 0; line_ < lines_.size(); ++line_) {
            const std::string_view line = Trim(lines_[line_]);
            if (line.empty() || line.front() == ';') continue;
            if (!header) {
                if (line != kHeader) Error("the file does not begin with \"" + std::string(kHeader) + "\"");
                header = true;
                continue;
            }
            if (line.front() == '[')
                KeyLine(line);
            else
                ValueLine(line);
        }
        if (!header) Error("the file does not begin with \"" + std::string(kHeader) + "\"");
        tx.Commit();
    }

private:
    [[noreturn]] void Error(const std::string& what) const {
        throw ERegistryException("line " + std::to_string(line_ + 1) + ": " + what);
    }

    void KeyLine(std::string_view line) {
        if (line.back() != ']') Error("a key line must end with \"]\"");
        std::string_view name = line.substr(1, line.size() - 2);
        const bool remove = !name.empty() && name.front() == '-';
        if (remove) name.remove_prefix(1);
        const auto split = SplitRoot(name);
        if (!split) Error("unknown registry root in \"" + std::string(name) + "\"");
        reg_.emplace(split->first->root);
        if (remove) {
            reg_->DeleteKey(split->second);
            reg_.reset();
        } else if (!reg_->OpenKey(split->second, true)) {
            Error("cannot create the key \"" + std::string(name) + "\"");
        }
    }

    // Reads a quoted text starting at s[0] == '"'; s is left after the closing quote.
    std::string Quoted(std::string_view& s) const {
        std::string out;
        std::size_t i = 1;
        for (; i < s.size() && s[i] != '"'; ++i) {
            if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) ++i;
            out += s[i];
        }
        if (i >= s.size()) Error("a text has no closing quote");
        s.remove_prefix(i + 1);
        return out;
    }

    std::vector<std::uint8_t> HexList(std::string_view s) {
        std::string joined(s);
        // A trailing "\" continues the list on the next line.
        while (!joined.empty() && Trim(joined).back() == '\\') {
            joined = std::string(Trim(joined));
            joined.pop_back();
            if (line_ + 1 >= lines_.size() || Trim(lines_[line_ + 1]).empty()) Error("the byte list continues past its end");
            joined += Trim(lines_[++line_]);
        }
        std::vector<std::uint8_t> bytes;
        std::string_view rest = joined;
        while (true) {
            rest = Trim(rest);
            if (rest.empty()) break;
            int value = 0, digits = 0;
            while (!rest.empty() && HexDigit(rest.front()) >= 0) {
                value = value * 16 + HexDigit(rest.front());
                rest.remove_prefix(1);
                if (++digits > 2) Error("a byte has more than two hexadecimal digits");
            }
            if (digits == 0) Error("a byte list holds something other than hexadecimal bytes");
            bytes.push_back(static_cast<std::uint8_t>(value));
            rest = Trim(rest);
            if (rest.empty()) break;
            if (rest.front() != ',') Error("bytes must be separated by commas");
            rest.remove_prefix(1);
            if (Trim(rest).empty()) Error("a byte list ends with a comma");
        }
        return bytes;
    }

    void ValueLine(std::string_view line) {
        if (!reg_) Error("a value stands outside of a key");
        std::string name;
        if (line.front() == '@') {
            line.remove_prefix(1);
        } else if (line.front() == '"') {
            name = Quoted(line);
        } else {
            Error("a value line must begin with a quoted name or @");
        }
        line = TrimLeft(line);
        if (line.empty() || line.front() != '=') Error("\"=\" is missing after the value name");
        line = Trim(line.substr(1));
        if (line == "-") {
            reg_->DeleteValue(name);
        } else if (!line.empty() && line.front() == '"') {
            std::string text = Quoted(line);
            if (!Trim(line).empty()) Error("text after the closing quote");
            reg_->WriteString(name, text);
        } else if (line.substr(0, 6) == "dword:") {
            const std::string_view digits = line.substr(6);
            if (digits.empty() || digits.size() > 8) Error("a dword needs one to eight hexadecimal digits");
            std::uint32_t v = 0;
            for (const char c : digits) {
                if (HexDigit(c) < 0) Error("a dword needs one to eight hexadecimal digits");
                v = v * 16 + static_cast<std::uint32_t>(HexDigit(c));
            }
            reg_->WriteInteger(name, static_cast<std::int32_t>(v));
        } else if (line.substr(0, 4) == "hex:") {
            reg_->WriteBinaryData(name, HexList(line.substr(4)));
        } else if (line.substr(0, 6) == "hex(1)" || line.substr(0, 6) == "hex(4)") {
            if (line.size() < 7 || line[6] != ':') Error("\":\" is missing after the value type");
            const bool text = line[4] == '1';
            const std::vector<std::uint8_t> bytes = HexList(line.substr(7));
            if (text) {
                if (bytes.size() % 2) Error("a UTF-16 text has an odd number of bytes");
                std::u16string wide;
                for (std::size_t i = 0; i < bytes.size(); i += 2) {
                    const char16_t u = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
                    if (u == 0) break;
                    wide.push_back(u);
                }
                reg_->WriteString(name, Utf16ToUtf8(wide));
            } else {
                if (bytes.size() != 4) Error("a hex(4) dword needs four bytes");
                reg_->WriteInteger(name, static_cast<std::int32_t>(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                                                                   (static_cast<std::uint32_t>(bytes[3]) << 24)));
            }
        } else {
            Error("unsupported value type in \"" + std::string(line.substr(0, 12)) + "\"");
        }
    }

    std::string text_;
    std::vector<std::string_view> lines_;
    std::size_t line_ = 0;
    std::optional<TRegistry> reg_;
};

}  // namespace

std::string ExportRegistryText(const std::string& key) {
    const auto split = SplitRoot(key);
    if (!split) throw ERegistryException("Unknown registry root in \"" + key + "\"");
    RegistrySnapshot snap;
    TRegistry reg(split->first->root);
    if (!reg.OpenKey(split->second, false)) throw ERegistryException("The key \"" + key + "\" does not exist");
    // The key's own name as the store keeps it.
    std::string fullName = split->first->name;
    TRegistry walk(split->first->root);
    std::string_view rest = split->second;
    while (!rest.empty()) {
        const std::size_t cut = rest.find('\\');
        std::string part(rest.substr(0, cut));
        rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
        if (part.empty()) continue;
        for (const auto& stored : walk.GetKeyNames())
            if (SameText(stored, part)) part = stored;
        walk.OpenKey(part, false);
        fullName += "\\" + part;
    }
    std::string out = std::string(kHeader) + "\n\n";
    ExportKey(reg, fullName, out);
    return out;
}

void ImportRegistryText(std::string_view text) { Importer(text).Run(); }

}  // namespace tolver
