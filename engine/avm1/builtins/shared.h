// Small pieces more than one built-in file uses: getter/setter properties made from native
// functions, and colour transforms held the way clips hold them.
#pragma once

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "engine/avm1/machine.h"

namespace lumarel::engine::avm1 {

// A property on `target` read through `get` and, when given, written through `set` (without a
// setter, assignments are ignored), as addProperty makes them.
inline void Accessor(Machine& m, Object* target, const char* name, NativeFn get, NativeFn set = nullptr,
                     uint16_t flags = kDontEnum) {
    auto fn = [&m](NativeFn f) -> Object* {
        if (!f) return nullptr;
        Object* o = m.NewObject(m.functionProto);
        o->kind = ObjectKind::Function;
        o->native = std::move(f);
        return o;
    };
    target->Define(name, Value(), flags);
    Property* p = target->FindAny(name);
    p->getter = fn(std::move(get));
    p->setter = fn(std::move(set));
}

// A clip keeps its colour transform in 16-bit fields: multipliers in 8.8 fixed point and whole
// offsets, both cut toward zero, so what a script sets reads back rounded that way (a 30 %
// multiplier becomes 76/256). NaN becomes 0.
inline double FixedField(double v, double scale) {
    if (std::isnan(v)) return 0;
    return std::trunc(std::clamp(v * scale, -32768.0, 32767.0)) / scale;
}
inline raster::ColorTransform FixedColor(const raster::ColorTransform& c) {
    return {FixedField(c.rm, 256), FixedField(c.gm, 256), FixedField(c.bm, 256), FixedField(c.am, 256),
            FixedField(c.ra, 1),   FixedField(c.ga, 1),   FixedField(c.ba, 1),   FixedField(c.aa, 1)};
}

// 0xRRGGBB as the three colour offsets (multipliers 0, alpha left alone), and back.
inline void SetRgb(raster::ColorTransform& c, double rgb) {
    const uint32_t v = ToUint32(rgb);
    c.rm = c.gm = c.bm = 0;
    c.ra = v >> 16 & 0xFF;
    c.ga = v >> 8 & 0xFF;
    c.ba = v & 0xFF;
}
inline double Rgb(const raster::ColorTransform& c) {
    return double((ToUint32(c.ra) & 0xFF) << 16 | (ToUint32(c.ga) & 0xFF) << 8 | (ToUint32(c.ba) & 0xFF));
}

// A class whose objects carry native state. `init` sets up `this` both for `new` and for a
// subclass constructor's super(), but only on a plain object that has no state yet.
inline void NativeClass(Machine& m, const std::string& name, NativeFn init, Object* prototype) {
    NativeFn guarded = [init = std::move(init)](Machine& mm, const Value& self, std::span<const Value> args) {
        if (self.object && !self.object->data && self.object->kind == ObjectKind::Plain) init(mm, self, args);
        return Value();
    };
    m.Class(name, guarded, guarded, prototype);
}

// The global escape and unescape, for the built-ins that read and write URL-encoded text.
std::string Escape(const std::string& s);
std::string Unescape(const std::string& s);

// What a loading object (XML, LoadVars) keeps of its load: which load is the latest (an older
// one that arrives later is dropped), the byte counts once known, and its request headers.
struct LoadState : ObjectData {
    unsigned generation = 0;
    Value bytesLoaded, bytesTotal;     // undefined before the first load, then numbers
    std::vector<std::string> headers;  // name, value, name, value, ...
};
inline LoadState* LoadStateOf(const Value& self) {
    return self.object ? dynamic_cast<LoadState*>(self.object->data.get()) : nullptr;
}
// Starts loading `url` (a local file) for `o`, which holds a LoadState: on a later frame its
// onData runs with the file's text, or with undefined when it cannot be read. `loaded` (not
// enumerated) becomes false now.
void StartLoad(Machine& m, Object* o, const std::string& url);
// What a loading class's prototype has: load, sendAndLoad, send, getBytesLoaded, getBytesTotal,
// addRequestHeader, contentType, an empty onLoad and the default onData, which hands the text
// to `parseMethod` and then calls onLoad(true), or onLoad(false) when nothing came.
void LoadMethods(Machine& m, Object* proto, const char* parseMethod);

// A flash.geom.Matrix or ColorTransform as its fields say (missing ones are NaN).
inline raster::Matrix MatrixOf(Machine& m, const Value& v) {
    auto f = [&](const char* name) { return m.ToNumber(m.GetMember(v, name)); };
    return {f("a"), f("b"), f("c"), f("d"), f("tx"), f("ty")};
}
constexpr const char* kColorFields[] = {"redMultiplier", "greenMultiplier", "blueMultiplier", "alphaMultiplier",
                                        "redOffset",     "greenOffset",     "blueOffset",     "alphaOffset"};
constexpr double raster::ColorTransform::*kColorMembers[] = {
    &raster::ColorTransform::rm, &raster::ColorTransform::gm, &raster::ColorTransform::bm, &raster::ColorTransform::am,
    &raster::ColorTransform::ra, &raster::ColorTransform::ga, &raster::ColorTransform::ba, &raster::ColorTransform::aa};
inline raster::ColorTransform ColorOf(Machine& m, const Value& v) {
    raster::ColorTransform c;
    for (size_t i = 0; i < 8; ++i) c.*kColorMembers[i] = m.ToNumber(m.GetMember(v, kColorFields[i]));
    return c;
}

// The live clip a Color or Transform object was made for, or null.
inline Clip TargetClip(Machine& m, const Value& self) {
    Clip c = self.object ? self.object->clip.lock() : nullptr;
    return c && m.HostRef().IsClip(c) ? c : nullptr;
}

}  // namespace lumarel::engine::avm1
