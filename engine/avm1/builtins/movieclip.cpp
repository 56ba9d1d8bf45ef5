// MovieClip.prototype: the timeline methods (play, stop, gotoAndPlay, ...), clips made and
// arranged by script (attachMovie, createEmptyMovieClip, duplicateMovieClip, removeMovieClip,
// depths), geometry (getBounds, localToGlobal, hitTest) and the loading figures (every frame of
// a movie is loaded).
#include <cmath>

#include "engine/avm1/machine.h"
#include "engine/avm1/utf8.h"

namespace lumarel::engine::avm1 {

namespace {

// gotoAndPlay / gotoAndStop: a frame number (from 1) or a label.
Value Goto(Machine& m, const Value& self, std::span<const Value> args, bool play) {
    Clip c = m.ClipOf(self);
    if (!c || args.empty()) return Value();
    Host& h = m.HostRef();
    const Value& f = args[0];
    if (f.type == Type::String) {
        const double n = StringToNumber(f.string, m.Version());
        if (std::isnan(n)) {
            h.GotoLabel(c, f.string, play);
            return Value();
        }
    }
    const double n = m.ToNumber(f);
    if (std::isfinite(n)) h.GotoFrame(c, static_cast<int>(std::clamp(std::floor(n) - 1, 0.0, 1e9)), play);
    return Value();
}

Value Step(Machine& m, const Value& self, int by) {
    Clip c = m.ClipOf(self);
    if (!c) return Value();
    const double f = m.ToNumber(m.HostRef().GetProperty(c, ClipProp::CurrentFrame));
    m.HostRef().GotoFrame(c, std::max(0, static_cast<int>(f) - 1 + by), false);
    return Value();
}

// A depth argument as Flash reads it: a number, truncated; NaN and undefined are no depth.
bool DepthArg(Machine& m, const Value& v, int& depth) {
    const double d = m.ToNumber(v);
    if (!std::isfinite(d)) return false;
    depth = static_cast<int>(std::clamp(std::trunc(d), -2e9, 2e9));
    return true;
}

// Copies the enumerable properties of an init object onto a new clip.
void CopyInit(Machine& m, Object* clip, const Value& init) {
    if (!clip || !init.IsObject()) return;
    for (const std::string& k : init.object->Keys()) m.Set(clip, k, m.Get(init.object, k));
}

Value Made(Machine& m, const Clip& c) { return c ? Value(m.ClipObject(c)) : Value(); }

Value Bounds(Machine& m, const Value& self, std::span<const Value> args) {
    Clip c = m.ClipOf(self);
    if (!c) return Value();
    Clip space = args.empty() ? c : m.ClipOf(args[0]);
    if (!args.empty() && !space) return Value();
    Host::Rect r;
    if (!m.HostRef().Bounds(c, space, r)) r = Host::Rect{6710886.35, 6710886.35, 6710886.35, 6710886.35};
    Object* o = m.NewObject();
    o->Define("xMin", Value(r.xMin));
    o->Define("xMax", Value(r.xMax));
    o->Define("yMin", Value(r.yMin));
    o->Define("yMax", Value(r.yMax));
    return Value(o);
}

// localToGlobal / globalToLocal: converts the x and y of the object passed in place.
Value ConvertPoint(Machine& m, const Value& self, std::span<const Value> args, bool toGlobal) {
    Clip c = m.ClipOf(self);
    if (!c || args.empty() || !args[0].IsObject()) return Value();
    Object* pt = args[0].object;
    double x = m.ToNumber(m.Get(pt, "x")), y = m.ToNumber(m.Get(pt, "y"));
    if (toGlobal)
        m.HostRef().LocalToGlobal(c, x, y);
    else
        m.HostRef().GlobalToLocal(c, x, y);
    m.Set(pt, "x", Value(x));
    m.Set(pt, "y", Value(y));
    return Value();
}

Value HitTest(Machine& m, const Value& self, std::span<const Value> args) {
    Clip c = m.ClipOf(self);
    if (!c || args.empty()) return Value(false);
    Host& h = m.HostRef();
    Host::Rect a;
    if (!h.Bounds(c, h.Root(), a)) return Value(false);
    if (args.size() >= 2) {  // a stage point
        const double x = m.ToNumber(args[0]), y = m.ToNumber(args[1]);
        if (m.ToBoolean(Arg(args, 2))) return Value(h.HitShape(c, x, y));
        return Value(x >= a.xMin && x <= a.xMax && y >= a.yMin && y <= a.yMax);
    }
    Clip other = m.ClipOf(args[0]);
    Host::Rect b;
    if (!other || !h.Bounds(other, h.Root(), b)) return Value(false);
    return Value(a.xMin <= b.xMax && b.xMin <= a.xMax && a.yMin <= b.yMax && b.yMin <= a.yMax);
}

}  // namespace

void StartDrag(Machine& m, const Clip& c, bool lockCenter, const double* bounds) {
    Host& h = m.HostRef();
    const Clip parent = h.Parent(c);
    double x = m.ToNumber(h.GetProperty(c, ClipProp::X)), y = m.ToNumber(h.GetProperty(c, ClipProp::Y));
    if (lockCenter) {
        x = y = 0;
        if (parent) h.GlobalToLocal(parent, x, y);
    }
    if (bounds) {
        auto keep = [](double v, double a, double b) {
            return std::isfinite(a) && std::isfinite(b) ? std::clamp(v, std::min(a, b), std::max(a, b)) : v;
        };
        x = keep(x, bounds[0], bounds[2]);
        y = keep(y, bounds[1], bounds[3]);
    }
    h.SetProperty(c, ClipProp::X, Value(x));
    h.SetProperty(c, ClipProp::Y, Value(y));
}

bool BindClipClass(Machine& m, const Clip& c, const std::string& symbol, const Value& init) {
    Value ctor;
    const Value table = m.Get(m.global, "__registeredClasses");
    if (table.IsObject() && !symbol.empty()) ctor = m.Get(table.object, symbol);
    const bool hasClass = ctor.IsObject() && ctor.object->IsFunction();
    if (!hasClass && !init.IsObject()) return false;
    Object* clip = m.ClipObject(c);
    if (!clip) return false;
    if (hasClass) {
        const Value proto = m.Get(ctor.object, "prototype");
        if (proto.IsObject()) clip->proto = proto.object;
    }
    CopyInit(m, clip, init);
    if (hasClass) {
        clip->Define("__constructor__", ctor, kDontEnum);
        m.Call(ctor, Value(clip), {});
    }
    return hasClass;
}

void InstallMovieClip(Machine& m) {
    Object* proto = m.movieClipProto;
    m.Class("MovieClip", nullptr, nullptr, proto);
    m.Method(proto, "play", [](Machine& mm, const Value& self, std::span<const Value>) {
        if (Clip c = mm.ClipOf(self)) mm.HostRef().SetPlaying(c, true);
        return Value();
    });
    m.Method(proto, "stop", [](Machine& mm, const Value& self, std::span<const Value>) {
        if (Clip c = mm.ClipOf(self)) mm.HostRef().SetPlaying(c, false);
        return Value();
    });
    m.Method(proto, "gotoAndPlay",
             [](Machine& mm, const Value& self, std::span<const Value> args) { return Goto(mm, self, args, true); });
    m.Method(proto, "gotoAndStop",
             [](Machine& mm, const Value& self, std::span<const Value> args) { return Goto(mm, self, args, false); });
    m.Method(proto, "nextFrame",
             [](Machine& mm, const Value& self, std::span<const Value>) { return Step(mm, self, 1); });
    m.Method(proto, "prevFrame",
             [](Machine& mm, const Value& self, std::span<const Value>) { return Step(mm, self, -1); });
    m.Method(proto, "attachMovie", [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
        Clip c = mm.ClipOf(self);
        int depth;
        if (!c || args.size() < 3 || !DepthArg(mm, args[2], depth)) return Value();
        const std::string symbol = mm.ToString(args[0]);
        Clip made = mm.HostRef().CreateClip(c, symbol, mm.ToString(args[1]), depth);
        if (!made) return Value();
        BindClipClass(mm, made, symbol, Arg(args, 3));
        mm.CallHandler(mm.ClipObject(made), "onLoad");
        return Made(mm, made);
    });
    m.Method(proto, "createEmptyMovieClip", [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
        Clip c = mm.ClipOf(self);
        int depth;
        if (!c || args.size() < 2 || !DepthArg(mm, args[1], depth)) return Value();
        return Made(mm, mm.HostRef().CreateClip(c, "", mm.ToString(args[0]), depth));
    });
    m.Method(proto, "duplicateMovieClip", [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
        Clip c = mm.ClipOf(self);
        int depth;
        if (!c || args.size() < 2 || !DepthArg(mm, args[1], depth)) return Value();
        Clip made = mm.HostRef().DuplicateClip(c, mm.ToString(args[0]), depth);
        if (!made) return Value();
        BindClipClass(mm, made, mm.HostRef().Symbol(made), Arg(args, 2));
        return Made(mm, made);
    });
    m.Method(proto, "removeMovieClip", [](Machine& mm, const Value& self, std::span<const Value>) -> Value {
        if (Clip c = mm.ClipOf(self)) mm.HostRef().RemoveClip(c);
        return Value();
    });
    auto getDepth = [](Machine& mm, const Value& self, std::span<const Value>) -> Value {
        int depth;
        Clip c = mm.ClipOf(self);
        return c && mm.HostRef().Depth(c, depth) ? Value(depth) : Value();
    };
    m.Method(proto, "getDepth", getDepth);
    // Buttons: reached by name like clips, with the clip properties (_x, _alpha, ...), their
    // depth and the Flash 8 effects; they have no timeline methods.
    m.Class("Button", nullptr, nullptr, m.buttonProto);
    m.Method(m.buttonProto, "getDepth", getDepth);
    m.Method(proto, "getNextHighestDepth", [](Machine& mm, const Value& self, std::span<const Value>) -> Value {
        Clip c = mm.ClipOf(self);
        return c ? Value(mm.HostRef().NextHighestDepth(c)) : Value();
    });
    m.Method(proto, "getInstanceAtDepth", [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
        Clip c = mm.ClipOf(self);
        int depth;
        if (!c || args.empty() || !DepthArg(mm, args[0], depth)) return Value();
        return Made(mm, mm.HostRef().AtDepth(c, depth));
    });
    m.Method(proto, "swapDepths", [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
        Clip c = mm.ClipOf(self);
        if (!c || args.empty()) return Value();
        Host& h = mm.HostRef();
        int depth;
        if (Clip other = mm.ClipOf(args[0])) {
            // Only a clip with the same parent can trade places.
            if (h.Parent(other) != h.Parent(c) || !h.Depth(other, depth)) return Value();
        } else if (!DepthArg(mm, args[0], depth)) {
            return Value();
        }
        h.SwapDepths(c, depth);
        return Value();
    });
    m.Method(proto, "getBounds",
             [](Machine& mm, const Value& self, std::span<const Value> args) { return Bounds(mm, self, args); });
    m.Method(proto, "getRect",
             [](Machine& mm, const Value& self, std::span<const Value> args) { return Bounds(mm, self, args); });
    m.Method(proto, "localToGlobal", [](Machine& mm, const Value& self, std::span<const Value> args) {
        return ConvertPoint(mm, self, args, true);
    });
    m.Method(proto, "globalToLocal", [](Machine& mm, const Value& self, std::span<const Value> args) {
        return ConvertPoint(mm, self, args, false);
    });
    m.Method(proto, "hitTest",
             [](Machine& mm, const Value& self, std::span<const Value> args) { return HitTest(mm, self, args); });
    m.Method(proto, "startDrag", [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
        Clip c = mm.ClipOf(self);
        if (!c) return Value();
        double bounds[4];
        for (size_t i = 0; i < 4; ++i) bounds[i] = mm.ToNumber(Arg(args, i + 1));
        StartDrag(mm, c, mm.ToBoolean(Arg(args, 0)), args.size() >= 5 ? bounds : nullptr);
        return Value();
    });
    // getURL: only fscommand reaches the host; nothing else leaves the player.
    m.Method(proto, "getURL", [](Machine& mm, const Value&, std::span<const Value> args) -> Value {
        const std::string url = mm.ToString(Arg(args, 0));
        if (url.size() >= 10 && SameName(std::string_view(url).substr(0, 10), "fscommand:", true))
            mm.HostRef().FsCommand(url.substr(10), mm.ToString(Arg(args, 1)));
        return Value();
    });
    m.Method(proto, "getSWFVersion", [](Machine& mm, const Value& self, std::span<const Value>) -> Value {
        return mm.ClipOf(self) ? Value(mm.Version()) : Value(-1);
    });
    m.Method(proto, "attachAudio", [](Machine&, const Value&, std::span<const Value>) { return Value(); });
    m.Method(proto, "stopDrag", [](Machine&, const Value&, std::span<const Value>) { return Value(); });
    m.Method(proto, "setMask", [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
        if (Clip c = mm.ClipOf(self)) mm.HostRef().SetMask(c, args.empty() ? nullptr : mm.ClipOf(args[0]));
        return Value();
    });
    m.Method(proto, "loadMovie", [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
        if (Clip c = mm.ClipOf(self); c && !args.empty()) mm.HostRef().LoadMovie(c, mm.ToString(args[0]));
        return Value();
    });
    m.Method(proto, "unloadMovie", [](Machine& mm, const Value& self, std::span<const Value>) -> Value {
        if (Clip c = mm.ClipOf(self)) mm.HostRef().UnloadMovie(c);
        return Value();
    });
    for (const char* name : {"getBytesLoaded", "getBytesTotal"})
        m.Method(proto, name, [](Machine& mm, const Value& self, std::span<const Value>) -> Value {
            return Value(mm.ClipOf(self) ? 1.0 : 0.0);
        });
}

}  // namespace lumarel::engine::avm1
