// MovieClip.prototype's timeline methods: play, stop, gotoAndPlay, gotoAndStop, nextFrame,
// prevFrame, and the loading figures (every frame of a movie is loaded).
#include <cmath>

#include "engine/avm1/machine.h"

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

}  // namespace

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
    for (const char* name : {"getBytesLoaded", "getBytesTotal"})
        m.Method(proto, name, [](Machine& mm, const Value& self, std::span<const Value>) -> Value {
            return Value(mm.ClipOf(self) ? 1.0 : 0.0);
        });
}

}  // namespace lumarel::engine::avm1
