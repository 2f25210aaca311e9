#include "common/xtreg.h"

#include "common/variantstobuf.h"

namespace tolver {
namespace {

constexpr std::size_t kMaxSetElements = 32;

[[noreturn]] void CannotCreate(const std::string& key) { throw ERegistryException("Cannot create key: " + key); }

// Opens the subkey named like the property and puts the accessor back afterwards.
class SubKey {
public:
    SubKey(TRegistry& reg, std::string_view name, bool create) : reg_(reg), parent_("\\" + reg.CurrentPath()) {
        opened_ = reg_.OpenKey(std::string(name), create);
        if (!opened_ && create) CannotCreate(std::string(name));
    }
    ~SubKey() {
        try {
            if (opened_) reg_.OpenKey(parent_, false);
        } catch (const std::exception&) {
            // The error that matters is the one already on its way.
        }
    }
    bool opened() const { return opened_; }

private:
    TRegistry& reg_;
    std::string parent_;
    bool opened_ = false;
};

void WriteAll(const TPersistent& obj, TRegistry& reg) {
    for (const auto& prop : obj.Properties()) WritePropToRegistry(obj, prop, reg);
}

void ReadAll(TPersistent& obj, TRegistry& reg) {
    for (const auto& prop : obj.Properties()) ReadPropFromRegistry(obj, prop, reg);
}

// The value when it is of the type the property kind needs; raises like the accessor.
const RegValue& Typed(const RegValue& v, RegDataType type, const std::string& name) {
    if (v.type != type) throw ERegistryException("Invalid data type for '" + name + "'");
    return v;
}

}  // namespace

void WritePropToRegistry(const TPersistent& obj, const PropInfo& prop, TRegistry& reg) {
    const std::string name(prop.Name());
    switch (prop.Kind()) {
        case PropKind::Integer:
        case PropKind::Char:
        case PropKind::WideChar: reg.WriteInteger(name, static_cast<std::int32_t>(prop.GetOrd(obj))); break;
        case PropKind::Enumeration: reg.WriteString(name, std::string(prop.GetEnumText(obj))); break;
        case PropKind::Float: reg.WriteFloat(name, prop.GetFloat(obj)); break;
        case PropKind::String: reg.WriteString(name, prop.GetStr(obj)); break;
        case PropKind::Variant: reg.WriteString(name, prop.GetVariant(obj).toString()); break;
        case PropKind::Set: {
            const auto bits = static_cast<std::uint32_t>(prop.GetOrd(obj));
            SubKey sub(reg, name, true);
            const ElementNames names = prop.Elements();
            for (std::size_t i = 0; i < names.size(); ++i)
                reg.WriteInteger(std::string(names[i]), i < kMaxSetElements && (bits >> i & 1u) ? 1 : 0);
            break;
        }
        case PropKind::Class: {
            const TPersistent* child = prop.GetObject(obj);
            if (!child) break;
            SubKey sub(reg, name, true);
            WriteAll(*child, reg);
            break;
        }
        case PropKind::Method: {
            const TNotifyEvent ev = prop.GetMethod(obj);
            reg.WriteString(name, ev.code ? std::string(ev.code->name) : std::string());
            break;
        }
        case PropKind::Int64: break;
    }
}

void ReadPropFromRegistry(TPersistent& obj, const PropInfo& prop, TRegistry& reg) {
    const std::string name(prop.Name());
    switch (prop.Kind()) {
        case PropKind::Set: {
            if (!reg.KeyExists(name)) return;
            std::uint32_t bits = 0;
            {
                SubKey sub(reg, name, false);
                if (!sub.opened()) return;
                const ElementNames names = prop.Elements();
                for (std::size_t i = 0; i < names.size() && i < kMaxSetElements; ++i) {
                    const std::string element(names[i]);
                    const RegValue v = reg.ReadValue(element);
                    if (v.type != RegDataType::None && Typed(v, RegDataType::DWord, element).number != 0) bits |= 1u << i;
                }
            }
            prop.SetOrd(obj, bits);
            return;
        }
        case PropKind::Class: {
            TPersistent* child = prop.GetObject(obj);
            if (!child) return;
            SubKey sub(reg, name, false);
            if (sub.opened()) ReadAll(*child, reg);
            return;
        }
        case PropKind::Int64: return;
        default: break;
    }
    const RegValue v = reg.ReadValue(name);
    if (v.type == RegDataType::None) return;
    const auto text = [&]() -> const std::string& { return Typed(v, RegDataType::String, name).text; };
    switch (prop.Kind()) {
        case PropKind::Integer:
        case PropKind::Char:
        case PropKind::WideChar: prop.SetOrd(obj, Typed(v, RegDataType::DWord, name).number); break;
        case PropKind::Enumeration: prop.SetEnumText(obj, text()); break;
        case PropKind::Float: prop.SetFloat(obj, reg.ReadFloat(name)); break;
        case PropKind::String: prop.SetStr(obj, text()); break;
        case PropKind::Variant: prop.SetVariant(obj, Variant(text())); break;
        case PropKind::Method: {
            const std::string& handler = text();
            TNotifyEvent ev = prop.GetMethod(obj);
            if (!ev.data) return;  // no owner to look the handler up in
            ev.code = handler.empty() ? nullptr : ev.data->Methods().Find(handler);
            prop.SetMethod(obj, ev);
            break;
        }
        default: break;
    }
}

void ReadVariantBlob(const TRegistry& reg, const std::string& name, Variant& data) {
    try {
        if (reg.GetDataSize(name) <= 0) return;
        const std::vector<std::uint8_t> bytes = reg.ReadBinaryData(name);
        Variant v;
        BufToVariant(v, bytes);
        data = std::move(v);
    } catch (const std::exception&) {
        // The blob keeps its former value.
    }
}

void SaveObjectToRegistry(const TPersistent& obj, HKEY rootKey, const std::string& key) {
    RegistryTransaction tx;
    TRegistry reg(rootKey);
    reg.DeleteKey(key);
    if (!reg.OpenKey(key, true)) CannotCreate(key);
    WriteAll(obj, reg);
    tx.Commit();
}

void LoadObjectFromRegistry(TPersistent& obj, HKEY rootKey, const std::string& key) {
    try {
        RegistrySnapshot snap;
        TRegistry reg(rootKey);
        if (!reg.OpenKey(key, false)) return;
        ReadAll(obj, reg);
    } catch (const std::exception&) {
        // The first error ends the reading; what was read stays.
    }
}

}  // namespace tolver
