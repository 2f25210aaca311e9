#include "platform/ini/inifile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "platform/base/exception.h"
#include "platform/base/textcase.h"

namespace tolver {
namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::string Unquote(std::string_view v) {
    v = Trim(v);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) v = v.substr(1, v.size() - 2);
    return std::string(v);
}

std::string Quote(std::string_view v) {
    if (v.empty()) return {};
    const bool blankEnd = v.front() == ' ' || v.front() == '\t' || v.back() == ' ' || v.back() == '\t';
    const bool quoted = v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
    if (!blankEnd && !quoted) return std::string(v);
    std::string out(1, '"');
    out.append(v);
    out += '"';
    return out;
}

}  // namespace

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

void TIniFile::Reload() const {
    struct stat st {};
    if (::stat(fileName_.c_str(), &st) != 0) {
        sections_.clear();
        stamp_ = size_ = -1;
        inode_ = 0;
        return;
    }
    const std::int64_t stamp = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    if (stamp == stamp_ && st.st_size == size_ && st.st_ino == inode_) return;
    std::ifstream in(fileName_, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    sections_.assign(1, Section{});
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string_view raw(text.data() + pos, end - pos);
        if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
        pos = end + 1;
        const std::string_view line = Trim(raw);
        if (!line.empty() && line.front() == '[') {
            const std::size_t close = line.find(']');
            sections_.push_back(Section{std::string(Trim(line.substr(1, close == std::string_view::npos ? line.npos : close - 1))), {}});
            continue;
        }
        Line l{std::string(raw), {}, {}};
        const std::size_t eq = line.find('=');
        if (!line.empty() && line.front() != ';' && eq != std::string_view::npos && !Trim(line.substr(0, eq)).empty()) {
            l.key = std::string(Trim(line.substr(0, eq)));
            l.value = Unquote(line.substr(eq + 1));
        }
        sections_.back().lines.push_back(std::move(l));
    }
    stamp_ = stamp;
    size_ = st.st_size;
    inode_ = st.st_ino;
}

void TIniFile::Save() const {
    std::string text;
    for (const auto& s : sections_) {
        if (&s != &sections_.front() || !s.name.empty()) text += "[" + s.name + "]\n";
        for (const auto& l : s.lines) text += (l.key.empty() ? l.text : l.key + "=" + Quote(l.value)) + "\n";
    }
    const std::string temp = fileName_ + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            std::remove(temp.c_str());
            throw Exception("Cannot write the file " + fileName_);
        }
    }
    if (std::rename(temp.c_str(), fileName_.c_str()) != 0) {
        std::remove(temp.c_str());
        throw Exception("Cannot write the file " + fileName_);
    }
    stamp_ = size_ = -1;  // read back at the next access
}

const TIniFile::Section* TIniFile::FindSection(std::string_view name) const {
    for (std::size_t i = 1; i < sections_.size(); ++i)
        if (SameText(sections_[i].name, name)) return &sections_[i];
    return nullptr;
}

const TIniFile::Line* TIniFile::FindEntry(std::string_view section, std::string_view ident) const {
    Reload();
    const Section* s = FindSection(section);
    if (!s) return nullptr;
    for (const auto& l : s->lines)
        if (!l.key.empty() && SameText(l.key, Trim(ident))) return &l;
    return nullptr;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view ident, std::string_view def) const {
    const Line* l = FindEntry(section, ident);
    return l ? l->value : std::string(def);
}

std::int32_t TIniFile::ReadInteger(std::string_view section, std::string_view ident, std::int32_t def) const {
    const Line* l = FindEntry(section, ident);
    if (!l) return def;
    std::string_view v = Trim(l->value);
    if (!v.empty() && v.front() == '+') v.remove_prefix(1);
    std::int32_t out = 0;
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), out);
    return ec == std::errc() && end == v.data() + v.size() && !v.empty() ? out : def;
}

bool TIniFile::ReadBool(std::string_view section, std::string_view ident, bool def) const {
    return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

bool TIniFile::SectionExists(std::string_view section) const {
    Reload();
    return FindSection(section) != nullptr;
}

bool TIniFile::ValueExists(std::string_view section, std::string_view ident) const {
    return FindEntry(section, ident) != nullptr;
}

std::vector<std::string> TIniFile::ReadSection(std::string_view section) const {
    Reload();
    std::vector<std::string> out;
    if (const Section* s = FindSection(section))
        for (const auto& l : s->lines)
            if (!l.key.empty()) out.push_back(l.key);
    return out;
}

void TIniFile::WriteString(std::string_view section, std::string_view ident, std::string_view value) {
    if (value.find_first_of("\r\n") != std::string_view::npos || ident.find_first_of("\r\n=") != std::string_view::npos ||
        section.find_first_of("\r\n]") != std::string_view::npos)
        throw Exception("An ini entry cannot hold a line break");
    Reload();
    if (sections_.empty()) sections_.assign(1, Section{});
    Section* s = const_cast<Section*>(FindSection(section));
    if (!s) {
        sections_.push_back(Section{std::string(Trim(section)), {}});
        s = &sections_.back();
    }
    const std::string key(Trim(ident));
    std::size_t after = 0;  // behind the section's last entry
    for (std::size_t i = 0; i < s->lines.size(); ++i) {
        Line& l = s->lines[i];
        if (l.key.empty()) continue;
        if (SameText(l.key, key)) {
            l.value = std::string(value);
            Save();
            return;
        }
        after = i + 1;
    }
    s->lines.insert(s->lines.begin() + static_cast<std::ptrdiff_t>(after), Line{{}, key, std::string(value)});
    Save();
}

void TIniFile::WriteInteger(std::string_view section, std::string_view ident, std::int32_t value) {
    WriteString(section, ident, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view ident, bool value) {
    WriteString(section, ident, value ? "1" : "0");
}

void TIniFile::DeleteKey(std::string_view section, std::string_view ident) {
    Reload();
    Section* s = const_cast<Section*>(FindSection(section));
    if (!s) return;
    for (auto it = s->lines.begin(); it != s->lines.end(); ++it) {
        if (!it->key.empty() && SameText(it->key, Trim(ident))) {
            s->lines.erase(it);
            Save();
            return;
        }
    }
}

void TIniFile::EraseSection(std::string_view section) {
    Reload();
    for (std::size_t i = 1; i < sections_.size(); ++i) {
        if (SameText(sections_[i].name, section)) {
            sections_.erase(sections_.begin() + static_cast<std::ptrdiff_t>(i));
            Save();
            return;
        }
    }
}

}  // namespace tolver
