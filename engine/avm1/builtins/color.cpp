// Color: `new Color(clip)` and the calls that read and change the clip's colour transform, in
// the percentages and offsets of the authoring tool's colour panel.
#include "engine/avm1/builtins/shared.h"

namespace lumarel::engine::avm1 {

namespace {

// The transform object's fields: a percentage (the multiplier × 100) and an offset per channel.
struct Field {
    const char* name;
    double raster::ColorTransform::*member;
    double scale;
};
constexpr Field kFields[] = {{"ra", &raster::ColorTransform::rm, 100}, {"rb", &raster::ColorTransform::ra, 1},
                             {"ga", &raster::ColorTransform::gm, 100}, {"gb", &raster::ColorTransform::ga, 1},
                             {"ba", &raster::ColorTransform::bm, 100}, {"bb", &raster::ColorTransform::ba, 1},
                             {"aa", &raster::ColorTransform::am, 100}, {"ab", &raster::ColorTransform::aa, 1}};

// A method that works on the target clip's own colour transform; with no clip it does nothing.
void ColorMethod(Machine& m, Object* proto, const char* name,
                 Value (*fn)(Machine&, raster::ColorTransform&, std::span<const Value>, bool& changed)) {
    m.Method(proto, name, [fn](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
        Clip c = TargetClip(mm, self);
        raster::ColorTransform cx;
        if (!c || !mm.HostRef().GetColor(c, false, cx)) return Value();
        bool changed = false;
        Value r = fn(mm, cx, args, changed);
        if (changed) mm.HostRef().SetColor(c, FixedColor(cx));
        return r;
    });
}

}  // namespace

void InstallColor(Machine& m) {
    Object* proto = m.NewObject();
    m.Class(
        "Color", nullptr,
        [](Machine& mm, const Value& self, std::span<const Value> args) {
            if (self.object) self.object->clip = mm.ClipOf(Arg(args, 0));
            return Value();
        },
        proto);
    // setRGB(0xRRGGBB): the clip becomes that flat colour; its alpha stays as it was.
    ColorMethod(m, proto, "setRGB",
                [](Machine& mm, raster::ColorTransform& cx, std::span<const Value> args, bool& changed) {
                    SetRgb(cx, mm.ToNumber(Arg(args, 0)));
                    changed = true;
                    return Value();
                });
    ColorMethod(m, proto, "getRGB",
                [](Machine&, raster::ColorTransform& cx, std::span<const Value>, bool&) { return Value(Rgb(cx)); });
    // setTransform(object): the fields it has replace the current ones; the others stay.
    ColorMethod(m, proto, "setTransform",
                [](Machine& mm, raster::ColorTransform& cx, std::span<const Value> args, bool& changed) {
                    Object* t = Arg(args, 0).object;
                    if (!t) return Value();
                    for (const Field& f : kFields) {
                        const Value v = mm.Get(t, f.name);
                        if (!v.IsUndefined()) cx.*f.member = mm.ToNumber(v) / f.scale;
                    }
                    changed = true;
                    return Value();
                });
    ColorMethod(m, proto, "getTransform", [](Machine& mm, raster::ColorTransform& cx, std::span<const Value>, bool&) {
        Object* t = mm.NewObject();
        for (const Field& f : kFields) t->Define(f.name, Value(cx.*f.member * f.scale));
        return Value(t);
    });
}

}  // namespace lumarel::engine::avm1
