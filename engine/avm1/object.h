// Script objects: ordered property tables with attributes and getter/setter pairs, a prototype
// link, and the parts that make an object a function, an array, a boxed primitive or a movie
// clip's script face. Objects live on the machine's heap and are freed by its collector.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/avm1/value.h"

namespace lumarel::raster {
struct Bitmap;
}

namespace lumarel::engine::avm1 {

class Machine;

// Property attributes: the first three as ASSetPropFlags numbers them. The version marks are
// our own: they hide a built-in from movies older than the player that brought it, and scripts
// cannot change them.
enum PropFlag : uint16_t {
    kDontEnum = 1,
    kDontDelete = 2,
    kReadOnly = 4,
    kSince8 = 0x2000,
    kSince6 = 0x4000,
    kSince7 = 0x8000,
};
// Whether a property with these flags exists for a movie of this SWF version.
constexpr bool VisibleIn(uint16_t flags, int version) {
    return !((flags & kSince6) && version < 6) && !((flags & kSince7) && version < 7) &&
           !((flags & kSince8) && version < 8);
}

struct Property {
    std::string name;  // as first set
    Value value;
    uint16_t flags = 0;
    Object* getter = nullptr;  // addProperty: both set or neither
    Object* setter = nullptr;
};

// A built-in function: `self` is the this-value, args the arguments as passed.
using NativeFn = std::function<Value(Machine&, const Value& self, std::span<const Value> args)>;

// A function defined by DefineFunction or DefineFunction2.
struct ScriptFunction {
    std::string name;
    std::span<const uint8_t> body;  // into the movie's bytes, which outlive the machine
    std::vector<std::string> params;
    std::vector<uint8_t> paramRegisters;  // DefineFunction2: 0 = passed as a variable
    uint8_t registerCount = 0;
    uint16_t flags = 0;  // DefineFunction2's preload/suppress flags
    bool v2 = false;
    int version = 0;
    std::vector<Object*> scope;  // the scope chain where it was defined, innermost last
    std::shared_ptr<const std::vector<std::string>> constants;
    std::weak_ptr<void> clip;  // the timeline it was defined on
};

// A watchpoint set by Object.watch: assignments to `name` go through `callback` first.
struct Watcher {
    std::string name;
    Object* callback = nullptr;
    Value userData;
    bool running = false;  // its callback is on the stack: assignments it makes are not reported again
};

// Native state some built-in objects carry (a Sound's mix, a BitmapData's pixels, ...).
struct ObjectData {
    virtual ~ObjectData() = default;
    // The objects this state holds on to, for the collector.
    virtual void Refs(std::vector<Object*>& /*out*/) const {}
};

// What a Sound object holds for the mixer: volume and pan as getVolume and getPan give them
// back, the channel mix in percent (left to left, left to right, ...), and which sound it plays.
// The volume, pan and channel mix of one sound group. Every Sound object of the same target
// shares it: what one sets, the others report.
struct SoundMix {
    int volume = 100;
    int pan = 0;  // -100 (left) to 100 (right)
    int ll = 100, lr = 0, rr = 100, rl = 0;
};
struct SoundState : ObjectData {
    std::shared_ptr<SoundMix> mix = std::make_shared<SoundMix>();
    std::string linkage;  // attachSound's library name
    std::string url;      // loadSound's file
    bool streaming = false;
    bool playing = false;
    double offset = 0;  // seconds into the sound where start() begins
    int loops = 1;
    uint32_t group = 0;  // the host's sound group of the target clip (0: the whole movie)
};

// What a BitmapData object holds: its pixels, premultiplied 0xAARRGGBB as the renderer takes
// them and shared with the clips that show them (attachBitmap, beginBitmapFill), so later changes
// show there too. No pixels: disposed, or made with a size out of range. `bytes` is what the
// pixels count against the machine's budget, given back when the object goes.
struct BitmapState : ObjectData {
    std::shared_ptr<raster::Bitmap> pixels;
    bool transparent = true;  // false: every pixel is opaque
    size_t bytes = 0;
    size_t* budget = nullptr;  // the machine's count of bitmap bytes
    ~BitmapState() override { Release(); }
    void Release() {
        if (budget) *budget -= bytes;
        bytes = 0;
        pixels.reset();
    }
};

enum class ObjectKind : uint8_t { Plain, Function, Array, Boolean, Number, String, Date, Error, MovieClip, Sound };

class Object {
public:
    // Names are case-insensitive for movies before version 7; the version bits are read against it.
    explicit Object(int version) : version_(version), caseless_(version < 7) {}
    virtual ~Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    ObjectKind kind = ObjectKind::Plain;
    Object* proto = nullptr;  // __proto__
    // Functions: one of these is set; `constructor` runs for `new` when given.
    NativeFn native;
    NativeFn construct;
    std::unique_ptr<ScriptFunction> script;
    // Boxed primitives and dates: the primitive value.
    Value primitive;
    // Movie clips: the display object this object stands for; sounds: the clip they control
    // (none for the whole movie).
    std::weak_ptr<void> clip;
    // Sound objects: their settings.
    std::unique_ptr<ObjectData> data;

    bool IsFunction() const { return kind == ObjectKind::Function; }

    // Own properties only; those the movie's version hides are not found.
    Property* Find(const std::string& name);
    const Property* Find(const std::string& name) const;
    // Own properties, those hidden by version included.
    Property* FindAny(const std::string& name);
    // Own or inherited (prototype chain, bounded).
    Property* Lookup(const std::string& name);
    // Adds or replaces an own property (no setter is called; read-only is ignored).
    void Define(const std::string& name, Value v, uint16_t flags = 0);
    bool Delete(const std::string& name);  // false when absent, hidden or DontDelete
    // Own property names in enumeration order (most recently added first), DontEnum and hidden
    // ones left out.
    std::vector<std::string> Keys() const;
    const std::vector<Property>& Properties() const { return props_; }
    std::vector<Property>& Properties() { return props_; }

    // Watchpoints (Object.watch), in the order they were set.
    std::vector<Watcher> watchers;

    // Array length bookkeeping for ObjectKind::Array: elements are ordinary properties "0".."n-1".
    uint32_t length = 0;

    bool marked = false;  // collector

private:
    std::string Key(const std::string& name) const;
    bool Visible(const Property& p) const { return VisibleIn(p.flags, version_); }
    int version_;
    bool caseless_;
    std::vector<Property> props_;
    std::unordered_map<std::string, uint32_t> index_;
};

// Array index from a property name ("0", "12"; not "01" or "-1").
bool ArrayIndex(const std::string& name, uint32_t& index);

}  // namespace lumarel::engine::avm1
