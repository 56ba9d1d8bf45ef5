// What Flash 8 added to every clip: `transform` (a flash.geom.Transform of the clip), and the
// settings for button-like behaviour, caching, blending and filters, which read back as set.
// Nothing draws them differently yet.
#include "engine/avm1/builtins/shared.h"

namespace lumarel::engine::avm1 {

void InstallMovieClipEffects(Machine& m) {
    Object* proto = m.movieClipProto;
    // The Transform class as the package made it, kept even if a script replaces flash.geom.
    Value ctor;
    const Value flash = m.Get(m.global, "flash");
    if (flash.IsObject())
        if (Property* geom = flash.object->FindAny("geom"); geom && geom->value.IsObject())
            if (Property* t = geom->value.object->FindAny("Transform")) ctor = t->value;
    if (ctor.IsObject()) m.builtinRoots.push_back(ctor.object);

    // transform: a new Transform each read; assigning one copies its matrix and colour transform
    // onto this clip.
    Accessor(
        m, proto, "transform",
        [ctor](Machine& mm, const Value& self, std::span<const Value>) {
            if (!mm.ClipOf(self)) return Value();
            const Value args[] = {self};
            return mm.Construct(ctor, args);
        },
        [ctor](Machine& mm, const Value& self, std::span<const Value> args) {
            const Value& from = Arg(args, 0);
            if (!mm.ClipOf(self) || !from.IsObject()) return Value();
            const Value own[] = {self};
            const Value to = mm.Construct(ctor, own);
            for (const char* f : {"matrix", "colorTransform"}) {
                const Value v = mm.GetMember(from, f);
                if (v.IsObject()) mm.SetMember(to, f, v);
            }
            return Value();
        },
        kDontEnum | kSince8);

    // filters: a fresh empty list on each read until a script sets one.
    Accessor(
        m, proto, "filters", [](Machine& mm, const Value&, std::span<const Value>) { return Value(mm.NewArray()); },
        [](Machine&, const Value& self, std::span<const Value> args) {
            if (self.object) self.object->Define("filters", Arg(args, 0));
            return Value();
        },
        kDontEnum | kSince8);

    const std::pair<const char*, Value> since6[] = {
        {"enabled", Value(true)}, {"useHandCursor", Value(true)}, {"trackAsMenu", Value(false)}};
    for (const auto& [name, v] : since6) proto->Define(name, v, kDontEnum | kSince6);
    proto->Define("_lockroot", Value(false), kDontEnum | kSince7);
    const std::pair<const char*, Value> since8[] = {{"cacheAsBitmap", Value(false)},
                                                    {"blendMode", Value("normal")},
                                                    {"opaqueBackground", Value()},
                                                    {"scrollRect", Value()},
                                                    {"scale9Grid", Value()}};
    for (const auto& [name, v] : since8) proto->Define(name, v, kDontEnum | kSince8);
}

}  // namespace lumarel::engine::avm1
