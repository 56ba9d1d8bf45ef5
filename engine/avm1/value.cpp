#include "engine/avm1/value.h"

#include "engine/avm1/utf8.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace lumarel::engine::avm1 {

std::string NumberToString(double n) {
    if (std::isnan(n)) return "NaN";
    if (std::isinf(n)) return n > 0 ? "Infinity" : "-Infinity";
    if (n == 0) return "0";
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", n);
    // %g writes exponents as e+05 / e-07; the player writes e+5 / e-7.
    std::string s = buf;
    const size_t e = s.find('e');
    if (e != std::string::npos) {
        size_t digits = e + 2;
        while (digits + 1 < s.size() && s[digits] == '0') s.erase(digits, 1);
    }
    return s;
}

std::string NumberToString(double n, int radix) {
    if (radix == 10 || radix < 2 || radix > 36 || !std::isfinite(n)) return NumberToString(n);
    const bool negative = n < 0;
    double v = std::fabs(std::trunc(n));
    if (v > 9007199254740992.0) return NumberToString(n);
    std::string digits;
    do {
        const int d = static_cast<int>(std::fmod(v, radix));
        digits.insert(digits.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[d]);
        v = std::floor(v / radix);
    } while (v > 0);
    return negative ? "-" + digits : digits;
}

namespace {}  // namespace

double StringToNumber(const std::string& s, int version) {
    size_t b = 0, e = s.size();
    while (b < e && IsSpace(s[b])) ++b;
    while (e > b && IsSpace(s[e - 1])) --e;
    if (b == e) return NAN;
    const std::string t = s.substr(b, e - b);
    if (version >= 6 && t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        double v = 0;
        for (size_t i = 2; i < t.size(); ++i) {
            const char c = t[i];
            int d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            else
                return NAN;
            v = v * 16 + d;
        }
        return v;
    }
    // Decimal: [sign] digits [. digits] [e [sign] digits], or Infinity.
    size_t i = 0;
    if (t[i] == '+' || t[i] == '-') ++i;
    if (t.compare(i, std::string::npos, "Infinity") == 0) return t[0] == '-' ? -INFINITY : INFINITY;
    size_t mantissa = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++mantissa;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++mantissa;
    }
    if (mantissa == 0) return NAN;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        size_t j = i + 1;
        if (j < t.size() && (t[j] == '+' || t[j] == '-')) ++j;
        size_t exp = 0;
        while (j < t.size() && t[j] >= '0' && t[j] <= '9') ++j, ++exp;
        if (exp == 0) return NAN;
        i = j;
    }
    if (i != t.size()) return NAN;
    return std::strtod(t.c_str(), nullptr);
}

uint32_t ToUint32(double n) {
    if (!std::isfinite(n)) return 0;
    double m = std::fmod(std::trunc(n), 4294967296.0);
    if (m < 0) m += 4294967296.0;
    return static_cast<uint32_t>(m);
}

int32_t ToInt32(double n) { return static_cast<int32_t>(ToUint32(n)); }

double ToInteger(double n) {
    if (std::isnan(n)) return 0;
    return std::trunc(n);
}

bool ToBoolean(const Value& v, int version) {
    switch (v.type) {
        case Type::Undefined:
        case Type::Null:
            return false;
        case Type::Boolean:
            return v.boolean;
        case Type::Number:
            return v.number != 0 && !std::isnan(v.number);
        case Type::String:
            if (version >= 7) return !v.string.empty();
            {
                const double n = StringToNumber(v.string, version);
                return n != 0 && !std::isnan(n);
            }
        case Type::Object:
            return true;
    }
    return false;
}

const char* TypeOfName(const Value& v) {
    switch (v.type) {
        case Type::Undefined:
            return "undefined";
        case Type::Null:
            return "null";
        case Type::Boolean:
            return "boolean";
        case Type::Number:
            return "number";
        case Type::String:
            return "string";
        case Type::Object:
            return "object";
    }
    return "undefined";
}

}  // namespace lumarel::engine::avm1
