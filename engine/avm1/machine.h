// The ActionScript 1/2 machine of one movie: its heap and collector, the built-in classes, the
// conversions that call into script (valueOf, toString), member access and calls, and the
// bytecode interpreter (interpreter.cpp).
//
// Typical use (by the timeline):
//     Machine m(host, version);
//     m.RunBlock(doActionBytes, clip);   // a frame script, in the clip's scope
//     m.Collect();                       // between frames
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <span>
#include <string>
#include <vector>

#include "engine/avm1/host.h"
#include "engine/avm1/object.h"
#include "engine/avm1/value.h"

namespace lumarel::engine::avm1 {

// Limits that keep a hostile or endless script bounded.
constexpr int kMaxCallDepth = 256;
constexpr long kMaxActionsPerBlock = 2000000;  // a frame script's budget, its calls included
constexpr size_t kMaxObjects = 2000000;        // live objects per movie
// Bytes of BitmapData pixels per movie (a 2880 x 2880 bitmap takes about 32 MB).
constexpr size_t kMaxBitmapBytes = size_t(256) << 20;

// Thrown inside the machine when a script must stop (budget, depth, heap); caught where the
// frame script started, so the show goes on.
struct ScriptAbort {
    std::string reason;
};
// A script's `throw`: unwinds to the nearest try, or ends the frame script.
struct ScriptThrow {
    Value value;
};

class Machine {
public:
    Machine(Host& host, int version);
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    int Version() const { return version_; }
    Host& HostRef() { return host_; }

    // Runs a DoAction / DoInitAction block on `clip`'s timeline. Never throws: a script that
    // runs out of budget or depth stops there (LastAbort says why) and the movie goes on.
    void RunBlock(std::span<const uint8_t> code, const Clip& clip);
    // A variable by name or path ("a", "_root.a.b", "/a:b") as a script on `clip` sees it; with
    // `assign`, sets it instead (as SetVariable would) and returns the value.
    Value Variable(const Clip& clip, const std::string& path, const Value* assign = nullptr);
    // Calls a function value (script or native); undefined when it is no function.
    Value Call(const Value& fn, const Value& self, std::span<const Value> args);
    // `new fn(args)`.
    Value Construct(const Value& fn, std::span<const Value> args);
    // Calls a method by name on a value (primitives use their class's prototype).
    Value CallMethod(const Value& self, const std::string& name, std::span<const Value> args);
    // Frees every object no root reaches (when the heap has grown enough since the last time).
    // Call only while no script runs.
    void Collect();
    const std::string& LastAbort() const { return lastAbort_; }

    // --- objects
    Object* NewObject(Object* proto);
    Object* NewObject() { return NewObject(objectProto); }
    Object* NewFunction(NativeFn fn, Object* prototype = nullptr);  // with a fresh prototype when null
    Object* NewArray(const std::vector<Value>& items = {});
    // A native method on `target` (DontEnum, as built-ins are; version bits for later additions).
    void Method(Object* target, const std::string& name, NativeFn fn, uint16_t flags = kDontEnum);
    // A constructor function registered on _global with `prototype` as its prototype.
    Object* Class(const std::string& name, NativeFn call, NativeFn construct, Object* prototype);
    // The script object of a clip (made on first use).
    Object* ClipObject(const Clip& c);
    // The clip an object stands for, or null.
    Clip ClipOf(const Value& v);

    // --- members
    Value GetMember(const Value& obj, const std::string& name);
    void SetMember(const Value& obj, const std::string& name, const Value& v);
    Value Get(Object* o, const std::string& name);  // with getters, prototype chain
    void Set(Object* o, const std::string& name, const Value& v);
    // Array helpers for ObjectKind::Array.
    void ArraySetLength(Object* a, uint32_t n);
    Value ArrayGet(Object* a, uint32_t i) { return Get(a, std::to_string(i)); }
    void ArrayPush(Object* a, const Value& v) { Set(a, std::to_string(a->length), v); }

    // --- conversions (may call valueOf / toString)
    Value ToPrimitive(const Value& v, bool preferString = false);
    double ToNumber(const Value& v);
    std::string ToString(const Value& v);
    bool ToBoolean(const Value& v) const { return avm1::ToBoolean(v, version_); }
    Object* ToObject(const Value& v);             // boxes primitives; null for undefined/null
    bool Equals(const Value& a, const Value& b);  // ==
    bool StrictEquals(const Value& a, const Value& b) const;
    Value Less(const Value& a, const Value& b);  // a < b: true, false or undefined (NaN)
    std::string TypeOf(const Value& v);
    bool InstanceOf(const Value& v, const Value& ctor);

    // Built-in prototypes and the global object.
    Object* global = nullptr;
    Object* objectProto = nullptr;
    Object* functionProto = nullptr;
    Object* arrayProto = nullptr;
    Object* stringProto = nullptr;
    Object* numberProto = nullptr;
    Object* booleanProto = nullptr;
    Object* errorProto = nullptr;
    Object* movieClipProto = nullptr;
    Object* textFieldProto = nullptr;
    Object* buttonProto = nullptr;
    // The mix of each sound group (0: the whole movie), shared by the Sound objects made for it.
    std::unordered_map<uint32_t, std::shared_ptr<SoundMix>> soundMixes;
    Object* dateProto = nullptr;
    // Other objects the built-ins make things from (prototypes they hold), kept by the collector.
    std::vector<Object*> builtinRoots;
    // Bytes of pixels BitmapData objects hold now (at most kMaxBitmapBytes).
    size_t bitmapBytes = 0;

    // Timers made by setInterval / setTimeout, run by RunTimers between frames.
    struct Timer {
        int id;
        Value fn;  // a function, or an object whose method `method` is called
        std::string method;
        std::vector<Value> args;
        double interval;
        double due;
        bool repeat;
    };
    std::vector<Timer> timers;
    int nextTimerId = 1;
    // Work a built-in leaves for later, such as a load's callbacks: RunTimers runs it after the
    // timers, never in the pass that deferred it. The collector keeps `object` while it waits.
    struct Deferred {
        Object* object;
        std::function<void(Machine&, Object*)> run;
    };
    std::vector<Deferred> deferred;
    void RunTimers();
    // Work built-ins do as the movie ends, while everything is still in place (SharedObject
    // stores its data, as a movie does when it unloads). Run once, by the destructor, each on a
    // fresh budget; an abort or a throw ends only the one.
    std::vector<std::function<void(Machine&)>> atEnd;
    // An event handler such as onEnterFrame, when `o` has one; aborts and throws end only it.
    void CallHandler(Object* o, const std::string& name);

    // Used by the interpreter; public for the built-ins that need them.
    Value Invoke(Object* fn, const Value& self, std::span<const Value> args, Object* newObject);
    void CountAction();
    Object* pendingHome = nullptr;  // the prototype a method was found on, for super in its call
    [[noreturn]] void Abort(const std::string& reason) { throw ScriptAbort{reason}; }

private:
    friend class Interpreter;
    void Mark(Object* o);
    void MarkValue(const Value& v) {
        if (v.object) Mark(v.object);
    }
    // The value an assignment stores once `o`'s watcher for `name` (if any) has seen it.
    Value Watched(Object* o, const std::string& name, const Value& v);
    Value RunScript(Object* fn, const Value& self, std::span<const Value> args, Object* newObject);

    Host& host_;
    int version_;
    std::vector<std::unique_ptr<Object>> heap_;
    size_t liveAfterCollect_ = 0;
    size_t bitmapBytesAfterCollect_ = 0;
    std::vector<Object*> markStack_;
    std::vector<Clip> boundClips_;  // clips whose script object we made
    int depth_ = 0;
    Object* runningFunction_ = nullptr;  // the script function being run, for arguments.caller
    long actions_ = 0;
    std::string lastAbort_;
};

// Built-in classes, one installer per file under builtins/.
void InstallObject(Machine& m);
void InstallFunction(Machine& m);
void InstallArray(Machine& m);
void InstallString(Machine& m);
void InstallNumberAndBoolean(Machine& m);
void InstallMath(Machine& m);
void InstallGlobals(Machine& m);
void InstallMovieClip(Machine& m);
void InstallDrawing(Machine& m);
void InstallTextField(Machine& m);
void InstallStyleSheet(Machine& m);  // after InstallTextField
void InstallSharedObject(Machine& m);
void InstallMovieClipLoader(Machine& m);  // after InstallSystem (AsBroadcaster)
// A clip just made from a symbol: its class (Object.registerClass) becomes its prototype, the
// init object's properties are copied on, then the class's constructor runs on it. True when the
// symbol has a class.
bool BindClipClass(Machine& m, const Clip& c, const std::string& symbol, const Value& init);
// startDrag: no pointer reaches movies, so it stands still where the stage's origin is. With
// `lockCenter` the clip's origin moves there at once; `bounds` (left, top, right, bottom in the
// parent's space, or null) then keeps it inside.
void StartDrag(Machine& m, const Clip& c, bool lockCenter, const double* bounds);
void InstallError(Machine& m);
void InstallSystem(Machine& m);
void InstallDate(Machine& m);
void InstallSound(Machine& m);
void InstallGeom(Machine& m);  // flash.geom; after InstallSystem, which makes _global.flash
void InstallColor(Machine& m);
void InstallMovieClipEffects(Machine& m);  // after InstallMovieClip and InstallGeom
void InstallXml(Machine& m);
void InstallLoadVars(Machine& m);    // after InstallMovieClip (loadVariables)
void InstallFilters(Machine& m);     // flash.filters; after InstallGeom
void InstallBitmapData(Machine& m);  // flash.display.BitmapData; after InstallFilters

// The i-th argument or undefined.
inline const Value& Arg(std::span<const Value> args, size_t i) {
    static const Value undefined;
    return i < args.size() ? args[i] : undefined;
}

}  // namespace lumarel::engine::avm1
