// Script values and every conversion between them. The rules differ by the movie's SWF
// version (4, 5, 6, 7+), so each conversion takes it.
#pragma once

#include <cstdint>
#include <string>

namespace lumarel::engine::avm1 {

class Object;
class Machine;

enum class Type : uint8_t { Undefined, Null, Boolean, Number, String, Object };

struct Value {
    Type type = Type::Undefined;
    bool boolean = false;
    double number = 0;
    std::string string;
    Object* object = nullptr;

    Value() = default;
    Value(double n) : type(Type::Number), number(n) {}
    Value(int n) : type(Type::Number), number(n) {}
    Value(bool b) : type(Type::Boolean), boolean(b) {}
    Value(std::string s) : type(Type::String), string(std::move(s)) {}
    Value(const char* s) : type(Type::String), string(s) {}
    Value(Object* o) : type(o ? Type::Object : Type::Null), object(o) {}
    static Value Null() {
        Value v;
        v.type = Type::Null;
        return v;
    }

    bool IsUndefined() const { return type == Type::Undefined; }
    bool IsNullish() const { return type == Type::Undefined || type == Type::Null; }
    bool IsObject() const { return type == Type::Object; }
};

// Numbers as the player prints them: 15 significant digits, exponent forms such as 1e+21 and
// 1e-7, NaN, Infinity, -Infinity; -0 prints as 0.
std::string NumberToString(double n);
// Radix conversion for Number.toString(radix), 2..36, integers only (others print in base 10).
std::string NumberToString(double n, int radix);
// Text to number: leading and trailing whitespace allowed, "0x" hex, decimal with exponent.
// Anything else, and the empty string, is NaN.
double StringToNumber(const std::string& s, int version);

// ECMAScript's ToInt32 / ToUint32 (wrap-around modulo 2^32).
int32_t ToInt32(double n);
uint32_t ToUint32(double n);
// Integer part toward zero, NaN as 0 (the int() function and ToInteger).
double ToInteger(double n);

// Conversions that need no method calls; objects are handled by Machine (valueOf, toString).
bool ToBoolean(const Value& v, int version);
const char* TypeOfName(const Value& v);  // the typeof operator, movie clips excepted

}  // namespace lumarel::engine::avm1
