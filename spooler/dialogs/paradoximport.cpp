#include "spooler/dialogs/paradoximport.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "common/cashgl.h"
#include "platform/base/textcase.h"
#include "platform/variant/codepage.h"

extern "C" {
#include <paradox.h>
}

namespace tolver {

namespace {

namespace fs = std::filesystem;

// pxlib reports through this handler; the first message is kept and the calls that
// failed return their own error codes, which the reader checks.
void OnPxError(pxdoc_t*, int level, const char* msg, void* data) {
    auto* first = static_cast<std::string*>(data);
    if (level != PX_Warning && first->empty()) *first = msg ? msg : "pxlib error";
}
void* PxAlloc(pxdoc_t*, std::size_t size, const char*) { return std::calloc(1, size ? size : 1); }
void* PxRealloc(pxdoc_t*, void* mem, std::size_t size, const char*) { return std::realloc(mem, size); }
void PxFree(pxdoc_t*, void* mem) { std::free(mem); }

// An entry of dir whose name equals name without regard to case (tables copied from
// the old installation may have any case); the exact name when none does.
fs::path FindEntry(const fs::path& dir, const std::string& name) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec))
        if (SameText(entry.path().filename().string(), name)) return entry.path();
    return dir / name;
}

// pxlib trusts a table's header and follows its chain of data blocks as it finds
// it: a damaged file could send it past the file's end or round a loop of blocks
// for ever. So the header and the chain are checked here first, bounded by the
// file's real size (all numbers little-endian).
void CheckTableLayout(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::uintmax_t size = fs::file_size(path);
    unsigned char head[0x60];
    if (!in.read(reinterpret_cast<char*>(head), sizeof head)) throw std::runtime_error("no table header");
    const auto u16 = [](const unsigned char* p) { return static_cast<unsigned>(p[0] | p[1] << 8); };
    const auto u32 = [](const unsigned char* p) {
        return static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24);
    };
    const unsigned recordSize = u16(head), headerSize = u16(head + 2);
    const unsigned blockSize = head[5] * 1024u;
    const std::uint32_t records = u32(head + 6);
    const unsigned fileBlocks = u16(head + 0x0C), firstBlock = u16(head + 0x0E);
    if (recordSize == 0 || headerSize < sizeof head || headerSize > size || blockSize == 0 || blockSize > 32 * 1024)
        throw std::runtime_error("bad table header");
    if (recordSize > blockSize || records > (size - headerSize) / recordSize) throw std::runtime_error("bad record count");
    // Paradox 4 to 7 (file version codes 5 to 12), as the database engine wrote them;
    // pxlib loops for ever on some damaged headers of other codes.
    if (head[0x39] < 5 || head[0x39] > 12) throw std::runtime_error("unsupported table version");
    // Password-protected tables are not read (their blocks would need the password);
    // 0xFF00FF00 in the first key field means "see the second", 0 there: none.
    const std::uint32_t key1 = u32(head + 0x25), key2 = u32(head + 0x5C);
    if ((key1 != 0 && key1 != 0xFF00FF00u) || (key1 == 0xFF00FF00u && key2 != 0))
        throw std::runtime_error("encrypted table");
    // Blocks are numbered from 1; each begins with the numbers of the next and the
    // previous block. Every block of the chain must lie inside the file, once.
    std::vector<bool> seen(fileBlocks + 1u);
    for (unsigned block = firstBlock; block != 0;) {
        const std::uintmax_t at = headerSize + std::uintmax_t(block - 1) * blockSize;
        if (block > fileBlocks || seen[block] || at + blockSize > size) throw std::runtime_error("bad block chain");
        seen[block] = true;
        unsigned char blockHead[2];
        in.seekg(static_cast<std::streamoff>(at));
        if (!in.read(reinterpret_cast<char*>(blockHead), sizeof blockHead)) throw std::runtime_error("bad block chain");
        block = u16(blockHead);
    }
}

// One open table, read record by record.
class ParadoxTable {
public:
    explicit ParadoxTable(const fs::path& path) {
        doc_ = PX_new3(OnPxError, PxAlloc, PxRealloc, PxFree, &error_);
        if (!doc_) throw std::runtime_error("pxlib: out of memory");
        try {
            Open(path);
        } catch (...) {
            Release();
            throw;
        }
    }
    ~ParadoxTable() { Release(); }
    ParadoxTable(const ParadoxTable&) = delete;
    ParadoxTable& operator=(const ParadoxTable&) = delete;

    int Records() const { return records_; }

    // The position of a field by its name (without regard to case, as the database
    // engine finds it); fails when the table has no such field.
    int Field(const std::string& name) const {
        for (std::size_t i = 0; i < fields_.size(); ++i)
            if (SameText(fields_[i].name, name)) return static_cast<int>(i);
        throw std::runtime_error("no field " + name);
    }

    void Read(int recno) {
        if (!PX_get_record(doc_, recno, record_.data())) Fail("cannot read record " + std::to_string(recno));
    }

    // A text field (code page 1251); a blank field reads "".
    std::string Text(int field) {
        const FieldDef& f = fields_[static_cast<std::size_t>(field)];
        if (f.type != pxfAlpha) throw std::runtime_error("field " + f.name + " is no text");
        char* value = nullptr;
        const int rc = PX_get_data_alpha(doc_, Data(f), f.length, &value);
        if (rc < 0) Fail("bad text in " + f.name);
        std::string text = value ? Cp1251ToUtf8(value) : std::string();
        std::free(value);
        return text;
    }

    // A whole number: from a numeric field, or a text field holding a whole number
    // (as the database engine converts it); a blank field reads 0.
    std::int32_t Integer(int field) {
        const FieldDef& f = fields_[static_cast<std::size_t>(field)];
        char* data = Data(f);
        double number = 0;
        switch (f.type) {
            case pxfShort: {
                short value = 0;
                if (PX_get_data_short(doc_, data, f.length, &value) < 0) Fail("bad number in " + f.name);
                number = value;
                break;
            }
            case pxfLong:
            case pxfAutoInc: {
                long value = 0;
                if (PX_get_data_long(doc_, data, f.length, &value) < 0) Fail("bad number in " + f.name);
                number = static_cast<double>(value);
                break;
            }
            case pxfNumber:
            case pxfCurrency: {
                double value = 0;
                if (PX_get_data_double(doc_, data, f.length, &value) < 0) Fail("bad number in " + f.name);
                number = std::round(value);
                break;
            }
            case pxfAlpha: {
                const std::string text = Text(field);
                if (text.empty()) break;
                char* end = nullptr;
                const long long value = std::strtoll(text.c_str(), &end, 10);
                if (*end != '\0') throw std::runtime_error("field " + f.name + " holds no number");
                number = static_cast<double>(value);
                break;
            }
            default:
                throw std::runtime_error("field " + f.name + " is of a type that holds no number");
        }
        if (!(number >= std::numeric_limits<std::int32_t>::min() && number <= std::numeric_limits<std::int32_t>::max()))
            throw std::runtime_error("number out of range in " + f.name);
        return static_cast<std::int32_t>(number);
    }

private:
    void Open(const fs::path& path) {
        CheckTableLayout(path);
        if (PX_open_file(doc_, path.c_str()) < 0) Fail("cannot open " + path.string());
        opened_ = true;
        const int count = PX_get_num_fields(doc_);
        const int recordSize = PX_get_recordsize(doc_);
        pxfield_t* fields = PX_get_fields(doc_);
        if (count <= 0 || recordSize <= 0 || !fields) Fail("no fields");
        int offset = 0;
        for (int i = 0; i < count; ++i) {
            if (fields[i].px_flen <= 0 || fields[i].px_flen > recordSize - offset) Fail("bad field layout");
            fields_.push_back({fields[i].px_fname ? fields[i].px_fname : "", fields[i].px_ftype, offset, fields[i].px_flen});
            offset += fields[i].px_flen;
        }
        record_.resize(static_cast<std::size_t>(recordSize));
        records_ = std::max(0, PX_get_num_records(doc_));
    }

    void Release() {
        if (opened_) PX_close(doc_);
        opened_ = false;
        if (doc_) PX_delete(doc_);
        doc_ = nullptr;
    }

    struct FieldDef {
        std::string name;
        char type;
        int offset;
        int length;
    };

    char* Data(const FieldDef& f) { return record_.data() + f.offset; }

    [[noreturn]] void Fail(const std::string& what) {
        throw std::runtime_error(error_.empty() ? what : what + ": " + error_);
    }

    pxdoc_t* doc_ = nullptr;
    bool opened_ = false;
    std::string error_;
    std::vector<FieldDef> fields_;
    std::vector<char> record_;
    int records_ = 0;
};

template <class Row, class ReadRow, class Store>
TImportResult Import(const std::string& folder, const char* table, TXtCollection& list, ReadRow readRow, Store store) {
    TImportResult result;
    try {
        const fs::path path = FindEntry(FindEntry(fs::path(folder), "Data"), table);
        if (!fs::is_regular_file(path)) throw std::runtime_error("no file " + path.string());
        ParadoxTable t(path);
        auto read = readRow(t);
        for (int recno = 0; recno < t.Records(); ++recno) {
            t.Read(recno);
            const Row row = read(t);
            store(row, list.CreateItem(row.N));
            ++result.Added;
        }
    } catch (const std::exception& e) {
        result.Ok = false;
        result.Detail = e.what();
    }
    return result;
}

struct ArtRow {
    std::string Name;
    std::int32_t N, NDep, NTax;
};
struct DepRow {
    std::string Name;
    std::int32_t N, NTax;
};

}  // namespace

TImportResult ImportArticles(const std::string& folder, TXtCollection& list) {
    return Import<ArtRow>(
        folder, kArticleTable, list,
        [](ParadoxTable& t) {
            const int name = t.Field("Name"), n = t.Field("NArt"), dep = t.Field("NDep"), tax = t.Field("NTax");
            return [=](ParadoxTable& r) { return ArtRow{r.Text(name), r.Integer(n), r.Integer(dep), r.Integer(tax)}; };
        },
        [](const ArtRow& row, TXtCollectionItem* item) {
            auto* art = dynamic_cast<TCashArtProperties*>(item);
            if (!art) throw std::logic_error("not a list of articles");
            art->Description = row.Name;
            art->NDep = row.NDep;
            art->NTax = row.NTax;
        });
}

TImportResult ImportDepartments(const std::string& folder, TXtCollection& list) {
    return Import<DepRow>(
        folder, kDepartmentTable, list,
        [](ParadoxTable& t) {
            const int n = t.Field("NDep"), name = t.Field("NameDep"), tax = t.Field("NTax");
            return [=](ParadoxTable& r) { return DepRow{r.Text(name), r.Integer(n), r.Integer(tax)}; };
        },
        [](const DepRow& row, TXtCollectionItem* item) {
            auto* dep = dynamic_cast<TCashDepProperties*>(item);
            if (!dep) throw std::logic_error("not a list of departments");
            dep->Description = row.Name;
            dep->NTax = row.NTax;
        });
}

std::string ImportErrorText(const std::string& fileName) {
    return "Произошла ошибка при открытии файла настроек " + fileName +
           ".\r\nВозможно путь указан неверно, не установлено ядро баз данных (BDE) или файл отсутствует.";
}

}  // namespace tolver
