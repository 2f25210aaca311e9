#pragma once
// Writes real Paradox tables with pxlib for the import's tests and benchmark. Texts
// are given in UTF-8 and stored in code page 1251, clipped to their field.

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "platform/variant/codepage.h"

extern "C" {
#include <paradox.h>
}

namespace tolver::testutil {

struct PxField {
    std::string name;
    char type;  // pxfAlpha, pxfShort, pxfLong, pxfNumber, pxfDate, ...
    int length;
};
using PxValue = std::variant<std::monostate, std::string, long, double>;  // monostate: blank

inline void WriteParadoxTable(const std::string& path, const std::vector<PxField>& fields,
                              const std::vector<std::vector<PxValue>>& rows) {
    pxdoc_t* doc = PX_new2(
        nullptr, [](pxdoc_t*, std::size_t size, const char*) { return std::calloc(1, size ? size : 1); },
        [](pxdoc_t*, void* mem, std::size_t size, const char*) { return std::realloc(mem, size); },
        [](pxdoc_t*, void* mem) { std::free(mem); });
    if (!doc) throw std::runtime_error("PX_new2");
    // pxlib takes the field array (and its names) over: they come from its allocator.
    auto* f = static_cast<pxfield_t*>(doc->malloc(doc, fields.size() * sizeof(pxfield_t), "fields"));
    for (std::size_t i = 0; i < fields.size(); ++i) {
        f[i].px_fname = static_cast<char*>(doc->malloc(doc, fields[i].name.size() + 1, "name"));
        std::memcpy(f[i].px_fname, fields[i].name.c_str(), fields[i].name.size() + 1);
        f[i].px_ftype = fields[i].type;
        f[i].px_flen = fields[i].length;
        f[i].px_fdc = 0;
    }
    if (PX_create_file(doc, f, static_cast<int>(fields.size()), path.c_str(), pxfFileTypNonIndexDB) < 0) {
        PX_delete(doc);
        throw std::runtime_error("PX_create_file " + path);
    }
    std::vector<pxval_t> values(fields.size());
    std::vector<pxval_t*> pointers(fields.size());
    std::vector<std::string> texts(fields.size());
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            pxval_t& v = values[i];
            v = pxval_t{};
            v.type = fields[i].type;
            const PxValue& value = i < row.size() ? row[i] : PxValue{};
            v.isnull = std::holds_alternative<std::monostate>(value);
            if (auto* s = std::get_if<std::string>(&value)) {
                texts[i] = Utf8ToCp1251(*s);
                if (static_cast<int>(texts[i].size()) > fields[i].length) texts[i].resize(static_cast<std::size_t>(fields[i].length));
                v.value.str.val = texts[i].data();
                v.value.str.len = static_cast<int>(texts[i].size());
            } else if (auto* l = std::get_if<long>(&value)) {
                v.value.lval = *l;
            } else if (auto* d = std::get_if<double>(&value)) {
                v.value.dval = *d;
            }
            pointers[i] = &v;
        }
        if (PX_insert_record(doc, pointers.data()) < 0) {
            PX_close(doc);
            PX_delete(doc);
            throw std::runtime_error("PX_insert_record");
        }
    }
    PX_close(doc);
    PX_delete(doc);
}

// The two tables as the previous installation kept them.
inline const std::vector<PxField> kArticleFields{{"NArt", pxfLong, 4}, {"Name", pxfAlpha, 40}, {"NDep", pxfShort, 2}, {"NTax", pxfShort, 2}};
inline const std::vector<PxField> kDepartmentFields{{"NDep", pxfShort, 2}, {"NameDep", pxfAlpha, 30}, {"NTax", pxfShort, 2}};

}  // namespace tolver::testutil
