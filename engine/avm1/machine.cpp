#include "engine/avm1/machine.h"

#include "engine/avm1/utf8.h"

#include <algorithm>
#include <cmath>

namespace lumarel::engine::avm1 {

namespace {

constexpr int kMaxProtoChain = 256;

// Clip properties reachable by name (`clip._x`), in ClipProp order.
const char* const kClipPropNames[] = {"_x",           "_y",           "_xscale",       "_yscale",       "_currentframe",
                                      "_totalframes", "_alpha",       "_visible",      "_width",        "_height",
                                      "_rotation",    "_target",      "_framesloaded", "_name",         "_droptarget",
                                      "_url",         "_highquality", "_focusrect",    "_soundbuftime", "_quality",
                                      "_xmouse",      "_ymouse"};

}  // namespace

// A clip property index from a name such as "_x" (property names are case-insensitive).
int ClipPropIndex(const std::string& name) {
    if (name.empty() || name[0] != '_') return -1;
    for (int i = 0; i < static_cast<int>(ClipProp::Count); ++i)
        if (SameName(name, kClipPropNames[i], true)) return i;
    return -1;
}

Machine::Machine(Host& host, int version) : host_(host), version_(version) {
    objectProto = NewObject(nullptr);
    functionProto = NewObject(objectProto);
    functionProto->kind = ObjectKind::Function;
    functionProto->native = [](Machine&, const Value&, std::span<const Value>) { return Value(); };
    global = NewObject(objectProto);
    arrayProto = NewObject(objectProto);
    arrayProto->kind = ObjectKind::Array;
    stringProto = NewObject(objectProto);
    numberProto = NewObject(objectProto);
    booleanProto = NewObject(objectProto);
    errorProto = NewObject(objectProto);
    movieClipProto = NewObject(objectProto);
    textFieldProto = NewObject(objectProto);
    buttonProto = NewObject(objectProto);
    dateProto = NewObject(objectProto);
    InstallObject(*this);
    InstallFunction(*this);
    InstallArray(*this);
    InstallString(*this);
    InstallNumberAndBoolean(*this);
    InstallMath(*this);
    InstallGlobals(*this);
    InstallMovieClip(*this);
    InstallDrawing(*this);
    InstallTextField(*this);
    InstallError(*this);
    InstallSystem(*this);
    InstallMovieClipLoader(*this);
    InstallSharedObject(*this);
    InstallDate(*this);
    InstallSound(*this);
    InstallGeom(*this);
    InstallColor(*this);
    InstallMovieClipEffects(*this);
    InstallXml(*this);
    InstallLoadVars(*this);
    InstallStyleSheet(*this);
    InstallFilters(*this);
    InstallBitmapData(*this);
}

Machine::~Machine() {
    std::vector<std::function<void(Machine&)>> work;
    work.swap(atEnd);
    for (auto& run : work) {
        actions_ = 0;
        try {
            run(*this);
        } catch (const ScriptAbort&) {
        } catch (const ScriptThrow&) {
        }
    }
}

Object* Machine::NewObject(Object* proto) {
    if (heap_.size() >= kMaxObjects) Abort("too many objects");
    heap_.push_back(std::make_unique<Object>(version_));
    Object* o = heap_.back().get();
    o->proto = proto;
    return o;
}

Object* Machine::NewFunction(NativeFn fn, Object* prototype) {
    Object* f = NewObject(functionProto);
    f->kind = ObjectKind::Function;
    f->native = std::move(fn);
    if (!prototype) prototype = NewObject(objectProto);
    f->Define("prototype", Value(prototype), kDontEnum);
    prototype->Define("constructor", Value(f), kDontEnum);
    return f;
}

Object* Machine::NewArray(const std::vector<Value>& items) {
    Object* a = NewObject(arrayProto);
    a->kind = ObjectKind::Array;
    for (uint32_t i = 0; i < items.size(); ++i) a->Define(std::to_string(i), items[i]);
    a->length = static_cast<uint32_t>(items.size());
    return a;
}

void Machine::Method(Object* target, const std::string& name, NativeFn fn, uint16_t flags) {
    Object* f = NewObject(functionProto);
    f->kind = ObjectKind::Function;
    f->native = std::move(fn);
    target->Define(name, Value(f), flags);
}

Object* Machine::Class(const std::string& name, NativeFn call, NativeFn construct, Object* prototype) {
    if (!call) call = [](Machine&, const Value&, std::span<const Value>) { return Value(); };
    Object* f = NewFunction(std::move(call), prototype);
    f->construct = std::move(construct);
    global->Define(name, Value(f), kDontEnum);
    return f;
}

Object* Machine::ClipObject(const Clip& c) {
    if (!c) return nullptr;
    Object*& slot = host_.ScriptObject(c);
    if (!slot) {
        slot = NewObject(host_.IsTextField(c) ? textFieldProto : host_.IsButton(c) ? buttonProto : movieClipProto);
        slot->kind = ObjectKind::MovieClip;
        slot->clip = c;
        boundClips_.push_back(c);
    }
    return slot;
}

Clip Machine::ClipOf(const Value& v) {
    if (!v.object || v.object->kind != ObjectKind::MovieClip) return nullptr;
    Clip c = v.object->clip.lock();
    return c && host_.IsClip(c) ? c : nullptr;
}

// --- members

Value Machine::Get(Object* o, const std::string& name) {
    if (!o) return Value();
    if (SameName(name, "__proto__", version_ < 7)) return o->proto ? Value(o->proto) : Value();
    if (o->kind == ObjectKind::Array && SameName(name, "length", version_ < 7)) return Value(double(o->length));
    if (o->kind == ObjectKind::MovieClip) {
        if (Property* p = o->Find(name)) {
            if (p->getter) return Call(Value(p->getter), Value(o), {});
            return p->value;
        }
        if (Clip c = ClipOf(Value(o))) {
            const int idx = ClipPropIndex(name);
            if (idx >= 0) return host_.GetProperty(c, static_cast<ClipProp>(idx));
            if (Clip child = host_.Child(c, name)) return Value(ClipObject(child));
            if (SameName(name, "_parent", true)) {
                Clip parent = host_.Parent(c);
                return parent ? Value(ClipObject(parent)) : Value();
            }
            if (SameName(name, "_root", true)) return Value(ClipObject(host_.Root()));
        }
    }
    Object* cur = o;
    for (int i = 0; cur && i < kMaxProtoChain; ++i, cur = cur->proto) {
        if (Property* p = cur->Find(name)) {
            if (p->getter) return Call(Value(p->getter), Value(o), {});
            return p->value;
        }
    }
    return Value();
}

void Machine::Set(Object* o, const std::string& name, const Value& v) {
    if (!o) return;
    const bool caseless = version_ < 7;
    if (SameName(name, "__proto__", caseless)) {
        o->proto = v.object;
        return;
    }
    if (o->kind == ObjectKind::Array) {
        if (SameName(name, "length", caseless)) {
            const double n = ToNumber(v);
            if (n >= 0 && n < 4294967295.0 && n == std::floor(n)) ArraySetLength(o, static_cast<uint32_t>(n));
            return;
        }
        uint32_t index;
        if (ArrayIndex(name, index) && index >= o->length) o->length = index + 1;
    }
    if (o->kind == ObjectKind::MovieClip && !o->Find(name)) {
        if (Clip c = ClipOf(Value(o))) {
            const int idx = ClipPropIndex(name);
            if (idx >= 0) {
                host_.SetProperty(c, static_cast<ClipProp>(idx), v);
                return;
            }
        }
    }
    // A setter found on the chain (addProperty) takes the assignment; watchers never see it.
    Object* cur = o;
    for (int i = 0; cur && i < kMaxProtoChain; ++i, cur = cur->proto) {
        if (Property* p = cur->Find(name)) {
            if (p->setter) {
                const Value args[] = {v};
                Call(Value(p->setter), Value(o), args);
                return;
            }
            if (p->getter) return;  // a getter without setter: read-only
            break;
        }
    }
    const Value stored = o->watchers.empty() ? v : Watched(o, name, v);
    if (Property* p = o->Find(name)) {
        if (!(p->flags & kReadOnly)) p->value = stored;
        return;
    }
    o->Define(name, stored);
}

Value Machine::Watched(Object* o, const std::string& name, const Value& v) {
    const bool caseless = version_ < 7;
    auto find = [&]() -> Watcher* {
        for (Watcher& w : o->watchers)
            if (SameName(w.name, name, caseless)) return &w;
        return nullptr;
    };
    Watcher* w = find();
    if (!w || w->running) return v;
    w->running = true;
    // The callback may unwatch or rewatch, so the watcher is found again by name afterwards.
    struct Reset {
        decltype(find)& again;
        ~Reset() {
            if (Watcher* x = again()) x->running = false;
        }
    } reset{find};
    const Value args[] = {Value(w->name), Get(o, name), v, w->userData};
    return Call(Value(w->callback), Value(o), args);
}

void Machine::ArraySetLength(Object* a, uint32_t n) {
    if (n < a->length) {
        std::vector<std::string> drop;
        for (const Property& p : a->Properties()) {
            uint32_t i;
            if (ArrayIndex(p.name, i) && i >= n) drop.push_back(p.name);
        }
        for (const std::string& d : drop) a->Delete(d);
    }
    a->length = n;
}

Value Machine::GetMember(const Value& obj, const std::string& name) {
    if (obj.type == Type::String && SameName(name, "length", version_ < 7)) {
        return Value(double(version_ >= 6 ? Utf8Length(obj.string) : obj.string.size()));
    }
    Object* o = obj.object ? obj.object : ToObject(obj);
    return o ? Get(o, name) : Value();
}

void Machine::SetMember(const Value& obj, const std::string& name, const Value& v) {
    if (obj.object) Set(obj.object, name, v);
}

// --- calls

Value Machine::Call(const Value& fn, const Value& self, std::span<const Value> args) {
    if (!fn.object || !fn.object->IsFunction()) return Value();
    return Invoke(fn.object, self, args, nullptr);
}

Value Machine::Invoke(Object* fn, const Value& self, std::span<const Value> args, Object* newObject) {
    if (depth_ >= kMaxCallDepth) Abort("calls nested deeper than 256 levels");
    struct Depth {
        int& d;
        explicit Depth(int& x) : d(x) { ++d; }
        ~Depth() { --d; }
    } guard(depth_);
    if (fn->script) return RunScript(fn, self, args, newObject);
    if (newObject && fn->construct) return fn->construct(*this, Value(newObject), args);
    if (fn->native) return fn->native(*this, self, args);
    return Value();
}

Value Machine::Construct(const Value& fn, std::span<const Value> args) {
    if (!fn.object || !fn.object->IsFunction()) return Value();
    Object* f = fn.object;
    Value proto = Get(f, "prototype");
    Object* o = NewObject(proto.object ? proto.object : objectProto);
    o->Define("__constructor__", Value(f), kDontEnum);
    if (version_ < 7) o->Define("constructor", Value(f), kDontEnum);
    Value r = Invoke(f, Value(o), args, o);
    // A native constructor may return the object it made (Array, String, ...).
    if (f->construct && r.IsObject()) return r;
    if (f->script && r.IsObject()) return r;
    return Value(o);
}

Value Machine::CallMethod(const Value& self, const std::string& name, std::span<const Value> args) {
    Value fn = GetMember(self, name);
    return Call(fn, self, args);
}

void Machine::CountAction() {
    if (++actions_ > kMaxActionsPerBlock) Abort("script ran too long");
}

// --- conversions

Object* Machine::ToObject(const Value& v) {
    Object* proto = nullptr;
    ObjectKind kind = ObjectKind::Plain;
    switch (v.type) {
        case Type::Object:
            return v.object;
        case Type::String:
            proto = stringProto;
            kind = ObjectKind::String;
            break;
        case Type::Number:
            proto = numberProto;
            kind = ObjectKind::Number;
            break;
        case Type::Boolean:
            proto = booleanProto;
            kind = ObjectKind::Boolean;
            break;
        default:
            return nullptr;
    }
    Object* o = NewObject(proto);
    o->kind = kind;
    o->primitive = v;
    return o;
}

Value Machine::ToPrimitive(const Value& v, bool preferString) {
    if (!v.IsObject()) return v;
    Object* o = v.object;
    if (o->kind == ObjectKind::MovieClip) {
        if (Clip c = ClipOf(v)) return Value(host_.TargetPath(c));
        return Value("");
    }
    const char* first = preferString ? "toString" : "valueOf";
    const char* second = preferString ? "valueOf" : "toString";
    for (const char* name : {first, second}) {
        Value fn = Get(o, name);
        if (fn.object && fn.object->IsFunction()) {
            Value r = Call(fn, v, {});
            if (!r.IsObject()) return r;
        }
    }
    // Flash falls back to a string rather than failing.
    return Value(o->IsFunction() ? "[type Function]" : "[object Object]");
}

double Machine::ToNumber(const Value& v) {
    switch (v.type) {
        case Type::Undefined:
        case Type::Null:
            return version_ >= 7 ? NAN : 0;
        case Type::Boolean:
            return v.boolean ? 1 : 0;
        case Type::Number:
            return v.number;
        case Type::String:
            return StringToNumber(v.string, version_);
        case Type::Object:
            if (v.object->kind == ObjectKind::MovieClip) return NAN;
            return ToNumber(ToPrimitive(v));
    }
    return NAN;
}

std::string Machine::ToString(const Value& v) {
    switch (v.type) {
        case Type::Undefined:
            return version_ >= 7 ? "undefined" : "";
        case Type::Null:
            return "null";
        case Type::Boolean:
            return v.boolean ? "true" : "false";
        case Type::Number:
            return NumberToString(v.number);
        case Type::String:
            return v.string;
        case Type::Object:
            return ToString(ToPrimitive(v, true));
    }
    return "";
}

bool Machine::StrictEquals(const Value& a, const Value& b) const {
    if (a.type != b.type) return false;
    switch (a.type) {
        case Type::Undefined:
        case Type::Null:
            return true;
        case Type::Boolean:
            return a.boolean == b.boolean;
        case Type::Number:
            return a.number == b.number;
        case Type::String:
            return a.string == b.string;
        case Type::Object:
            return a.object == b.object;
    }
    return false;
}

bool Machine::Equals(const Value& a, const Value& b) {
    if (a.type == b.type) return StrictEquals(a, b);
    if (a.IsNullish() && b.IsNullish()) return true;
    if (a.IsNullish() || b.IsNullish()) return false;
    if (a.type == Type::Number && b.type == Type::String) return a.number == ToNumber(b);
    if (a.type == Type::String && b.type == Type::Number) return ToNumber(a) == b.number;
    if (a.type == Type::Boolean) return Equals(Value(a.boolean ? 1.0 : 0.0), b);
    if (b.type == Type::Boolean) return Equals(a, Value(b.boolean ? 1.0 : 0.0));
    if (a.IsObject() && !b.IsObject()) return Equals(ToPrimitive(a), b);
    if (b.IsObject() && !a.IsObject()) return Equals(a, ToPrimitive(b));
    return false;
}

Value Machine::Less(const Value& a, const Value& b) {
    const Value pa = ToPrimitive(a), pb = ToPrimitive(b);
    if (pa.type == Type::String && pb.type == Type::String) return Value(pa.string < pb.string);
    const double x = ToNumber(pa), y = ToNumber(pb);
    if (std::isnan(x) || std::isnan(y)) return Value();
    return Value(x < y);
}

std::string Machine::TypeOf(const Value& v) {
    if (v.IsObject()) {
        if (v.object->kind == ObjectKind::MovieClip) {
            const Clip c = ClipOf(v);
            return c && (host_.IsTextField(c) || host_.IsButton(c)) ? "object" : "movieclip";
        }
        if (v.object->IsFunction()) return "function";
    }
    return TypeOfName(v);
}

bool Machine::InstanceOf(const Value& v, const Value& ctor) {
    if (!v.IsObject() || !ctor.IsObject()) return false;
    const Value proto = Get(ctor.object, "prototype");
    if (!proto.object) return false;
    Object* o = v.object->proto;
    for (int i = 0; o && i < kMaxProtoChain; ++i, o = o->proto) {
        if (o == proto.object) return true;
        // A class's prototype lists the interfaces it implements (ImplementsOp).
        const Property* list = o->Find("__interfaces__");
        if (!list || !list->value.object) continue;
        Object* interfaces = list->value.object;
        for (uint32_t k = 0; k < interfaces->length; ++k) {
            const Value iface = Get(interfaces, std::to_string(k));
            if (iface.IsObject() && Get(iface.object, "prototype").object == proto.object) return true;
        }
    }
    return false;
}

// --- collector

void Machine::Mark(Object* o) {
    markStack_.push_back(o);
    while (!markStack_.empty()) {
        Object* x = markStack_.back();
        markStack_.pop_back();
        if (!x || x->marked) continue;
        x->marked = true;
        markStack_.push_back(x->proto);
        for (const Property& p : x->Properties()) {
            if (p.value.object) markStack_.push_back(p.value.object);
            markStack_.push_back(p.getter);
            markStack_.push_back(p.setter);
        }
        for (const Watcher& w : x->watchers) {
            markStack_.push_back(w.callback);
            if (w.userData.object) markStack_.push_back(w.userData.object);
        }
        if (x->primitive.object) markStack_.push_back(x->primitive.object);
        if (x->script)
            for (Object* s : x->script->scope) markStack_.push_back(s);
        if (x->data) x->data->Refs(markStack_);
    }
}

void Machine::Collect() {
    // Only once the heap has grown well past what survived last time: a movie that makes few
    // objects pays almost nothing per frame. Bitmaps count by their pixels: a movie that makes a
    // new one each frame must have the old ones freed long before it reaches the budget.
    if (heap_.size() < liveAfterCollect_ * 2 + 4096 && bitmapBytes < bitmapBytesAfterCollect_ + kMaxBitmapBytes / 8)
        return;
    for (auto& o : heap_) o->marked = false;
    for (Object* root : {global, objectProto, functionProto, arrayProto, stringProto, numberProto, booleanProto,
                         errorProto, movieClipProto, dateProto})
        Mark(root);
    for (Object* root : builtinRoots) Mark(root);
    for (const Timer& t : timers) {
        MarkValue(t.fn);
        for (const Value& a : t.args) MarkValue(a);
    }
    for (const Deferred& d : deferred) Mark(d.object);
    // Clips still on the display tree keep their script objects; gone ones let them go.
    std::vector<Clip> alive;
    for (Clip& c : boundClips_) {
        if (host_.IsClip(c)) {
            Mark(host_.ScriptObject(c));
            alive.push_back(std::move(c));
        } else {
            host_.ScriptObject(c) = nullptr;
        }
    }
    boundClips_.swap(alive);
    heap_.erase(std::remove_if(heap_.begin(), heap_.end(), [](const std::unique_ptr<Object>& o) { return !o->marked; }),
                heap_.end());
    liveAfterCollect_ = heap_.size();
    bitmapBytesAfterCollect_ = bitmapBytes;
}

void Machine::CallHandler(Object* o, const std::string& name) {
    Value fn = Get(o, name);
    if (!fn.object || !fn.object->IsFunction()) return;
    actions_ = 0;
    try {
        Call(fn, Value(o), {});
    } catch (const ScriptAbort& a) {
        lastAbort_ = a.reason;
    } catch (const ScriptThrow&) {
    }
}

void Machine::RunTimers() {
    const double now = host_.Milliseconds();
    // Work deferred before this pass runs after the timers; what they (or it) defer waits a frame.
    std::vector<Deferred> work;
    work.swap(deferred);
    // Timers added or cleared by a callback take effect from the next pass.
    std::vector<int> due;
    for (const Timer& t : timers)
        if (t.due <= now) due.push_back(t.id);
    for (int id : due) {
        auto it = std::find_if(timers.begin(), timers.end(), [id](const Timer& t) { return t.id == id; });
        if (it == timers.end()) continue;
        Timer t = *it;
        if (t.repeat) {
            it->due = now + std::max(1.0, t.interval);
        } else {
            timers.erase(it);
        }
        actions_ = 0;
        try {
            if (t.method.empty()) {
                Call(t.fn, Value(), t.args);
            } else {
                CallMethod(t.fn, t.method, t.args);
            }
        } catch (const ScriptAbort& a) {
            lastAbort_ = a.reason;
        } catch (const ScriptThrow&) {
        }
    }
    for (Deferred& d : work) {
        actions_ = 0;
        try {
            d.run(*this, d.object);
        } catch (const ScriptAbort& a) {
            lastAbort_ = a.reason;
        } catch (const ScriptThrow&) {
        }
    }
}

}  // namespace lumarel::engine::avm1
