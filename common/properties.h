#pragma once
// Persisted property sets. A settings class publishes its persistent state in an
// explicit property table (name, kind, accessors, element names of enumerations and
// sets), the base class's properties first, each class's in declaration order. The
// registry and ini walkers (xtreg.h, xtini.h) are generic over these tables.
//
// A class declares its table by overriding Properties() (a settings class with a
// variant form makes it from its field table instead, see fieldtable.h):
//
//   const PropertyTable& TSample::Properties() const {
//       using C = TSample;
//       static const PropertyTable table(TProperties::Properties(), {
//           Published("Title", &C::Title),
//           Published("Wait", &C::GetWait, &C::SetWait),
//       });
//       return table;
//   }
//
// The kind follows from the member's type: integers (int8 to uint32) are Integer, char
// is Char, char16_t WideChar, bool an enumeration of "False" and "True", float,
// double and Currency Float, std::string String, Variant Variant, a pointer or
// unique_ptr to a TPersistent Class, TNotifyEvent Method, int64 Int64 (never stored).
// Enumerations name their elements: Published("Mode", &C::Mode, kModeNames); sets are
// uint32 bit masks: PublishedSet("Options", &C::Options, kOptionNames). A property
// with accessor functions: Published("Wait", &C::GetWait, &C::SetWait).

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/base/exception.h"
#include "platform/variant/variant.h"

namespace tolver {

class TPersistent;

enum class PropKind {
    Integer,
    Char,
    WideChar,
    Enumeration,  // Boolean included
    Float,        // every float kind, Currency and date/time included
    String,
    Variant,
    Set,
    Class,
    Method,
    Int64,  // not stored by the walkers
};

// The identifiers of an enumeration or of a set's base type; the ordinal is the position.
using ElementNames = std::span<const std::string_view>;
inline constexpr std::string_view kBooleanNames[] = {"False", "True"};

// A published method of a class: an event handler that can be found by its name.
struct PublishedMethod {
    std::string_view name;
    void (*code)(TPersistent& self, TPersistent* sender);
};

// An event property's value: a published method of the owner object, or none.
struct TNotifyEvent {
    TPersistent* data = nullptr;  // the handler's owner object
    const PublishedMethod* code = nullptr;

    explicit operator bool() const { return data && code; }
    void operator()(TPersistent* sender) const {
        if (data && code) code->code(*data, sender);
    }
};

// The published methods of a class, the base class's first.
class MethodTable {
public:
    MethodTable() = default;
    MethodTable(const MethodTable& base, std::initializer_list<PublishedMethod> own);
    // Case-insensitive; nullptr when the class has no such method.
    const PublishedMethod* Find(std::string_view name) const;

private:
    std::vector<PublishedMethod> methods_;
};

// Handler("OnModel", &C::OnModel) for a method void C::OnModel(TPersistent* sender).
template <auto Method>
PublishedMethod Handler(std::string_view name);

namespace detail {

// Reads and writes one property of an object; each kind uses its own pair.
class PropAccess {
public:
    virtual ~PropAccess() = default;
    virtual std::int64_t GetOrd(const TPersistent&) const { Wrong(); }
    virtual void SetOrd(TPersistent&, std::int64_t) const { Wrong(); }
    virtual double GetFloat(const TPersistent&) const { Wrong(); }
    virtual void SetFloat(TPersistent&, double) const { Wrong(); }
    virtual std::string GetStr(const TPersistent&) const { Wrong(); }
    virtual void SetStr(TPersistent&, const std::string&) const { Wrong(); }
    virtual Variant GetVariant(const TPersistent&) const { Wrong(); }
    virtual void SetVariant(TPersistent&, const Variant&) const { Wrong(); }
    virtual TPersistent* GetObject(const TPersistent&) const { Wrong(); }
    virtual TNotifyEvent GetMethod(const TPersistent&) const { Wrong(); }
    virtual void SetMethod(TPersistent&, TNotifyEvent) const { Wrong(); }

protected:
    [[noreturn]] static void Wrong() { throw Exception("The property is of another kind"); }
};

}  // namespace detail

// One published property.
class PropInfo {
public:
    PropInfo(std::string_view name, PropKind kind, ElementNames elements, std::shared_ptr<const detail::PropAccess> access)
        : name_(name), kind_(kind), elements_(elements), access_(std::move(access)) {}

    std::string_view Name() const { return name_; }
    PropKind Kind() const { return kind_; }
    ElementNames Elements() const { return elements_; }

    // Ordinal kinds (Integer, Char, WideChar, Enumeration) and sets (the bit mask).
    std::int64_t GetOrd(const TPersistent& obj) const { return access_->GetOrd(obj); }
    void SetOrd(TPersistent& obj, std::int64_t v) const { access_->SetOrd(obj, v); }
    double GetFloat(const TPersistent& obj) const { return access_->GetFloat(obj); }
    void SetFloat(TPersistent& obj, double v) const { access_->SetFloat(obj, v); }
    std::string GetStr(const TPersistent& obj) const { return access_->GetStr(obj); }
    void SetStr(TPersistent& obj, const std::string& v) const { access_->SetStr(obj, v); }
    Variant GetVariant(const TPersistent& obj) const { return access_->GetVariant(obj); }
    void SetVariant(TPersistent& obj, const Variant& v) const { access_->SetVariant(obj, v); }
    // The referenced object of a Class property, nullptr for none.
    TPersistent* GetObject(const TPersistent& obj) const { return access_->GetObject(obj); }
    TNotifyEvent GetMethod(const TPersistent& obj) const { return access_->GetMethod(obj); }
    void SetMethod(TPersistent& obj, TNotifyEvent v) const { access_->SetMethod(obj, v); }
    // An enumeration's value as its element identifier; raises Exception when the value
    // is no element's ordinal.
    std::string_view GetEnumText(const TPersistent& obj) const;
    // Sets an enumeration to the element that text names, without regard to case;
    // raises EVariantError when it names none.
    void SetEnumText(TPersistent& obj, std::string_view text) const;

private:
    std::string_view name_;
    PropKind kind_;
    ElementNames elements_;
    std::shared_ptr<const detail::PropAccess> access_;
};

// The published properties of a class: its base class's first, then its own.
class PropertyTable {
public:
    PropertyTable() = default;
    PropertyTable(const PropertyTable& base, std::initializer_list<PropInfo> own);
    PropertyTable(const PropertyTable& base, const std::vector<PropInfo>& own);

    const std::vector<PropInfo>& Props() const { return props_; }
    auto begin() const { return props_.begin(); }
    auto end() const { return props_.end(); }
    std::size_t size() const { return props_.size(); }
    // Case-insensitive; nullptr when there is none.
    const PropInfo* Find(std::string_view name) const;

private:
    std::vector<PropInfo> props_;
};

// Base of every object whose published properties are persisted.
class TPersistent {
public:
    virtual ~TPersistent() = default;
    // Copies the content of source; the default asks source to AssignTo this object,
    // which raises when neither class knows the other.
    virtual void Assign(const TPersistent& source);
    virtual const PropertyTable& Properties() const;
    virtual const MethodTable& Methods() const;

protected:
    TPersistent() = default;
    TPersistent(const TPersistent&) = default;
    TPersistent& operator=(const TPersistent&) = default;
    virtual void AssignTo(TPersistent& dest) const;
};

// Base of a persisted property set; it publishes nothing of its own. Create is the
// virtual constructor: a new object of this object's own class with its defaults, so
// that code holding only a base reference creates the right descendant.
class TProperties : public TPersistent {
public:
    virtual std::unique_ptr<TProperties> Create() const = 0;
};

// ---- declaring properties -------------------------------------------------------

namespace detail {

template <class T>
struct IsUniquePtr : std::false_type {};
template <class T, class D>
struct IsUniquePtr<std::unique_ptr<T, D>> : std::true_type {};

template <class T>
constexpr bool kIsObject = (std::is_pointer_v<T> && std::is_base_of_v<TPersistent, std::remove_pointer_t<T>>) ||
                           IsUniquePtr<T>::value;

template <class T>
constexpr PropKind KindOf() {
    if constexpr (std::is_same_v<T, bool>) return PropKind::Enumeration;
    else if constexpr (std::is_same_v<T, char>) return PropKind::Char;
    else if constexpr (std::is_same_v<T, char16_t>) return PropKind::WideChar;
    else if constexpr (std::is_same_v<T, std::int64_t> || std::is_same_v<T, std::uint64_t>) return PropKind::Int64;
    else if constexpr (std::is_integral_v<T>) return PropKind::Integer;
    else if constexpr (std::is_enum_v<T>) return PropKind::Enumeration;
    else if constexpr (std::is_floating_point_v<T> || std::is_same_v<T, Currency>) return PropKind::Float;
    else if constexpr (std::is_same_v<T, std::string>) return PropKind::String;
    else if constexpr (std::is_same_v<T, Variant>) return PropKind::Variant;
    else if constexpr (std::is_same_v<T, TNotifyEvent>) return PropKind::Method;
    else if constexpr (kIsObject<T>) return PropKind::Class;
    else static_assert(sizeof(T) == 0, "a property of this type cannot be published");
}

// Get(const C&) -> T and Set(C&, T) wrapped for one value type T.
template <class C, class T, class Get, class Set>
class Access final : public PropAccess {
public:
    Access(Get get, Set set) : get_(get), set_(set) {}

    std::int64_t GetOrd(const TPersistent& o) const override {
        // A character is its code (0..255), never a negative number.
        if constexpr (std::is_same_v<T, char>) return static_cast<unsigned char>(get_(Self(o)));
        else if constexpr (std::is_integral_v<T> || std::is_enum_v<T>) return static_cast<std::int64_t>(get_(Self(o)));
        else Wrong();
    }
    void SetOrd(TPersistent& o, std::int64_t v) const override {
        if constexpr (std::is_same_v<T, bool>) set_(Self(o), v != 0);
        else if constexpr (std::is_integral_v<T> || std::is_enum_v<T>) set_(Self(o), static_cast<T>(v));
        else Wrong();
    }
    double GetFloat(const TPersistent& o) const override {
        if constexpr (std::is_same_v<T, Currency>) return get_(Self(o)).ToDouble();
        else if constexpr (std::is_floating_point_v<T>) return static_cast<double>(get_(Self(o)));
        else Wrong();
    }
    void SetFloat(TPersistent& o, double v) const override {
        if constexpr (std::is_same_v<T, Currency>) set_(Self(o), Currency::FromDouble(v));
        else if constexpr (std::is_floating_point_v<T>) set_(Self(o), static_cast<T>(v));
        else Wrong();
    }
    std::string GetStr(const TPersistent& o) const override {
        if constexpr (std::is_same_v<T, std::string>) return get_(Self(o));
        else Wrong();
    }
    void SetStr(TPersistent& o, const std::string& v) const override {
        if constexpr (std::is_same_v<T, std::string>) set_(Self(o), v);
        else Wrong();
    }
    Variant GetVariant(const TPersistent& o) const override {
        if constexpr (std::is_same_v<T, Variant>) return get_(Self(o));
        else Wrong();
    }
    void SetVariant(TPersistent& o, const Variant& v) const override {
        if constexpr (std::is_same_v<T, Variant>) set_(Self(o), v);
        else Wrong();
    }
    TPersistent* GetObject(const TPersistent& o) const override {
        if constexpr (std::is_pointer_v<T>) return get_(Self(o));
        else if constexpr (IsUniquePtr<T>::value) return get_(Self(o)).get();
        else Wrong();
    }
    TNotifyEvent GetMethod(const TPersistent& o) const override {
        if constexpr (std::is_same_v<T, TNotifyEvent>) return get_(Self(o));
        else Wrong();
    }
    void SetMethod(TPersistent& o, TNotifyEvent v) const override {
        if constexpr (std::is_same_v<T, TNotifyEvent>) set_(Self(o), v);
        else Wrong();
    }

private:
    static const C& Self(const TPersistent& o) { return static_cast<const C&>(o); }
    static C& Self(TPersistent& o) { return static_cast<C&>(o); }
    Get get_;
    Set set_;
};

template <class C, class T, class Get, class Set>
PropInfo MakeProp(std::string_view name, PropKind kind, ElementNames elements, Get get, Set set) {
    return PropInfo(name, kind, elements, std::make_shared<const Access<C, T, Get, Set>>(get, set));
}

template <class C, class T>
PropInfo MemberProp(std::string_view name, T C::*member, PropKind kind, ElementNames elements) {
    const auto get = [member](const C& c) -> const T& { return c.*member; };
    const auto set = [member](C& c, T v) {
        if constexpr (std::is_copy_assignable_v<T>) c.*member = std::move(v);
    };
    return MakeProp<C, T>(name, kind, elements, get, set);
}

template <class M>
struct MethodClass;
template <class C>
struct MethodClass<void (C::*)(TPersistent*)> {
    using type = C;
};

}  // namespace detail

// A data member; its kind follows from its type (see the top of this file).
template <class C, class T>
PropInfo Published(std::string_view name, T C::*member) {
    static_assert(!std::is_enum_v<T>, "an enumeration names its elements: Published(name, member, names)");
    constexpr PropKind kind = detail::KindOf<T>();
    return detail::MemberProp(name, member, kind,
                              std::is_same_v<T, bool> ? ElementNames(kBooleanNames) : ElementNames());
}

// An enumeration member (a C++ enum or an integer) with its element identifiers.
template <class C, class T>
PropInfo Published(std::string_view name, T C::*member, ElementNames elements) {
    static_assert(std::is_enum_v<T> || std::is_integral_v<T>);
    return detail::MemberProp(name, member, PropKind::Enumeration, elements);
}

// A property read and written through member functions.
template <class C, class G, class S>
PropInfo Published(std::string_view name, G (C::*get)() const, void (C::*set)(S), ElementNames elements = {}) {
    using T = std::remove_cvref_t<G>;
    static_assert(std::is_same_v<T, std::remove_cvref_t<S>>);
    const PropKind kind = detail::KindOf<T>();
    if (std::is_same_v<T, bool>) elements = kBooleanNames;
    const auto g = [get](const C& c) -> T { return (c.*get)(); };
    const auto s = [set](C& c, T v) { (c.*set)(std::move(v)); };
    return detail::MakeProp<C, T>(name, kind, elements, g, s);
}

// A set: a bit mask whose bit i stands for element i (at most 32 elements are held).
template <class C>
PropInfo PublishedSet(std::string_view name, std::uint32_t C::*member, ElementNames elements) {
    return detail::MemberProp(name, member, PropKind::Set, elements);
}

template <auto Method>
PublishedMethod Handler(std::string_view name) {
    using C = typename detail::MethodClass<decltype(Method)>::type;
    return {name, [](TPersistent& self, TPersistent* sender) { (static_cast<C&>(self).*Method)(sender); }};
}

}  // namespace tolver
