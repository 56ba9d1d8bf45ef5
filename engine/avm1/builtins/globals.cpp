// Functions and values that live directly on _global: number parsing, URL escaping, timers,
// property attributes and the clock.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/avm1/builtins/shared.h"
#include "engine/avm1/utf8.h"

namespace lumarel::engine::avm1 {

namespace {

// The value of c as a digit of any radix up to 36, or 99 when it is none.
int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

// parseInt: leading whitespace and a sign, then as many digits of the radix as there are.
// Without a radix, "0x" means hexadecimal and a leading 0 means octal when every digit that
// follows it is an octal digit; otherwise the text is decimal.
double ParseInt(const std::string& s, double radixArg) {
    size_t i = 0;
    while (i < s.size() && IsSpace(s[i])) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    int radix = ToInt32(radixArg);
    const bool hexPrefix = i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X');
    if (radix == 0) {
        radix = 10;
        if (hexPrefix) {
            radix = 16;
        } else if (i + 1 < s.size() && s[i] == '0') {
            size_t j = i + 1;
            while (j < s.size() && s[j] >= '0' && s[j] <= '7') ++j;
            if (j == s.size() || s[j] < '0' || s[j] > '9') radix = 8;
        }
    } else if (radix < 2 || radix > 36) {
        return NAN;
    }
    if (radix == 16 && hexPrefix) i += 2;
    double v = 0;
    size_t digits = 0;
    for (; i < s.size(); ++i, ++digits) {
        const int d = DigitValue(s[i]);
        if (d >= radix) break;
        v = v * radix + d;
    }
    if (digits == 0) return NAN;
    return negative ? -v : v;
}

// parseFloat: the longest prefix, after whitespace, that reads as a decimal number.
double ParseFloat(const std::string& s) {
    size_t b = 0;
    while (b < s.size() && IsSpace(s[b])) ++b;
    size_t i = b;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (s.compare(i, 8, "Infinity") == 0) return s[b] == '-' ? -INFINITY : INFINITY;
    size_t mantissa = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++mantissa;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++mantissa;
    }
    if (mantissa == 0) return NAN;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        const size_t expStart = j;
        while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j;
        if (j > expStart) i = j;  // "1e" and "1e+" stop before the e
    }
    return std::strtod(s.substr(b, i - b).c_str(), nullptr);
}

int HexValue(char c) {
    const int d = DigitValue(c);
    return d < 16 ? d : -1;
}

void AppendUtf8(std::string& out, unsigned cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

// escape: letters and digits stay, every other byte (each byte of a multibyte character
// included) becomes %XX.
std::string Escape(const std::string& s) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(s.size());
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

// unescape: %XX becomes that byte and %uXXXX that character; a % that starts neither stays.
std::string Unescape(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%') {
            if (i + 5 < s.size() && (s[i + 1] == 'u' || s[i + 1] == 'U')) {
                int cp = 0;
                bool ok = true;
                for (size_t k = i + 2; k < i + 6 && ok; ++k) {
                    const int d = HexValue(s[k]);
                    ok = d >= 0;
                    cp = cp * 16 + d;
                }
                if (ok) {
                    AppendUtf8(out, static_cast<unsigned>(cp));
                    i += 5;
                    continue;
                }
            }
            if (i + 2 < s.size() && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0) {
                out += static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2]));
                i += 2;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

namespace {

// setInterval / setTimeout, either form: (fn, ms, args...) or (obj, "method", ms, args...).
// Anything else starts no timer and returns undefined.
Value StartTimer(Machine& m, std::span<const Value> args, bool repeat) {
    Machine::Timer t;
    size_t next;
    const Value& first = Arg(args, 0);
    if (first.object && first.object->IsFunction()) {
        t.fn = first;
        next = 1;
    } else if (first.object && Arg(args, 1).type == Type::String) {
        t.fn = first;
        t.method = args[1].string;
        next = 2;
        if (t.method.empty()) return Value();
    } else {
        return Value();
    }
    if (args.size() <= next) return Value();
    const double ms = m.ToNumber(args[next]);
    t.interval = std::isnan(ms) || ms < 0 ? 0 : ms;
    t.args.assign(args.begin() + static_cast<std::ptrdiff_t>(next) + 1, args.end());
    t.repeat = repeat;
    t.due = m.HostRef().Milliseconds() + t.interval;
    const int id = m.nextTimerId++;
    t.id = id;
    m.timers.push_back(std::move(t));
    return Value(id);
}

Value StopTimer(Machine& m, std::span<const Value> args) {
    const double id = m.ToNumber(Arg(args, 0));
    std::erase_if(m.timers, [id](const Machine::Timer& t) { return t.id == id; });
    return Value();
}

// The property names ASSetPropFlags applies to: an array's elements, a comma-separated list,
// or (null) every own property of the target.
std::vector<std::string> FlagNames(Machine& m, Object* target, const Value& names) {
    std::vector<std::string> out;
    if (names.IsNullish()) {
        for (const Property& p : target->Properties()) out.push_back(p.name);
    } else if (names.object && names.object->kind == ObjectKind::Array) {
        // Only the elements that exist: a length of four billion must not mean four billion reads.
        std::vector<uint32_t> indices;
        for (const Property& p : names.object->Properties()) {
            uint32_t i;
            if (ArrayIndex(p.name, i) && i < names.object->length) indices.push_back(i);
        }
        std::sort(indices.begin(), indices.end());
        for (uint32_t i : indices) out.push_back(m.ToString(m.ArrayGet(names.object, i)));
    } else {
        const std::string list = m.ToString(names);
        size_t start = 0;
        while (start <= list.size()) {
            const size_t comma = std::min(list.find(',', start), list.size());
            out.push_back(list.substr(start, comma - start));
            start = comma + 1;
        }
    }
    return out;
}

}  // namespace

void InstallGlobals(Machine& m) {
    Object* g = m.global;
    m.Method(g, "parseInt", [](Machine& mm, const Value&, std::span<const Value> args) {
        const std::string s = mm.ToString(Arg(args, 0));
        return Value(ParseInt(s, args.size() > 1 ? mm.ToNumber(args[1]) : 0));
    });
    m.Method(g, "parseFloat", [](Machine& mm, const Value&, std::span<const Value> args) {
        return Value(ParseFloat(mm.ToString(Arg(args, 0))));
    });
    m.Method(g, "isNaN", [](Machine& mm, const Value&, std::span<const Value> args) {
        return Value(std::isnan(mm.ToNumber(Arg(args, 0))));
    });
    m.Method(g, "isFinite", [](Machine& mm, const Value&, std::span<const Value> args) {
        return Value(std::isfinite(mm.ToNumber(Arg(args, 0))));
    });
    m.Method(g, "escape", [](Machine& mm, const Value&, std::span<const Value> args) {
        return Value(Escape(mm.ToString(Arg(args, 0))));
    });
    m.Method(g, "unescape", [](Machine& mm, const Value&, std::span<const Value> args) {
        return Value(Unescape(mm.ToString(Arg(args, 0))));
    });

    // Intervals came with version 6 movies.
    m.Method(
        g, "setInterval",
        [](Machine& mm, const Value&, std::span<const Value> args) { return StartTimer(mm, args, true); },
        kDontEnum | kSince6);
    m.Method(g, "setTimeout",
             [](Machine& mm, const Value&, std::span<const Value> args) { return StartTimer(mm, args, false); });
    m.Method(
        g, "clearInterval", [](Machine& mm, const Value&, std::span<const Value> args) { return StopTimer(mm, args); },
        kDontEnum | kSince6);
    m.Method(g, "clearTimeout",
             [](Machine& mm, const Value&, std::span<const Value> args) { return StopTimer(mm, args); });

    // ASSetPropFlags(obj, names, set, clear): clears the `clear` attributes, then sets `set`.
    m.Method(g, "ASSetPropFlags", [](Machine& mm, const Value&, std::span<const Value> args) {
        Object* target = Arg(args, 0).object;
        if (!target) return Value();
        constexpr uint32_t kKnown = kDontEnum | kDontDelete | kReadOnly;
        const uint32_t set = ToUint32(mm.ToNumber(Arg(args, 2))) & kKnown;
        const uint32_t clear = ToUint32(mm.ToNumber(Arg(args, 3))) & kKnown;
        for (const std::string& name : FlagNames(mm, target, Arg(args, 1))) {
            if (Property* p = target->FindAny(name)) p->flags = static_cast<uint16_t>((p->flags & ~clear) | set);
        }
        return Value();
    });

    m.Method(g, "getTimer", [](Machine& mm, const Value&, std::span<const Value>) {
        return Value(std::floor(mm.HostRef().Milliseconds()));
    });

    g->Define("NaN", Value(NAN), kDontEnum);
    g->Define("Infinity", Value(INFINITY), kDontEnum);
}

}  // namespace lumarel::engine::avm1
