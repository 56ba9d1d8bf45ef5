// Number and Boolean: conversion when called, boxing when constructed, and the prototype
// methods that unbox again. A method called on anything that is not its kind returns undefined.
#include <cmath>
#include <limits>

#include "engine/avm1/machine.h"

namespace lumarel::engine::avm1 {

namespace {

// The primitive behind `self` when it is of `type`, either as is or boxed.
const Value* Unbox(const Value& self, Type type, ObjectKind kind) {
    if (self.type == type) return &self;
    if (self.object && self.object->kind == kind && self.object->primitive.type == type) return &self.object->primitive;
    return nullptr;
}

Value Box(const Value& self, ObjectKind kind, Value primitive) {
    if (self.object) {
        self.object->kind = kind;
        self.object->primitive = std::move(primitive);
    }
    return self;
}

void InstallNumber(Machine& m) {
    // The prototype is itself a Number, zero, as the constructor's default.
    m.numberProto->kind = ObjectKind::Number;
    m.numberProto->primitive = Value(0.0);
    Object* number = m.Class(
        "Number",
        [](Machine& mm, const Value&, std::span<const Value> args) {
            return Value(args.empty() ? 0.0 : mm.ToNumber(args[0]));
        },
        [](Machine& mm, const Value& self, std::span<const Value> args) {
            return Box(self, ObjectKind::Number, Value(args.empty() ? 0.0 : mm.ToNumber(args[0])));
        },
        m.numberProto);

    m.Method(m.numberProto, "toString", [](Machine& mm, const Value& self, std::span<const Value> args) {
        const Value* n = Unbox(self, Type::Number, ObjectKind::Number);
        if (!n) return Value();
        int radix = 10;
        if (!Arg(args, 0).IsUndefined()) {
            const double r = mm.ToNumber(args[0]);
            radix = r >= 2 && r <= 36 ? static_cast<int>(r) : 10;
        }
        return Value(NumberToString(n->number, radix));
    });
    m.Method(m.numberProto, "valueOf", [](Machine&, const Value& self, std::span<const Value>) {
        const Value* n = Unbox(self, Type::Number, ObjectKind::Number);
        return n ? *n : Value();
    });

    const uint8_t fixed = kDontEnum | kDontDelete | kReadOnly;
    number->Define("MAX_VALUE", Value(std::numeric_limits<double>::max()), fixed);
    number->Define("MIN_VALUE", Value(std::numeric_limits<double>::denorm_min()), fixed);
    number->Define("NaN", Value(NAN), fixed);
    number->Define("NEGATIVE_INFINITY", Value(-INFINITY), fixed);
    number->Define("POSITIVE_INFINITY", Value(INFINITY), fixed);
}

void InstallBoolean(Machine& m) {
    m.booleanProto->kind = ObjectKind::Boolean;
    m.booleanProto->primitive = Value(false);
    m.Class(
        "Boolean",
        [](Machine& mm, const Value&, std::span<const Value> args) {
            return Value(!args.empty() && mm.ToBoolean(args[0]));
        },
        [](Machine& mm, const Value& self, std::span<const Value> args) {
            return Box(self, ObjectKind::Boolean, Value(!args.empty() && mm.ToBoolean(args[0])));
        },
        m.booleanProto);

    m.Method(m.booleanProto, "toString", [](Machine&, const Value& self, std::span<const Value>) {
        const Value* b = Unbox(self, Type::Boolean, ObjectKind::Boolean);
        if (!b) return Value();
        return Value(b->boolean ? "true" : "false");
    });
    m.Method(m.booleanProto, "valueOf", [](Machine&, const Value& self, std::span<const Value>) {
        const Value* b = Unbox(self, Type::Boolean, ObjectKind::Boolean);
        return b ? *b : Value();
    });
}

}  // namespace

void InstallNumberAndBoolean(Machine& m) {
    InstallNumber(m);
    InstallBoolean(m);
}

}  // namespace lumarel::engine::avm1
