// What Flash 8 added to every clip: `transform` (a flash.geom.Transform of the clip), the blend
// mode and bitmap caching (kept on the display object, so they draw), filters, and the settings
// for button-like behaviour, which read back as set.
#include "engine/avm1/builtins/filters.h"
#include "engine/avm1/builtins/shared.h"

namespace lumarel::engine::avm1 {

namespace {

const char* const kBlendNames[] = {"normal", "layer",    "multiply", "screen", "lighten", "darken",  "difference",
                                   "add",    "subtract", "invert",   "alpha",  "erase",   "overlay", "hardlight"};

// A flash.geom.Rectangle (x, y, width, height) as edges; false for no object or a field that is
// no finite number.
bool RectOf(Machine& m, const Value& v, Host::Rect& out) {
    auto n = [&](const char* f) { return m.ToNumber(m.GetMember(v, f)); };
    const double x = n("x"), y = n("y"), w = n("width"), h = n("height");
    out = Host::Rect{x, y, x + w, y + h};
    return v.IsObject() && std::isfinite(x + y + w + h);
}

void InstallEffects(Machine& m, Object* proto) {
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
        [](Machine& mm, const Value& self, std::span<const Value> args) {
            // Kept as given for reading back; what draws is the list of filters it holds now.
            const Value& list = Arg(args, 0);
            if (!self.object) return Value();
            self.object->Define("filters", list);
            std::vector<swf::Filter> filters;
            if (list.IsObject() && list.object->kind == ObjectKind::Array)
                for (uint32_t i = 0; i < list.object->length && filters.size() < 64; ++i)
                    if (auto f = FilterOf(mm, mm.ArrayGet(list.object, i))) filters.push_back(std::move(*f));
            if (Clip c = mm.ClipOf(self)) mm.HostRef().SetFilters(c, std::move(filters));
            return Value();
        },
        kDontEnum | kSince8);

    const std::pair<const char*, Value> since6[] = {
        {"enabled", Value(true)}, {"useHandCursor", Value(true)}, {"trackAsMenu", Value(false)}};
    for (const auto& [name, v] : since6) proto->Define(name, v, kDontEnum | kSince6);
    proto->Define("_lockroot", Value(false), kDontEnum | kSince7);
    // blendMode: a name or a number (1 normal .. 14 hardlight) in, the name out.
    Accessor(
        m, proto, "blendMode",
        [](Machine& mm, const Value& self, std::span<const Value>) -> Value {
            Clip c = mm.ClipOf(self);
            if (!c) return Value();
            const int mode = mm.HostRef().BlendMode(c);
            return Value(kBlendNames[mode >= 1 && mode <= 14 ? mode - 1 : 0]);
        },
        [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
            Clip c = mm.ClipOf(self);
            const Value& v = Arg(args, 0);
            if (!c) return Value();
            if (v.type == Type::Number) {
                mm.HostRef().SetBlendMode(c, ToInt32(v.number));
                return Value();
            }
            const std::string name = mm.ToString(v);
            for (int i = 0; i < 14; ++i)
                if (name == kBlendNames[i]) mm.HostRef().SetBlendMode(c, i + 1);
            return Value();
        },
        kDontEnum | kSince8);
    Accessor(
        m, proto, "cacheAsBitmap",
        [](Machine& mm, const Value& self, std::span<const Value>) -> Value {
            Clip c = mm.ClipOf(self);
            return c ? Value(mm.HostRef().CacheAsBitmap(c)) : Value();
        },
        [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
            if (Clip c = mm.ClipOf(self)) mm.HostRef().SetCacheAsBitmap(c, mm.ToBoolean(Arg(args, 0)));
            return Value();
        },
        kDontEnum | kSince8);
    // scrollRect and opaqueBackground read back as set (kept beside the accessor) and reach the
    // display object.
    auto kept = [](const char* slot) {
        return [slot](Machine& mm, const Value& self, std::span<const Value>) -> Value {
            return self.object && mm.ClipOf(self) ? mm.Get(self.object, slot) : Value();
        };
    };
    Accessor(
        m, proto, "scrollRect", kept("$scrollRect"),
        [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
            Clip c = mm.ClipOf(self);
            const Value& v = Arg(args, 0);
            if (!c) return Value();
            self.object->Define("$scrollRect", v, kDontEnum);
            Host::Rect r;
            if (RectOf(mm, v, r) && r.xMax >= r.xMin && r.yMax >= r.yMin) {
                mm.HostRef().SetScrollRect(c, &r);
            } else {
                mm.HostRef().SetScrollRect(c, nullptr);
            }
            return Value();
        },
        kDontEnum | kSince8);
    Accessor(
        m, proto, "opaqueBackground", kept("$opaqueBackground"),
        [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
            Clip c = mm.ClipOf(self);
            const Value& v = Arg(args, 0);
            if (!c) return Value();
            self.object->Define("$opaqueBackground", v, kDontEnum);
            if (v.IsNullish()) {
                mm.HostRef().SetOpaqueBackground(c, nullptr);
            } else {
                const uint32_t rgb = ToUint32(mm.ToNumber(v)) & 0xFFFFFF;
                mm.HostRef().SetOpaqueBackground(c, &rgb);
            }
            return Value();
        },
        kDontEnum | kSince8);
    // scale9Grid: a flash.geom.Rectangle in the clip's own space, or null for none.
    Accessor(
        m, proto, "scale9Grid", kept("$scale9Grid"),
        [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
            Clip c = mm.ClipOf(self);
            const Value& v = Arg(args, 0);
            if (!c) return Value();
            self.object->Define("$scale9Grid", v, kDontEnum);
            Host::Rect r;
            const bool usable = RectOf(mm, v, r) && r.xMax > r.xMin && r.yMax > r.yMin;
            mm.HostRef().SetScale9Grid(c, usable ? &r : nullptr);
            return Value();
        },
        kDontEnum | kSince8);
}

}  // namespace

void InstallMovieClipEffects(Machine& m) {
    for (Object* proto : {m.movieClipProto, m.buttonProto}) InstallEffects(m, proto);
}

}  // namespace lumarel::engine::avm1
