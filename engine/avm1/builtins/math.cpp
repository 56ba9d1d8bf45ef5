// The Math object: the numeric functions and constants, each argument converted with ToNumber.
#include <cmath>

#include "engine/avm1/machine.h"

namespace lumarel::engine::avm1 {

namespace {

// Math.max / Math.min: any NaN wins; +0 counts as larger than -0.
Value Extreme(Machine& m, std::span<const Value> args, bool wantMax) {
    double best = wantMax ? -INFINITY : INFINITY;
    bool sawNaN = false;
    for (const Value& a : args) {
        const double x = m.ToNumber(a);
        if (std::isnan(x)) {
            sawNaN = true;
            continue;
        }
        const bool better = wantMax ? (x > best || (x == 0 && best == 0 && !std::signbit(x)))
                                    : (x < best || (x == 0 && best == 0 && std::signbit(x)));
        if (better) best = x;
    }
    return Value(sawNaN ? NAN : best);
}

// pow as the script language defines it where C's pow differs: a NaN exponent is always NaN,
// and so is +-1 raised to an infinite power.
double Pow(double x, double y) {
    if (std::isnan(y)) return NAN;
    if (std::isinf(y) && std::fabs(x) == 1) return NAN;
    return std::pow(x, y);
}

}  // namespace

void InstallMath(Machine& m) {
    Object* math = m.NewObject();
    m.global->Define("Math", Value(math), kDontEnum);

    using Unary = double (*)(double);
    const std::pair<const char*, Unary> unary[] = {
        {"abs", [](double x) { return std::fabs(x); }},  {"acos", [](double x) { return std::acos(x); }},
        {"asin", [](double x) { return std::asin(x); }}, {"atan", [](double x) { return std::atan(x); }},
        {"ceil", [](double x) { return std::ceil(x); }}, {"cos", [](double x) { return std::cos(x); }},
        {"exp", [](double x) { return std::exp(x); }},   {"floor", [](double x) { return std::floor(x); }},
        {"log", [](double x) { return std::log(x); }},   {"round", [](double x) { return std::floor(x + 0.5); }},
        {"sin", [](double x) { return std::sin(x); }},   {"sqrt", [](double x) { return std::sqrt(x); }},
        {"tan", [](double x) { return std::tan(x); }},
    };
    for (const auto& entry : unary) {
        const auto fn = entry.second;  // a copy: lambdas cannot capture structured bindings everywhere
        m.Method(math, entry.first, [fn](Machine& mm, const Value&, std::span<const Value> args) {
            return Value(fn(mm.ToNumber(Arg(args, 0))));
        });
    }
    m.Method(math, "atan2", [](Machine& mm, const Value&, std::span<const Value> args) {
        const double y = mm.ToNumber(Arg(args, 0));
        return Value(std::atan2(y, mm.ToNumber(Arg(args, 1))));
    });
    m.Method(math, "pow", [](Machine& mm, const Value&, std::span<const Value> args) {
        const double x = mm.ToNumber(Arg(args, 0));
        return Value(Pow(x, mm.ToNumber(Arg(args, 1))));
    });
    m.Method(math, "max",
             [](Machine& mm, const Value&, std::span<const Value> args) { return Extreme(mm, args, true); });
    m.Method(math, "min",
             [](Machine& mm, const Value&, std::span<const Value> args) { return Extreme(mm, args, false); });
    // 32 random bits over 2^32: every value below 1, 0 included.
    m.Method(math, "random", [](Machine& mm, const Value&, std::span<const Value>) {
        return Value(mm.HostRef().Random() / 4294967296.0);
    });

    const std::pair<const char*, double> constants[] = {
        {"E", 2.718281828459045},        {"LN10", 2.302585092994046},   {"LN2", 0.6931471805599453},
        {"LOG10E", 0.4342944819032518},  {"LOG2E", 1.4426950408889634}, {"PI", 3.141592653589793},
        {"SQRT1_2", 0.7071067811865476}, {"SQRT2", 1.4142135623730951},
    };
    for (const auto& [name, value] : constants) math->Define(name, Value(value), kDontEnum | kDontDelete | kReadOnly);
}

}  // namespace lumarel::engine::avm1
