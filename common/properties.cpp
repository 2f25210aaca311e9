#include "common/properties.h"

#include "platform/base/textcase.h"

namespace tolver {

MethodTable::MethodTable(const MethodTable& base, std::initializer_list<PublishedMethod> own) : methods_(base.methods_) {
    methods_.insert(methods_.end(), own.begin(), own.end());
}

const PublishedMethod* MethodTable::Find(std::string_view name) const {
    // A descendant's method hides an inherited one of the same name.
    for (auto it = methods_.rbegin(); it != methods_.rend(); ++it)
        if (SameText(it->name, name)) return &*it;
    return nullptr;
}

std::string_view PropInfo::GetEnumText(const TPersistent& obj) const {
    const std::int64_t ord = GetOrd(obj);
    if (ord < 0 || static_cast<std::size_t>(ord) >= elements_.size())
        throw Exception("The property " + std::string(name_) + " holds no element of its enumeration");
    return elements_[static_cast<std::size_t>(ord)];
}

void PropInfo::SetEnumText(TPersistent& obj, std::string_view text) const {
    for (std::size_t i = 0; i < elements_.size(); ++i)
        if (SameText(elements_[i], text)) return SetOrd(obj, static_cast<std::int64_t>(i));
    throw EVariantError("'" + std::string(text) + "' is no value of the property " + std::string(name_));
}

PropertyTable::PropertyTable(const PropertyTable& base, std::initializer_list<PropInfo> own) : props_(base.props_) {
    props_.insert(props_.end(), own.begin(), own.end());
}

PropertyTable::PropertyTable(const PropertyTable& base, const std::vector<PropInfo>& own) : props_(base.props_) {
    props_.insert(props_.end(), own.begin(), own.end());
}

const PropInfo* PropertyTable::Find(std::string_view name) const {
    for (const auto& p : props_)
        if (SameText(p.Name(), name)) return &p;
    return nullptr;
}

void TPersistent::Assign(const TPersistent& source) { source.AssignTo(*this); }

void TPersistent::AssignTo(TPersistent&) const { throw Exception("Cannot assign these objects to each other"); }

const PropertyTable& TPersistent::Properties() const {
    static const PropertyTable none;
    return none;
}

const MethodTable& TPersistent::Methods() const {
    static const MethodTable none;
    return none;
}

}  // namespace tolver
