// Sound: `new Sound([clip])` and the settings a movie gives its sounds (volume, pan, the channel
// mix), kept per target and handed to the mixer, with the calls that pick, start and stop a
// sound. Nothing loads: onLoad and onSoundComplete are never called.
#include <algorithm>
#include <cmath>

#include "engine/avm1/machine.h"

namespace lumarel::engine::avm1 {

namespace {

SoundState* StateOf(const Value& self) {
    return self.object ? dynamic_cast<SoundState*>(self.object->data.get()) : nullptr;
}

// Levels and percentages are whole numbers, cut toward zero; NaN is 0 and huge values saturate.
int Level(Machine& m, const Value& v) {
    const double n = m.ToNumber(v);
    if (std::isnan(n)) return 0;
    return static_cast<int>(std::clamp(std::trunc(n), -2147483648.0, 2147483647.0));
}

// The channel mix fields, as setTransform reads them and getTransform gives them.
struct MixField {
    const char* name;
    int SoundMix::*field;
};
constexpr MixField kMix[] = {
    {"ll", &SoundMix::ll}, {"lr", &SoundMix::lr}, {"rr", &SoundMix::rr}, {"rl", &SoundMix::rl}};

// The volume and channel mix, handed to the target's sound.
void Apply(Machine& m, const SoundState& s) {
    const SoundMix& x = *s.mix;
    m.HostRef().SetSoundTransform(s.group, x.volume, x.ll, x.lr, x.rr, x.rl);
}

// A method that only does something on a Sound object; anything else gets undefined.
void SoundMethod(Machine& m, Object* proto, const char* name,
                 std::function<Value(Machine&, SoundState&, std::span<const Value>)> fn, uint16_t flags = kDontEnum) {
    m.Method(
        proto, name,
        [fn = std::move(fn)](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
            SoundState* s = StateOf(self);
            return s ? fn(mm, *s, args) : Value();
        },
        flags);
}

// A read-only property on the prototype whose getter answers `value`.
void Constant(Machine& m, Object* proto, const char* name, const Value& value) {
    Object* getter = m.NewObject(m.functionProto);
    getter->kind = ObjectKind::Function;
    getter->native = [value](Machine&, const Value&, std::span<const Value>) { return value; };
    proto->Define(name, Value(), kDontEnum | kSince6);
    proto->FindAny(name)->getter = getter;
}

}  // namespace

void InstallSound(Machine& m) {
    Object* proto = m.NewObject();
    m.Class(
        "Sound", nullptr,
        [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
            if (!self.object) return Value();
            self.object->kind = ObjectKind::Sound;
            auto state = std::make_unique<SoundState>();
            const Clip target = mm.ClipOf(Arg(args, 0));
            if (target) state->group = mm.HostRef().SoundGroup(target);
            auto& mix = mm.soundMixes[state->group];
            if (!mix) mix = std::make_shared<SoundMix>();
            state->mix = mix;
            self.object->data = std::move(state);
            self.object->clip = target;
            return self;
        },
        proto);

    SoundMethod(m, proto, "attachSound", [](Machine& mm, SoundState& s, std::span<const Value> args) {
        s.linkage = mm.ToString(Arg(args, 0));
        s.url.clear();
        s.playing = false;
        return Value();
    });
    // start([secondOffset[, loops]]): a negative or NaN offset starts at the beginning; fewer than
    // one loop plays once.
    SoundMethod(m, proto, "start", [](Machine& mm, SoundState& s, std::span<const Value> args) {
        const double offset = mm.ToNumber(Arg(args, 0));
        s.offset = std::isfinite(offset) && offset > 0 ? offset : 0;
        s.loops = std::max(1, Level(mm, Arg(args, 1)));
        s.playing = !s.linkage.empty() && mm.HostRef().StartLibrarySound(s.linkage, s.offset, s.loops, s.group);
        return Value();
    });
    // stop([linkage]): that library sound, or every sound of the target (of the movie without one).
    SoundMethod(m, proto, "stop", [](Machine& mm, SoundState& s, std::span<const Value> args) {
        mm.HostRef().StopSounds(s.group, args.empty() ? std::string() : mm.ToString(args[0]));
        s.playing = false;
        return Value();
    });
    SoundMethod(m, proto, "setVolume", [](Machine& mm, SoundState& s, std::span<const Value> args) {
        s.mix->volume = Level(mm, Arg(args, 0));
        Apply(mm, s);
        return Value();
    });
    SoundMethod(m, proto, "getVolume",
                [](Machine&, SoundState& s, std::span<const Value>) { return Value(double(s.mix->volume)); });
    // setPan: the far side turned down, nothing crossed over.
    SoundMethod(m, proto, "setPan", [](Machine& mm, SoundState& s, std::span<const Value> args) {
        SoundMix& x = *s.mix;
        x.pan = std::clamp(Level(mm, Arg(args, 0)), -100, 100);
        x.ll = x.pan > 0 ? 100 - x.pan : 100;
        x.rr = x.pan < 0 ? 100 + x.pan : 100;
        x.lr = x.rl = 0;
        Apply(mm, s);
        return Value();
    });
    SoundMethod(m, proto, "getPan",
                [](Machine&, SoundState& s, std::span<const Value>) { return Value(double(s.mix->pan)); });
    // setTransform(object): the fields it has replace the current ones; the others stay.
    SoundMethod(m, proto, "setTransform", [](Machine& mm, SoundState& s, std::span<const Value> args) {
        Object* t = Arg(args, 0).object;
        if (!t) return Value();
        for (const MixField& f : kMix) {
            const Value v = mm.Get(t, f.name);
            if (!v.IsUndefined()) (*s.mix).*f.field = Level(mm, v);
        }
        Apply(mm, s);
        return Value();
    });
    SoundMethod(m, proto, "getTransform", [](Machine& mm, SoundState& s, std::span<const Value>) {
        Object* t = mm.NewObject();
        for (const MixField& f : kMix) t->Define(f.name, Value(double((*s.mix).*f.field)));
        return Value(t);
    });

    // Loading came with version 6 movies. There is no network here, so nothing ever arrives.
    SoundMethod(
        m, proto, "loadSound",
        [](Machine& mm, SoundState& s, std::span<const Value> args) {
            s.url = mm.ToString(Arg(args, 0));
            s.streaming = mm.ToBoolean(Arg(args, 1));
            s.linkage.clear();
            s.playing = false;
            return Value();
        },
        kDontEnum | kSince6);
    for (const char* name : {"getBytesLoaded", "getBytesTotal"})
        SoundMethod(
            m, proto, name, [](Machine&, SoundState&, std::span<const Value>) { return Value(0.0); },
            kDontEnum | kSince6);
    Constant(m, proto, "position", Value(0.0));
    Constant(m, proto, "duration", Value(0.0));
    Constant(m, proto, "id3", Value());
    proto->Define("checkPolicyFile", Value(false), kDontEnum);
}

}  // namespace lumarel::engine::avm1
