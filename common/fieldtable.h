#pragma once
// The fields of a settings class, each written once: beside its members a class lists
// them in the order of its variant form, with how each is read and whether it is
// published. The form's writer and reader, the copy of Assign and the published
// properties all come from that table:
//
//   class TCashDepProperties : public TXtCollectionItem {
//   public:
//       std::string Description;
//       std::int32_t NTax = 0;
//
//       // [item form, Description, NTax], exactly.
//       static constexpr auto Fields() {
//           using C = TCashDepProperties;
//           return FieldTableOf<C, kExactLength | kAllOrNothing>(
//               BaseForm<TXtCollectionItem>(), Field("Description", &C::Description, kPublished),
//               Field("NTax", &C::NTax, kPublished));
//       }
//   };
//
//   Variant TCashDepProperties::GetAsVariant() const { return Fields().Write(*this); }
//   void TCashDepProperties::SetFromVariant(const Variant& v) { Fields().Read(*this, v); }
//
// with Assign calling Fields().Copy and Properties() keeping Fields().Properties(base),
// so that a new field is a member and a row. The rows follow the form's elements in
// order, one element each; a std::array row takes one element per entry. The
// leading required rows give the least high bound the reader accepts; an optional row
// is kept when its element is missing or does not convert, and a chained one is read
// only when the row before it was read, so that a run of chained rows ends at its first
// missing or bad element. BaseForm<B> is the base class's own form (B::Fields()) as one
// element. The copy leaves the base form to the class's Assign.
//
// Row types: std::int32_t, std::uint8_t (exchanged as an Integer, read into its low 8
// bits), bool, Currency, std::string, Variant (as it is), std::array of one of these, a
// type with a FormValue specialisation, and a settings object held by value or by
// unique_ptr (its GetAsVariant and SetFromVariant, copied by its Assign).

#include <array>
#include <concepts>
#include <cstdint>
#include <memory>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/properties.h"
#include "common/varform.h"
#include "platform/variant/variant.h"

namespace tolver {

// How a row is read, and whether it is published.
enum FieldFlags : unsigned {
    kRequired = 0,   // a missing or unconvertible element fails the reading
    kOptional = 1,   // a missing or unconvertible element leaves the field as it is
    kChained = 2,    // optional, and read only when the row before it was read
    kPublished = 4,  // also a published property, after the base class's, in row order
};

// How the whole form is read.
enum FormFlags : unsigned {
    kOpenEnded = 0,      // elements past the last row are ignored
    kExactLength = 1,    // an element past the last row fails the reading
    kAllOrNothing = 2,   // a failed reading leaves every field as it was
};

// The conversion of a row type that is not one of the built-in ones: a specialisation
// with static Variant Write(const T&) and static T Read(const VarFormReader&, i).
template <class T>
struct FormValue {};

template <class C, class T>
struct FieldRow {
    using Class = C;
    using Type = T;
    std::string_view name;
    T C::*member;
    unsigned flags;
};

template <class C, class T>
constexpr FieldRow<C, T> Field(std::string_view name, T C::*member, unsigned flags = kRequired) {
    return {name, member, flags};
}

template <class B>
struct BaseForm {
    using Base = B;
};

namespace fields {

template <class T>
struct IsArray : std::false_type {};
template <class T, std::size_t N>
struct IsArray<std::array<T, N>> : std::true_type {};

template <class T>
struct IsBaseForm : std::false_type {};
template <class B>
struct IsBaseForm<BaseForm<B>> : std::true_type {};

template <class T>
struct Pointee {
    using type = T;
};
template <class T, class D>
struct Pointee<std::unique_ptr<T, D>> {
    using type = T;
};

// A settings object with a form of its own, held by value or by unique_ptr.
template <class T>
concept FormObject = requires(typename Pointee<std::remove_cv_t<T>>::type& o, const Variant& v) {
    o.SetFromVariant(v);
    { std::as_const(o).GetAsVariant() } -> std::same_as<Variant>;
};

template <class T>
concept HasFormValue = requires { &FormValue<T>::Write; };

template <class T>
auto& Deref(T& v) {
    if constexpr (std::is_same_v<typename Pointee<std::remove_cv_t<T>>::type, std::remove_cv_t<T>>) return v;
    else return *v;
}

template <class T>
Variant WriteValue(const T& v) {
    if constexpr (std::is_same_v<T, std::uint8_t>) return static_cast<std::int32_t>(v);
    else if constexpr (HasFormValue<T>) return FormValue<T>::Write(v);
    else if constexpr (FormObject<T>) return Deref(v).GetAsVariant();
    else return v;
}

// Reads element i into out; raises Exception(kVariantReadError) when it is missing or
// does not convert.
template <class T>
void ReadValue(const VarFormReader& r, std::int64_t i, T& out) {
    if constexpr (HasFormValue<T>) out = FormValue<T>::Read(r, i);
    else if constexpr (FormObject<T>) Deref(out).SetFromVariant(r.At(i));
    else out = r.Get<T>(i);
}

// The optional form: false, and out untouched, when element i is missing or does not
// convert.
template <class T>
bool TryValue(const VarFormReader& r, std::int64_t i, T& out) {
    static_assert(!FormObject<T>, "a settings object is a required row");
    if (!r.Has(i)) return false;
    try {
        T value;
        ReadValue(r, i, value);
        out = std::move(value);
        return true;
    } catch (const Exception&) {
        return false;
    }
}

template <class Row>
constexpr std::int64_t Width() {
    if constexpr (IsBaseForm<Row>::value) return 1;
    else if constexpr (IsArray<typename Row::Type>::value) return std::tuple_size_v<typename Row::Type>;
    else return 1;
}

template <class Row>
constexpr unsigned Flags(const Row& row) {
    if constexpr (IsBaseForm<Row>::value) return kRequired;
    else return row.flags;
}

}  // namespace fields

template <class C, unsigned Form, class... Rows>
class FieldTable {
public:
    constexpr explicit FieldTable(Rows... rows) : rows_(rows...) {}

    // The number of elements of the form.
    static constexpr std::int64_t kElements = (fields::Width<Rows>() + ... + 0);

    // The leading required elements: the least high bound is one less.
    constexpr std::int64_t RequiredElements() const {
        std::int64_t n = 0;
        bool leading = true;
        ForEach([&](const auto& row) {
            if (fields::Flags(row) & (kOptional | kChained)) leading = false;
            if (leading) n += fields::Width<std::remove_cvref_t<decltype(row)>>();
        });
        return n;
    }

    template <class V>
    constexpr void ForEach(V&& visit) const {
        std::apply([&](const auto&... row) { (visit(row), ...); }, rows_);
    }

    Variant Write(const C& obj) const {
        std::vector<Variant> out;
        out.reserve(static_cast<std::size_t>(kElements));
        ForEach([&](const auto& row) {
            using Row = std::remove_cvref_t<decltype(row)>;
            if constexpr (fields::IsBaseForm<Row>::value) {
                out.push_back(Row::Base::Fields().Write(obj));
            } else {
                const auto& value = obj.*row.member;
                if constexpr (fields::IsArray<typename Row::Type>::value) {
                    for (const auto& e : value) out.push_back(fields::WriteValue(e));
                } else {
                    out.push_back(fields::WriteValue(value));
                }
            }
        });
        return Variant(SafeArray::Of(std::move(out)));
    }

    // Raises Exception(kVariantReadError) when value is no one-dimensional array from 0
    // with the required elements (and no more, for an exact form) or a required element
    // does not read; the fields read before stay read unless the form is all or nothing.
    void Read(C& obj, const Variant& value) const {
        const VarFormReader r(value, RequiredElements() - 1,
                              (Form & kExactLength) ? kElements - 1 : VarFormReader::kAnyHigh);
        if constexpr (Form & kAllOrNothing) {
            auto saved = Save(obj);
            try {
                ReadRows(obj, r);
            } catch (...) {
                Restore(obj, std::move(saved));
                throw;
            }
        } else {
            ReadRows(obj, r);
        }
    }

    // Copies every row but the base form, in row order.
    void Copy(C& to, const C& from) const {
        ForEach([&](const auto& row) {
            using Row = std::remove_cvref_t<decltype(row)>;
            if constexpr (!fields::IsBaseForm<Row>::value) {
                if constexpr (fields::FormObject<typename Row::Type>)
                    fields::Deref(to.*row.member).Assign(fields::Deref(from.*row.member));
                else
                    to.*row.member = from.*row.member;
            }
        });
    }

    // The base class's properties followed by the published rows.
    PropertyTable Properties(const PropertyTable& base) const {
        std::vector<PropInfo> own;
        ForEach([&](const auto& row) {
            using Row = std::remove_cvref_t<decltype(row)>;
            if constexpr (!fields::IsBaseForm<Row>::value) {
                if constexpr (!fields::IsArray<typename Row::Type>::value) {
                    if (row.flags & kPublished) own.push_back(Published(row.name, row.member));
                }
            }
        });
        return PropertyTable(base, own);
    }

    // The values of every field, the base form's included (only for all-or-nothing
    // forms, which hold no settings objects).
    auto Save(const C& obj) const {
        return std::apply([&](const auto&... row) { return std::make_tuple(SaveRow(obj, row)...); }, rows_);
    }
    template <class Saved>
    void Restore(C& obj, Saved&& saved) const {
        RestoreRows(obj, saved, std::index_sequence_for<Rows...>());
    }

private:
    void ReadRows(C& obj, const VarFormReader& r) const {
        std::int64_t i = 0;
        bool lastRead = true;
        ForEach([&](const auto& row) {
            using Row = std::remove_cvref_t<decltype(row)>;
            if constexpr (fields::IsBaseForm<Row>::value) {
                Row::Base::Fields().Read(obj, r.At(i++));
                lastRead = true;
            } else if constexpr (fields::IsArray<typename Row::Type>::value) {
                for (auto& e : obj.*row.member) fields::ReadValue(r, i++, e);
                lastRead = true;
            } else if constexpr (fields::FormObject<typename Row::Type>) {
                fields::ReadValue(r, i++, obj.*row.member);
                lastRead = true;
            } else {
                auto& field = obj.*row.member;
                if ((row.flags & kChained) && !lastRead) {
                    // The chain ended before this row.
                } else if (row.flags & (kOptional | kChained)) {
                    lastRead = fields::TryValue(r, i, field);
                } else {
                    fields::ReadValue(r, i, field);
                    lastRead = true;
                }
                ++i;
            }
        });
    }

    template <class Row>
    static auto SaveRow(const C& obj, const Row& row) {
        if constexpr (fields::IsBaseForm<Row>::value) {
            return Row::Base::Fields().Save(obj);
        } else {
            static_assert(!fields::FormObject<typename Row::Type>, "an all-or-nothing form holds no settings objects");
            return obj.*row.member;
        }
    }

    template <class Saved, std::size_t... I>
    void RestoreRows(C& obj, Saved& saved, std::index_sequence<I...>) const {
        (RestoreRow(obj, std::get<I>(rows_), std::get<I>(saved)), ...);
    }
    template <class Row, class Value>
    static void RestoreRow(C& obj, const Row& row, Value& value) {
        if constexpr (fields::IsBaseForm<Row>::value) Row::Base::Fields().Restore(obj, std::move(value));
        else obj.*row.member = std::move(value);
    }

    std::tuple<Rows...> rows_;
};

// The table of class C: FieldTableOf<C, form flags>(rows...).
template <class C, unsigned Form, class... Rows>
constexpr FieldTable<C, Form, Rows...> FieldTableOf(Rows... rows) {
    return FieldTable<C, Form, Rows...>(rows...);
}

}  // namespace tolver
