// MovieClipLoader: loadClip through the host's loadMovie, with its events broadcast to the
// loader's listeners (the loader itself is one) a frame later, once the clip holds the file:
// onLoadStart, onLoadProgress, onLoadComplete, onLoadInit, or onLoadError when it cannot be read.
#include "engine/avm1/builtins/shared.h"

namespace lumarel::engine::avm1 {

namespace {

// A target as loadClip takes it: a clip, a path to one, or level 0.
Clip TargetOf(Machine& m, const Value& v) {
    if (v.IsObject()) return m.ClipOf(v);
    if (v.type == Type::Number) return v.number == 0 ? m.HostRef().Root() : nullptr;
    return m.ClipOf(m.Variable(m.HostRef().Root(), m.ToString(v)));
}

void Broadcast(Machine& m, Object* loader, std::vector<Value> args) {
    m.deferred.push_back(Machine::Deferred{
        loader, [args](Machine& mm, Object* o) { mm.CallMethod(Value(o), "broadcastMessage", args); }});
}

}  // namespace

void InstallMovieClipLoader(Machine& m) {
    Object* proto = m.NewObject(m.objectProto);
    m.Class(
        "MovieClipLoader", nullptr,
        [](Machine& mm, const Value& self, std::span<const Value>) -> Value {
            if (!self.IsObject()) return Value();
            const Value broadcaster = mm.Get(mm.global, "AsBroadcaster");
            const Value args[] = {self};
            mm.CallMethod(broadcaster, "initialize", args);
            mm.CallMethod(self, "addListener", args);
            return Value();
        },
        proto);
    m.Method(proto, "loadClip", [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
        if (!self.IsObject() || args.size() < 2) return Value(false);
        const Clip target = TargetOf(mm, args[1]);
        if (!target) return Value(false);
        const Value clip(mm.ClipObject(target));
        if (!mm.HostRef().LoadMovie(target, mm.ToString(args[0]))) {
            Broadcast(mm, self.object, {Value("onLoadError"), clip, Value("URLNotFound"), Value(0)});
            return Value(true);
        }
        for (const char* event : {"onLoadStart", "onLoadProgress", "onLoadComplete", "onLoadInit"})
            Broadcast(mm, self.object, {Value(event), clip});
        return Value(true);
    });
    m.Method(proto, "unloadClip", [](Machine& mm, const Value&, std::span<const Value> args) -> Value {
        const Clip target = args.empty() ? nullptr : TargetOf(mm, args[0]);
        if (target) mm.HostRef().UnloadMovie(target);
        return Value(target != nullptr);
    });
    m.Method(proto, "getProgress", [](Machine& mm, const Value&, std::span<const Value>) -> Value {
        Object* p = mm.NewObject();
        p->Define("bytesLoaded", Value(0.0));
        p->Define("bytesTotal", Value(0.0));
        return Value(p);
    });
}

}  // namespace lumarel::engine::avm1
