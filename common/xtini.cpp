#include "common/xtini.h"

#include <cmath>
#include <charconv>
#include <filesystem>
#include <system_error>

#include "common/debug.h"
#include "platform/ini/inifile.h"

namespace tolver {
namespace {

// CR and LF as the characters 1 and 2, so that a text stays on its line.
std::string EncodeLines(std::string s) {
    for (char& c : s) {
        if (c == '\r') c = '\x01';
        else if (c == '\n') c = '\x02';
    }
    return s;
}

std::string DecodeLines(std::string s) {
    for (char& c : s) {
        if (c == '\x01') c = '\r';
        else if (c == '\x02') c = '\n';
    }
    return s;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::string FloatText(double v) {
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
    return ec == std::errc() ? std::string(buf, end) : std::string("0");
}

double ParseFloat(std::string_view text) {
    std::string s(Trim(text));
    for (char& c : s)
        if (c == ',') c = '.';
    const char* first = s.data();
    if (!s.empty() && s.front() == '+') ++first;
    double v = 0;
    const auto [end, ec] = std::from_chars(first, s.data() + s.size(), v);
    return ec == std::errc() && end == s.data() + s.size() && first != end && std::isfinite(v) ? v : 0.0;
}

}  // namespace

void SaveObjectToDir(const TPersistent& obj, const std::string& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec || dir.empty() || !std::filesystem::is_directory(dir, ec)) return;
    TIniFile ini(JoinPath(dir, kXtIniFile));
    for (const auto& prop : obj.Properties()) {
        const std::string name(prop.Name());
        switch (prop.Kind()) {
            case PropKind::Integer:
            case PropKind::Char:
            case PropKind::WideChar: ini.WriteString(kXtIniSection, name, std::to_string(prop.GetOrd(obj))); break;
            case PropKind::Enumeration: ini.WriteString(kXtIniSection, name, prop.GetEnumText(obj)); break;
            case PropKind::Float: ini.WriteString(kXtIniSection, name, FloatText(prop.GetFloat(obj))); break;
            case PropKind::String: ini.WriteString(kXtIniSection, name, EncodeLines(prop.GetStr(obj))); break;
            case PropKind::Variant:
                ini.WriteString(kXtIniSection, name, EncodeLines(prop.GetVariant(obj).toString()));
                break;
            default: break;
        }
    }
}

void LoadObjectFromDir(TPersistent& obj, const std::string& dir) {
    std::error_code ec;
    if (dir.empty() || !std::filesystem::is_directory(dir, ec)) return;
    const TIniFile ini(JoinPath(dir, kXtIniFile));
    for (const auto& prop : obj.Properties()) {
        const std::string name(prop.Name());
        if (!ini.ValueExists(kXtIniSection, name)) continue;
        const auto text = [&] { return ini.ReadString(kXtIniSection, name, ""); };
        switch (prop.Kind()) {
            case PropKind::Integer:
            case PropKind::Char:
            case PropKind::WideChar: prop.SetOrd(obj, ini.ReadInteger(kXtIniSection, name, 0)); break;
            case PropKind::Enumeration: prop.SetEnumText(obj, Trim(text())); break;
            case PropKind::Float: prop.SetFloat(obj, ParseFloat(text())); break;
            case PropKind::String: prop.SetStr(obj, DecodeLines(text())); break;
            case PropKind::Variant: prop.SetVariant(obj, Variant(DecodeLines(text()))); break;
            default: break;  // not stored
        }
    }
}

}  // namespace tolver
