// The String class. Strings are UTF-8 inside the machine, but scripts count characters: every
// index here is a code point index. Bytes that do not form a valid sequence count as one
// character each, whose code is the byte's value, so no index ever lands inside a sequence.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "engine/avm1/machine.h"
#include "engine/avm1/utf8.h"

namespace lumarel::engine::avm1 {

namespace {

using Chars = Utf8Chars;

// Case mapping for ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic.
uint32_t UpperCase(uint32_t c) {
    if (c < 0x80) return c >= 'a' && c <= 'z' ? c - 0x20 : c;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
    if (c == 0xFF) return 0x178;
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c & ~1u;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c : c - 1;
    if (c == 0x3C2) return 0x3A3;
    if (c >= 0x3B1 && c <= 0x3C9) return c - 0x20;
    if (c >= 0x430 && c <= 0x44F) return c - 0x20;
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    return c;
}

uint32_t LowerCase(uint32_t c) {
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 0x20 : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
    if (c == 0x178) return 0xFF;
    if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) return c | 1u;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c + 1 : c;
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 0x20;
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    return c;
}

// Maps every valid sequence; invalid bytes pass through unchanged.
std::string MapCase(const std::string& s, uint32_t (*map)(uint32_t)) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        const size_t n = Utf8SequenceLength(s, i);
        const auto c = static_cast<unsigned char>(s[i]);
        if (n == 1 && c >= 0x80) {
            out += s[i];
        } else {
            Utf8Append(map(Utf8DecodeAt(s, i, n)), out);
        }
        i += n;
    }
    return out;
}

// The text of a String method's `this`: a primitive string, a boxed String, or anything else
// converted.
std::string Text(Machine& m, const Value& self) {
    if (self.type == Type::String) return self.string;
    if (self.object && self.object->kind == ObjectKind::String && self.object->primitive.type == Type::String)
        return self.object->primitive.string;
    return m.ToString(self);
}

// An integer argument, `fallback` when absent.
double IntArg(Machine& m, std::span<const Value> args, size_t i, double fallback) {
    const Value& v = Arg(args, i);
    return v.IsUndefined() ? fallback : ToInteger(m.ToNumber(v));
}

size_t Clamp(double n, size_t count) { return static_cast<size_t>(std::clamp(n, 0.0, double(count))); }

Value CharAt(Machine& m, const Value& self, std::span<const Value> args) {
    const std::string s = Text(m, self);
    const Chars chars(s);
    const double i = IntArg(m, args, 0, 0);
    if (i < 0 || i >= double(chars.Count())) return Value("");
    const auto k = static_cast<size_t>(i);
    return Value(chars.Sub(k, k + 1));
}

Value CharCodeAt(Machine& m, const Value& self, std::span<const Value> args) {
    const std::string s = Text(m, self);
    const Chars chars(s);
    const double i = IntArg(m, args, 0, 0);
    if (i < 0 || i >= double(chars.Count())) return Value(std::nan(""));
    return Value(double(chars.Code(static_cast<size_t>(i))));
}

Value IndexOf(Machine& m, const Value& self, std::span<const Value> args) {
    const std::string s = Text(m, self);
    const std::string needle = m.ToString(Arg(args, 0));
    const Chars chars(s);
    size_t pos = chars.Byte(Clamp(IntArg(m, args, 1, 0), chars.Count()));
    for (; (pos = s.find(needle, pos)) != std::string::npos; ++pos)
        if (chars.Aligned(pos, needle.size())) return Value(double(chars.IndexAt(pos)));
    return Value(-1);
}

Value LastIndexOf(Machine& m, const Value& self, std::span<const Value> args) {
    const std::string s = Text(m, self);
    const std::string needle = m.ToString(Arg(args, 0));
    const Chars chars(s);
    const Value& from = Arg(args, 1);
    const double start = from.IsUndefined() ? double(chars.Count()) : m.ToNumber(from);
    // A NaN start searches from the end.
    size_t pos = chars.Byte(std::isnan(start) ? chars.Count() : Clamp(ToInteger(start), chars.Count()));
    for (;;) {
        pos = s.rfind(needle, pos);
        if (pos == std::string::npos) return Value(-1);
        if (chars.Aligned(pos, needle.size())) return Value(double(chars.IndexAt(pos)));
        if (pos == 0) return Value(-1);
        --pos;
    }
}

// slice: negative positions count from the end; nothing when start is not before end.
Value Slice(Machine& m, const Value& self, std::span<const Value> args) {
    const std::string s = Text(m, self);
    const Chars chars(s);
    const double n = double(chars.Count());
    auto relative = [&](double i) { return Clamp(i < 0 ? n + i : i, chars.Count()); };
    return Value(chars.Sub(relative(IntArg(m, args, 0, 0)), relative(IntArg(m, args, 1, n))));
}

// substr(start, length): a negative start counts from the end.
Value Substr(Machine& m, const Value& self, std::span<const Value> args) {
    const std::string s = Text(m, self);
    const Chars chars(s);
    const double n = double(chars.Count());
    double start = IntArg(m, args, 0, 0);
    if (start < 0) start += n;
    const size_t from = Clamp(start, chars.Count());
    const size_t length = Clamp(IntArg(m, args, 1, n), chars.Count() - from);
    return Value(chars.Sub(from, from + length));
}

// substring(start, end): negative positions are 0, and the two are swapped when start > end.
Value Substring(Machine& m, const Value& self, std::span<const Value> args) {
    const std::string s = Text(m, self);
    const Chars chars(s);
    size_t from = Clamp(IntArg(m, args, 0, 0), chars.Count());
    size_t to = Clamp(IntArg(m, args, 1, double(chars.Count())), chars.Count());
    if (from > to) std::swap(from, to);
    return Value(chars.Sub(from, to));
}

// split(separator, limit): without a separator the whole string is the only element; an empty
// separator splits into characters; at most `limit` elements.
Value Split(Machine& m, const Value& self, std::span<const Value> args) {
    const std::string s = Text(m, self);
    const Value& limitArg = Arg(args, 1);
    const uint32_t limit = limitArg.IsUndefined() ? 4294967295u : ToUint32(m.ToNumber(limitArg));
    Object* out = m.NewArray();
    if (limit == 0) return Value(out);
    const Value& sepArg = Arg(args, 0);
    if (sepArg.IsUndefined()) {
        m.ArrayPush(out, Value(s));
        return Value(out);
    }
    const std::string sep = m.ToString(sepArg);
    const Chars chars(s);
    if (sep.empty()) {
        for (size_t i = 0; i < chars.Count() && out->length < limit; ++i) {
            m.CountAction();
            m.ArrayPush(out, Value(chars.Sub(i, i + 1)));
        }
        return Value(out);
    }
    size_t begin = 0;
    for (size_t pos = 0; out->length < limit;) {
        pos = s.find(sep, pos);
        if (pos == std::string::npos) {
            m.ArrayPush(out, Value(s.substr(begin)));
            break;
        }
        if (!chars.Aligned(pos, sep.size())) {
            ++pos;
            continue;
        }
        m.CountAction();
        m.ArrayPush(out, Value(s.substr(begin, pos - begin)));
        pos += sep.size();
        begin = pos;
    }
    return Value(out);
}

Value FromCharCode(Machine& m, std::span<const Value> args) {
    std::string out;
    for (size_t i = 0; i < args.size(); ++i) {
        uint32_t c = ToUint32(m.ToNumber(args[i])) & 0xFFFF;
        // A high surrogate followed by a low one is one character.
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < args.size()) {
            const uint32_t low = ToUint32(m.ToNumber(args[i + 1])) & 0xFFFF;
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        Utf8Append(c, out);
    }
    return Value(out);
}

// toString / valueOf: the primitive of a String; undefined for other objects, which would
// otherwise convert themselves through this very method.
Value PrimitiveOf(Machine& m, const Value& self) {
    if (self.type == Type::String) return self;
    if (self.object) {
        if (self.object->kind == ObjectKind::String) return Value(m.ToString(self.object->primitive));
        return Value();
    }
    return Value(m.ToString(self));
}

Object* NativeFunction(Machine& m, NativeFn fn) {
    Object* f = m.NewObject(m.functionProto);
    f->kind = ObjectKind::Function;
    f->native = std::move(fn);
    return f;
}

}  // namespace

std::string LowerCaseText(const std::string& s) { return MapCase(s, LowerCase); }

void InstallString(Machine& m) {
    Object* ctor = m.Class(
        "String",
        [](Machine& mm, const Value&, std::span<const Value> args) {
            return Value(args.empty() ? std::string() : mm.ToString(args[0]));
        },
        [](Machine& mm, const Value& self, std::span<const Value> args) {
            if (!self.object) return Value();
            self.object->kind = ObjectKind::String;
            self.object->primitive = Value(args.empty() ? std::string() : mm.ToString(args[0]));
            return self;
        },
        m.stringProto);
    m.Method(ctor, "fromCharCode",
             [](Machine& mm, const Value&, std::span<const Value> args) { return FromCharCode(mm, args); });

    Object* p = m.stringProto;
    // Boxed strings count characters through a getter; plain strings are measured by the machine.
    p->Define("length", Value(), kDontEnum | kDontDelete);
    Property* length = p->Find("length");
    length->getter = NativeFunction(m, [](Machine&, const Value& self, std::span<const Value>) {
        if (!self.object || self.object->kind != ObjectKind::String) return Value();
        const Value& primitive = self.object->primitive;
        return primitive.type == Type::String ? Value(double(Chars(primitive.string).Count())) : Value(0);
    });
    length->setter = NativeFunction(m, [](Machine&, const Value&, std::span<const Value>) { return Value(); });

    m.Method(p, "toString",
             [](Machine& mm, const Value& self, std::span<const Value>) { return PrimitiveOf(mm, self); });
    m.Method(p, "valueOf",
             [](Machine& mm, const Value& self, std::span<const Value>) { return PrimitiveOf(mm, self); });
    m.Method(p, "charAt", CharAt);
    m.Method(p, "charCodeAt", CharCodeAt);
    m.Method(p, "concat", [](Machine& mm, const Value& self, std::span<const Value> args) {
        std::string s = Text(mm, self);
        for (const Value& v : args) s += mm.ToString(v);
        return Value(s);
    });
    m.Method(p, "indexOf", IndexOf);
    m.Method(p, "lastIndexOf", LastIndexOf);
    m.Method(p, "slice", Slice);
    m.Method(p, "substr", Substr);
    m.Method(p, "substring", Substring);
    m.Method(p, "split", Split);
    m.Method(p, "toLowerCase", [](Machine& mm, const Value& self, std::span<const Value>) {
        return Value(MapCase(Text(mm, self), LowerCase));
    });
    m.Method(p, "toUpperCase", [](Machine& mm, const Value& self, std::span<const Value>) {
        return Value(MapCase(Text(mm, self), UpperCase));
    });
}

}  // namespace lumarel::engine::avm1
