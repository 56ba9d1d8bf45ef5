#include "engine/avm1/object.h"

#include <algorithm>

namespace lumarel::engine::avm1 {

namespace {
constexpr int kMaxProtoChain = 256;  // a hostile cycle of __proto__ links ends here
}

std::string Object::Key(const std::string& name) const {
    if (!caseless_) return name;
    std::string k = name;
    for (char& c : k)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return k;
}

Property* Object::FindAny(const std::string& name) {
    auto it = index_.find(Key(name));
    return it == index_.end() ? nullptr : &props_[it->second];
}

Property* Object::Find(const std::string& name) {
    Property* p = FindAny(name);
    return p && Visible(*p) ? p : nullptr;
}

const Property* Object::Find(const std::string& name) const {
    auto it = index_.find(Key(name));
    return it == index_.end() || !Visible(props_[it->second]) ? nullptr : &props_[it->second];
}

Property* Object::Lookup(const std::string& name) {
    Object* o = this;
    for (int i = 0; o && i < kMaxProtoChain; ++i, o = o->proto)
        if (Property* p = o->Find(name)) return p;
    return nullptr;
}

void Object::Define(const std::string& name, Value v, uint16_t flags) {
    if (Property* p = FindAny(name)) {
        p->value = std::move(v);
        p->flags = flags;
        p->getter = p->setter = nullptr;
        return;
    }
    index_.emplace(Key(name), static_cast<uint32_t>(props_.size()));
    props_.push_back(Property{name, std::move(v), flags, nullptr, nullptr});
}

bool Object::Delete(const std::string& name) {
    auto it = index_.find(Key(name));
    if (it == index_.end() || (props_[it->second].flags & kDontDelete) || !Visible(props_[it->second])) return false;
    const uint32_t at = it->second;
    index_.erase(it);
    props_.erase(props_.begin() + at);
    for (uint32_t i = at; i < props_.size(); ++i) index_[Key(props_[i].name)] = i;  // the later ones move up
    return true;
}

std::vector<std::string> Object::Keys() const {
    std::vector<std::string> out;
    for (auto it = props_.rbegin(); it != props_.rend(); ++it)
        if (!(it->flags & kDontEnum) && Visible(*it)) out.push_back(it->name);
    return out;
}

bool ArrayIndex(const std::string& name, uint32_t& index) {
    if (name.empty() || name.size() > 10 || (name.size() > 1 && name[0] == '0')) return false;
    uint64_t v = 0;
    for (char c : name) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v >= 0xFFFFFFFFu) return false;
    index = static_cast<uint32_t>(v);
    return true;
}

}  // namespace lumarel::engine::avm1
