// AMF0 as SharedObject stores its data. Numbers are big-endian IEEE doubles, lengths big-endian
// unsigned; strings are UTF-8 with a 16-bit length (32 bits for long strings and XML). Objects,
// typed objects, ECMA arrays and strict arrays are numbered from 0 in the order they begin, and a
// reference marker names one by that number. Dates and XML are written in full every time.
#include "engine/avm1/builtins/amf0.h"

#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>

#include "engine/avm1/machine.h"

namespace lumarel::engine::avm1::amf0 {

namespace {

enum Marker : uint8_t {
    kNumber = 0x00,
    kBoolean = 0x01,
    kString = 0x02,
    kObject = 0x03,
    kNull = 0x05,
    kUndefined = 0x06,
    kReference = 0x07,
    kEcmaArray = 0x08,
    kObjectEnd = 0x09,
    kStrictArray = 0x0A,
    kDate = 0x0B,
    kLongString = 0x0C,
    kUnsupported = 0x0D,
    kXml = 0x0F,
    kTypedObject = 0x10,
};

constexpr double kMaxTime = 8.64e15;  // the largest time a Date holds, in ms either side of 1970

// An own property's value as held, when it is a plain value (not a getter/setter pair).
Object* RawObject(Object* o, const char* name) {
    const Property* p = o ? o->Find(name) : nullptr;
    return p && !p->getter && p->value.IsObject() ? p->value.object : nullptr;
}

// The prototype of `_global.XML`, found without running anything.
Object* XmlPrototype(Machine& m) { return RawObject(RawObject(m.global, "XML"), "prototype"); }

// The classes Object.registerClass has linked to names.
Object* RegisteredClasses(Machine& m) { return RawObject(m.global, "__registeredClasses"); }

class Writer {
public:
    Writer(Machine& m, std::vector<uint8_t>& out, size_t maxBytes)
        : m_(m), out_(out), maxBytes_(maxBytes), xmlProto_(XmlPrototype(m)) {
        // Registered names by the prototype their class gives its objects.
        if (Object* table = RegisteredClasses(m))
            for (const Property& p : table->Properties())
                if (Object* proto = p.getter ? nullptr : RawObject(p.value.object, "prototype"))
                    classNames_.emplace(proto, p.name);
    }

    // The top level is always an anonymous object, whatever kind of object `data` is.
    bool Top(Object* data) {
        refs_[data] = 0;
        Byte(kObject);
        return Properties(data, 0);
    }

private:
    void Byte(uint8_t b) { out_.push_back(b); }
    void U16(uint16_t v) {
        Byte(uint8_t(v >> 8));
        Byte(uint8_t(v));
    }
    void U32(uint32_t v) {
        U16(uint16_t(v >> 16));
        U16(uint16_t(v));
    }
    void Double(double d) {
        uint64_t bits;
        std::memcpy(&bits, &d, sizeof bits);
        U32(uint32_t(bits >> 32));
        U32(uint32_t(bits));
    }
    bool Fits(size_t more) const { return out_.size() <= maxBytes_ && more <= maxBytes_ - out_.size(); }
    void Bytes(const std::string& s) { out_.insert(out_.end(), s.begin(), s.end()); }
    bool Utf(const std::string& s) {
        if (s.size() > 0xFFFF || !Fits(2 + s.size())) return false;
        U16(uint16_t(s.size()));
        Bytes(s);
        return true;
    }
    bool Text(const std::string& s) {
        if (s.size() <= 0xFFFF) {
            Byte(kString);
            return Utf(s);
        }
        if (s.size() > 0xFFFFFFFFu || !Fits(5 + s.size())) return false;
        Byte(kLongString);
        U32(uint32_t(s.size()));
        Bytes(s);
        return true;
    }

    // Functions and movie clips are left out, with the name they are stored under.
    static bool Storable(const Value& v) {
        return !v.object || (!v.object->IsFunction() && v.object->kind != ObjectKind::MovieClip);
    }

    bool IsXml(const Object* o) const {
        int guard = 0;
        for (const Object* p = o->proto; xmlProto_ && p && guard < 64; p = p->proto, ++guard)
            if (p == xmlProto_) return true;
        return false;
    }

    // The enumerable own properties, oldest first (so that they enumerate as now once read back),
    // and the end marker.
    bool Properties(Object* o, int depth) {
        const std::vector<std::string> names = o->Keys();
        for (auto it = names.rbegin(); it != names.rend(); ++it) {
            const Property* p = o->Find(*it);
            if (!p || p->getter || p->setter || !Storable(p->value)) continue;
            const Value v = p->value;  // XML's toString may change the table
            if (!Utf(p->name) || !Write(v, depth + 1)) return false;
        }
        U16(0);
        Byte(kObjectEnd);
        return Fits(0);
    }

    bool Write(const Value& v, int depth) {
        if (!Fits(9)) return false;
        switch (v.type) {
            case Type::Undefined:
                Byte(kUndefined);
                return true;
            case Type::Null:
                Byte(kNull);
                return true;
            case Type::Boolean:
                Byte(kBoolean);
                Byte(v.boolean ? 1 : 0);
                return true;
            case Type::Number:
                Byte(kNumber);
                Double(v.number);
                return true;
            case Type::String:
                return Text(v.string);
            case Type::Object:
                break;
        }
        Object* o = v.object;
        switch (o->kind) {
            case ObjectKind::Date:
                Byte(kDate);
                Double(o->primitive.type == Type::Number ? o->primitive.number : NAN);
                U16(0);  // the time zone, which readers ignore
                return true;
            case ObjectKind::Number:
            case ObjectKind::String:
            case ObjectKind::Boolean:
                return o->primitive.IsObject() ? false : Write(o->primitive, depth);
            default:
                break;
        }
        if (auto it = refs_.find(o); it != refs_.end()) {
            Byte(kReference);
            U16(it->second);
            return true;
        }
        if (depth >= kMaxDepth) return false;
        if (IsXml(o)) {
            const std::string text = m_.ToString(m_.CallMethod(Value(o), "toString", {}));
            if (text.size() > 0xFFFFFFFFu || !Fits(5 + text.size())) return false;
            Byte(kXml);
            U32(uint32_t(text.size()));
            Bytes(text);
            return true;
        }
        if (refs_.size() >= kMaxObjects) return false;
        const uint16_t index = uint16_t(refs_.size());
        refs_[o] = index;
        if (o->kind == ObjectKind::Array) {
            Byte(kEcmaArray);
            U32(o->length);
        } else if (auto name = classNames_.find(o->proto); name != classNames_.end()) {
            Byte(kTypedObject);
            if (!Utf(name->second)) return false;
        } else {
            Byte(kObject);
        }
        return Properties(o, depth);
    }

    Machine& m_;
    std::vector<uint8_t>& out_;
    size_t maxBytes_;
    Object* xmlProto_;
    std::unordered_map<const Object*, std::string> classNames_;
    std::unordered_map<const Object*, uint16_t> refs_;
};

class Reader {
public:
    Reader(Machine& m, std::span<const uint8_t> bytes) : m_(m), bytes_(bytes) {}

    Object* Top() {
        Value v;
        if (bytes_.empty() || bytes_[0] != kObject || !Read(v, 0) || pos_ != bytes_.size()) return nullptr;
        return v.object;
    }

private:
    size_t Left() const { return bytes_.size() - pos_; }
    bool U8(uint8_t& v) {
        if (Left() < 1) return false;
        v = bytes_[pos_++];
        return true;
    }
    bool U16(uint16_t& v) {
        if (Left() < 2) return false;
        v = uint16_t(bytes_[pos_] << 8 | bytes_[pos_ + 1]);
        pos_ += 2;
        return true;
    }
    bool U32(uint32_t& v) {
        uint16_t hi, lo;
        if (!U16(hi) || !U16(lo)) return false;
        v = uint32_t(hi) << 16 | lo;
        return true;
    }
    bool Double(double& d) {
        uint32_t hi, lo;
        if (!U32(hi) || !U32(lo)) return false;
        const uint64_t bits = uint64_t(hi) << 32 | lo;
        std::memcpy(&d, &bits, sizeof d);
        return true;
    }
    bool Bytes(size_t n, std::string& s) {
        if (Left() < n) return false;
        s.assign(reinterpret_cast<const char*>(bytes_.data() + pos_), n);
        pos_ += n;
        return true;
    }
    bool Utf(std::string& s) {
        uint16_t n;
        return U16(n) && Bytes(n, s);
    }
    bool LongUtf(std::string& s) {
        uint32_t n;
        return U32(n) && Bytes(n, s);
    }

    // A fresh object that later references may name.
    bool Begin(Object* o) {
        if (refs_.size() >= kMaxObjects) return false;
        refs_.push_back(o);
        return true;
    }

    // Name and value pairs up to the end marker (an empty name before it).
    bool Properties(Object* o, int depth) {
        for (;;) {
            std::string name;
            if (!Utf(name)) return false;
            if (name.empty() && Left() >= 1 && bytes_[pos_] == kObjectEnd) {
                ++pos_;
                return true;
            }
            Value v;
            if (!Read(v, depth + 1)) return false;
            if (o->kind == ObjectKind::Array) {
                if (name == "length") continue;  // held by the array itself
                uint32_t index;
                if (ArrayIndex(name, index) && index >= o->length) o->length = index + 1;
            }
            o->Define(name, std::move(v));
        }
    }

    bool Read(Value& out, int depth) {
        uint8_t marker;
        if (!U8(marker)) return false;
        switch (marker) {
            case kNumber: {
                double d;
                if (!Double(d)) return false;
                out = Value(d);
                return true;
            }
            case kBoolean: {
                uint8_t b;
                if (!U8(b)) return false;
                out = Value(b != 0);
                return true;
            }
            case kString:
            case kLongString: {
                std::string s;
                if (!(marker == kString ? Utf(s) : LongUtf(s))) return false;
                out = Value(std::move(s));
                return true;
            }
            case kNull:
                out = Value::Null();
                return true;
            case kUndefined:
            case kUnsupported:
                out = Value();
                return true;
            case kReference: {
                uint16_t index;
                if (!U16(index) || index >= refs_.size()) return false;
                out = Value(refs_[index]);
                return true;
            }
            case kDate: {
                double t;
                uint16_t zone;
                if (!Double(t) || !U16(zone)) return false;
                Object* d = m_.NewObject(m_.dateProto);
                d->kind = ObjectKind::Date;
                d->primitive = Value(std::isfinite(t) && std::fabs(t) <= kMaxTime ? std::trunc(t) + 0.0 : NAN);
                out = Value(d);
                return true;
            }
            case kXml: {
                std::string text;
                if (!LongUtf(text)) return false;
                Object* xml = RawObject(m_.global, "XML");
                const Value args[] = {Value(std::move(text))};
                out = xml ? m_.Construct(Value(xml), args) : Value(args[0]);
                return true;
            }
            case kObject:
            case kTypedObject:
            case kEcmaArray:
            case kStrictArray:
                break;
            default:
                return false;
        }
        if (depth >= kMaxDepth) return false;
        Object* o;
        if (marker == kObject || marker == kTypedObject) {
            Object* proto = m_.objectProto;
            if (marker == kTypedObject) {
                std::string name;
                if (!Utf(name)) return false;
                Object* table = RegisteredClasses(m_);
                const Property* p = table ? table->Find(name) : nullptr;
                if (Object* classProto = p && !p->getter ? RawObject(p->value.object, "prototype") : nullptr)
                    proto = classProto;
            }
            o = m_.NewObject(proto);
        } else {
            uint32_t count;
            if (!U32(count)) return false;
            // Each element takes at least a byte, so a count past the bytes left is a broken one.
            if (marker == kStrictArray && count > Left()) return false;
            o = m_.NewArray();
            o->length = count;
        }
        if (!Begin(o)) return false;
        out = Value(o);
        if (marker != kStrictArray) return Properties(o, depth);
        for (uint32_t i = 0; i < o->length; ++i) {
            Value v;
            if (!Read(v, depth + 1)) return false;
            o->Define(std::to_string(i), std::move(v));
        }
        return true;
    }

    Machine& m_;
    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
    std::vector<Object*> refs_;
};

}  // namespace

bool Encode(Machine& m, Object* data, std::vector<uint8_t>& out, size_t maxBytes) {
    out.clear();
    bool ok = false;
    try {
        ok = data && Writer(m, out, maxBytes).Top(data);
    } catch (const ScriptAbort&) {
    } catch (const ScriptThrow&) {
    }
    // An object with nothing to store in it (the marker, an empty name, the end) is no record.
    if (!ok || out.size() == 4) out.clear();
    return ok;
}

Object* Decode(Machine& m, std::span<const uint8_t> bytes) {
    try {
        return bytes.empty() ? m.NewObject() : Reader(m, bytes).Top();
    } catch (const ScriptAbort&) {
    } catch (const ScriptThrow&) {
    }
    return nullptr;
}

}  // namespace lumarel::engine::avm1::amf0
