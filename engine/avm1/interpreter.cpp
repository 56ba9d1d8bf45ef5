// The bytecode interpreter: runs action blocks (frame scripts, function bodies) record by
// record. Every operand is read through a bounds-checked reader over the block, so malformed
// bytecode ends the block instead of reading outside it. Control leaves a nested body (With,
// Try) through a completion that carries a Return or a Jump target to the body that holds it;
// script exceptions (Throw) are C++ exceptions caught by Try records and by RunBlock.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/avm1/machine.h"
#include "engine/avm1/utf8.h"
#include "engine/swf/bit_reader.h"

namespace lumarel::engine::avm1 {

namespace {

using swf::BitReader;

// DefineFunction2 flags.
enum : uint16_t {
    kPreloadThis = 0x01,
    kSuppressThis = 0x02,
    kPreloadArguments = 0x04,
    kSuppressArguments = 0x08,
    kPreloadSuper = 0x10,
    kSuppressSuper = 0x20,
    kPreloadRoot = 0x40,
    kPreloadParent = 0x80,
    kPreloadGlobal = 0x100,
};

constexpr size_t kMaxStack = 1 << 20;

bool Caseless(int version) { return version < 7; }

std::string Encode(uint32_t cp) {
    std::string s;
    Utf8Append(cp, s);
    return s;
}

std::string Substring(const std::string& s, double index, double count, bool multibyte) {
    // 1-based index; out-of-range parts are clipped.
    if (std::isnan(index)) index = 1;
    if (std::isnan(count)) count = 0;
    if (!multibyte) {
        const double size = static_cast<double>(s.size());
        double b = std::clamp(index - 1, 0.0, size);
        double n = count < 0 ? size - b : std::clamp(count, 0.0, size - b);
        return s.substr(static_cast<size_t>(b), static_cast<size_t>(n));
    }
    const Utf8Chars chars(s);
    const double size = static_cast<double>(chars.Count());
    double b = std::clamp(index - 1, 0.0, size);
    double n = count < 0 ? size - b : std::clamp(count, 0.0, size - b);
    return chars.Sub(static_cast<size_t>(b), static_cast<size_t>(b + n));
}

}  // namespace

// One activation: a frame script or a function call.
struct Activation {
    std::vector<Object*> scope;  // outermost (_global) first
    Value self;
    std::vector<Value> regs;
    std::shared_ptr<const std::vector<std::string>> constants;
    Clip origin;                 // the timeline the code runs on
    Clip target;                 // changed by SetTarget / tellTarget
    bool targetMissing = false;  // SetTarget named no clip: timeline actions do nothing
    Object* locals = nullptr;    // function activations: where var and function definitions go
    Object* superObject = nullptr;
    Object* home = nullptr;  // the prototype the running function was found on (for super)
    Object* callee = nullptr;
    std::vector<Value> stack;
};

class Interpreter {
public:
    explicit Interpreter(Machine& m) : m_(m), version_(m.Version()) {}

    // Completion of a body: normal end, a Return, or a jump whose target lies outside it.
    struct Completion {
        enum Kind { Normal, Return, Jump } kind = Normal;
        Value value;
        size_t target = 0;
    };

    Completion Run(std::span<const uint8_t> code, size_t begin, size_t end, Activation& a);

private:
    Value Pop(Activation& a) {
        if (a.stack.empty()) return Value();
        Value v = std::move(a.stack.back());
        a.stack.pop_back();
        return v;
    }
    void Push(Activation& a, Value v) {
        if (a.stack.size() >= kMaxStack) m_.Abort("stack overflow");
        a.stack.push_back(std::move(v));
    }
    double PopNumber(Activation& a) { return m_.ToNumber(Pop(a)); }
    std::string PopString(Activation& a) { return m_.ToString(Pop(a)); }
    std::vector<Value> PopArgs(Activation& a) {
        const double n = PopNumber(a);
        const size_t count = std::isfinite(n) && n > 0 ? std::min<size_t>(static_cast<size_t>(n), a.stack.size()) : 0;
        std::vector<Value> args;
        args.reserve(count);
        for (size_t i = 0; i < count; ++i) args.push_back(Pop(a));
        return args;
    }
    Value Bool(bool b) const { return version_ < 5 ? Value(b ? 1.0 : 0.0) : Value(b); }

    Object* TargetObject(Activation& a) {
        Clip c = a.target ? a.target : a.origin;
        Object* o = m_.ClipObject(c);
        return o ? o : m_.global;
    }
    Clip CurrentTarget(Activation& a) {
        if (a.targetMissing) return nullptr;
        Clip c = a.target ? a.target : a.origin;
        return c && m_.HostRef().IsClip(c) ? c : nullptr;
    }

    // _root: the level the current target stands in (the timeline with no parent above it), or
    // the nearest clip on the way there whose _lockroot is set.
    Clip RootOf(Activation& a) {
        Host& h = m_.HostRef();
        Clip c = CurrentTarget(a);
        for (int guard = 0; c && guard < 4096; ++guard) {  // the display tree is far shallower
            Clip parent = h.Parent(c);
            if (!parent) return c;
            if (Object* o = h.ScriptObject(c))
                if (const Property* p = o->Find("_lockroot"); p && !p->getter && m_.ToBoolean(p->value)) return c;
            c = parent;
        }
        return h.Root();
    }
    // "_level7" and the like: true with the level's number.
    static bool LevelName(const std::string& s, int& n) {
        if (s.size() < 7 || s.size() > 12 || !SameName(s.substr(0, 6), "_level", true)) return false;
        n = 0;
        for (size_t i = 6; i < s.size(); ++i) {
            if (s[i] < '0' || s[i] > '9') return false;
            n = n * 10 + (s[i] - '0');
        }
        return true;
    }
    Clip LevelClip(const std::string& s) {
        int n;
        return LevelName(s, n) ? m_.HostRef().Level(n, false) : nullptr;
    }

    bool Has(Object* o, const std::string& name);
    Value LookupVariable(Activation& a, const std::string& name, bool& found);

public:
    Value GetVariable(Activation& a, const std::string& name);
    void SetVariable(Activation& a, const std::string& name, const Value& v);

private:
    Value ResolvePathValue(Activation& a, const std::string& path);
    Clip ResolveClip(Activation& a, const std::string& path);
    Clip ClipFromValue(Activation& a, const Value& v);
    Value MakeFunction(Activation& a, std::unique_ptr<ScriptFunction> f);
    void GotoFrameValue(Activation& a, const Value& frame, bool play, int bias);
    void GetUrl(Activation& a, const std::string& url, const std::string& target, uint8_t flags);
    Value CallMethod(Activation& a, const Value& obj, const Value& name, std::span<const Value> args);
    Value NewMethod(Activation& a, const Value& obj, const Value& name, std::span<const Value> args);
    void Enumerate(Activation& a, const Value& obj);
    Completion Try(std::span<const uint8_t> code, BitReader& b, size_t after, Activation& a);

    Machine& m_;
    int version_;
};

bool Interpreter::Has(Object* o, const std::string& name) {
    if (!o) return false;
    if (o->Lookup(name)) return true;
    if (o->kind == ObjectKind::MovieClip) {
        Clip c = m_.ClipOf(Value(o));
        if (!c) return false;
        if (ClipPropIndex(name) >= 0 || SameName(name, "_parent", true) || SameName(name, "_root", true)) return true;
        return m_.HostRef().Child(c, name) != nullptr;
    }
    return false;
}

Value Interpreter::LookupVariable(Activation& a, const std::string& name, bool& found) {
    found = true;
    const bool caseless = Caseless(version_);
    if (SameName(name, "this", caseless)) return a.self.IsUndefined() ? Value(TargetObject(a)) : a.self;
    if (SameName(name, "_global", caseless)) return Value(m_.global);
    if (SameName(name, "_root", caseless)) return Value(m_.ClipObject(RootOf(a)));
    if (int n; LevelName(name, n)) {
        const Clip level = m_.HostRef().Level(n, false);
        return level ? Value(m_.ClipObject(level)) : Value();
    }
    if (SameName(name, "super", caseless) && a.superObject) return Value(a.superObject);
    for (size_t i = a.scope.size(); i-- > 0;) {
        Object* o = a.scope[i];
        if (Has(o, name)) return m_.Get(o, name);
    }
    found = false;
    return Value();
}

Value Interpreter::GetVariable(Activation& a, const std::string& name) {
    if (name.find_first_of("/:.") != std::string::npos) return ResolvePathValue(a, name);
    bool found;
    return LookupVariable(a, name, found);
}

// "a.b.c", "/a/b:c", "../c", "_root.a:c": the value named by a path (a clip for a bare target).
Value Interpreter::ResolvePathValue(Activation& a, const std::string& path) {
    const size_t colon = path.rfind(':');
    if (colon != std::string::npos) {
        Clip c = ResolveClip(a, path.substr(0, colon));
        return c ? m_.Get(m_.ClipObject(c), path.substr(colon + 1)) : Value();
    }
    if (path.find('/') != std::string::npos) {
        Clip c = ResolveClip(a, path);
        return c ? Value(m_.ClipObject(c)) : Value();
    }
    // Dot path: the first name through the scope chain, the rest as members.
    size_t i = 0;
    Value cur;
    bool first = true;
    while (i <= path.size()) {
        size_t j = path.find('.', i);
        if (j == std::string::npos) j = path.size();
        const std::string seg = path.substr(i, j - i);
        if (first) {
            bool found;
            cur = seg.empty() ? Value() : LookupVariable(a, seg, found);
            first = false;
        } else if (seg.empty() && j + 1 <= path.size() && i > 0) {
            // ".." inside a dot path: the parent
            Clip c = m_.ClipOf(cur);
            cur = c ? Value(m_.ClipObject(m_.HostRef().Parent(c))) : Value();
            ++j;
        } else {
            cur = m_.GetMember(cur, seg);
        }
        if (j >= path.size()) break;
        i = j + 1;
    }
    return cur;
}

// A clip by target path, slash or dot syntax, relative to the current target.
Clip Interpreter::ResolveClip(Activation& a, const std::string& path) {
    Host& h = m_.HostRef();
    Clip cur = CurrentTarget(a);
    if (path.empty()) return cur;
    size_t i = 0;
    if (path[0] == '/') {
        cur = RootOf(a);
        i = 1;
    }
    bool first = true;
    while (cur && i <= path.size()) {
        size_t j = path.find_first_of("/.", i);
        if (j == std::string::npos) j = path.size();
        std::string seg = path.substr(i, j - i);
        if (seg.empty() && j < path.size() && path[j] == '.' && j + 1 < path.size() && path[j + 1] == '.') {
            seg = "..";
            j += 2;
        }
        if (!seg.empty()) {
            if (seg == ".." || SameName(seg, "_parent", true)) {
                cur = h.Parent(cur);
            } else if (SameName(seg, "_root", true)) {
                cur = RootOf(a);
            } else if (Clip level = first ? LevelClip(seg) : nullptr) {
                cur = level;
            } else if (SameName(seg, "this", true)) {
            } else if (Clip child = h.Child(cur, seg)) {
                cur = child;
            } else if (first) {
                // A variable holding a clip ("mc.child" where mc is a variable).
                bool found;
                Clip c = m_.ClipOf(LookupVariable(a, seg, found));
                cur = c;
            } else {
                Clip c = m_.ClipOf(m_.Get(m_.ClipObject(cur), seg));
                cur = c;
            }
        }
        first = false;
        if (j >= path.size()) break;
        i = j + 1;
    }
    return cur;
}

// getURL and what compiles to it: fscommand, loadMovie / loadMovieNum (a clip or "_levelN" as
// target) and loadVariables. Nothing leaves the machine: browser targets are ignored.
void Interpreter::GetUrl(Activation& a, const std::string& url, const std::string& target, uint8_t flags) {
    Host& h = m_.HostRef();
    if (url.size() >= 10 && SameName(url.substr(0, 10), "fscommand:", true)) {
        h.FsCommand(url.substr(10), target);
        return;
    }
    Clip clip;
    int level = -1;
    if (flags & 0x40) {
        clip = ResolveClip(a, target);
    } else if (LevelName(target, level)) {
        if (url.empty() && level > 0 && !(flags & 0x80)) return h.RemoveLevel(level);
        clip = h.Level(level, !url.empty() && !(flags & 0x80));
    }
    if (!clip) return;
    if (flags & 0x80) {
        const Value args[] = {Value(url)};
        m_.CallMethod(Value(m_.ClipObject(clip)), "loadVariables", args);
    } else if (url.empty()) {
        h.UnloadMovie(clip);
    } else {
        h.LoadMovie(clip, url);
    }
}

Clip Interpreter::ClipFromValue(Activation& a, const Value& v) {
    if (v.IsObject()) return m_.ClipOf(v);
    return ResolveClip(a, m_.ToString(v));
}

void Interpreter::SetVariable(Activation& a, const std::string& name, const Value& v) {
    const size_t colon = name.rfind(':');
    const size_t dot = name.rfind('.');
    if (colon != std::string::npos || dot != std::string::npos) {
        const size_t cut = colon != std::string::npos ? colon : dot;
        const std::string head = name.substr(0, cut), member = name.substr(cut + 1);
        Value owner = colon != std::string::npos || head.find('/') != std::string::npos
                          ? Value(m_.ClipObject(ResolveClip(a, head)))
                          : ResolvePathValue(a, head);
        if (owner.IsObject()) m_.Set(owner.object, member, v);
        return;
    }
    if (name.find('/') != std::string::npos) return;  // a bare slash target names no variable
    // An existing variable is assigned where it lives; a new one goes to the timeline.
    for (size_t i = a.scope.size(); i-- > 1;) {
        Object* o = a.scope[i];
        if (o->kind == ObjectKind::MovieClip) break;  // timelines get new variables; stop here
        if (Has(o, name)) {
            m_.Set(o, name, v);
            return;
        }
    }
    m_.Set(TargetObject(a), name, v);
}

Value Interpreter::MakeFunction(Activation& a, std::unique_ptr<ScriptFunction> f) {
    Object* fn = m_.NewObject(m_.functionProto);
    fn->kind = ObjectKind::Function;
    f->scope = a.scope;
    f->constants = a.constants;
    f->clip = a.target ? a.target : a.origin;
    f->version = version_;
    fn->script = std::move(f);
    Object* proto = m_.NewObject(m_.objectProto);
    proto->Define("constructor", Value(fn), kDontEnum);
    fn->Define("prototype", Value(proto), kDontEnum);
    return Value(fn);
}

void Interpreter::GotoFrameValue(Activation& a, const Value& frame, bool play, int bias) {
    Clip c = CurrentTarget(a);
    Value f = frame;
    if (f.type == Type::String) {
        // "target:frame" or "target:label"
        std::string s = f.string;
        const size_t colon = s.rfind(':');
        if (colon != std::string::npos) {
            c = ResolveClip(a, s.substr(0, colon));
            s = s.substr(colon + 1);
        }
        if (!c) return;
        const double n = StringToNumber(s, version_);
        if (std::isnan(n)) {
            m_.HostRef().GotoLabel(c, s, play);
            return;
        }
        f = Value(n);
    }
    if (!c) return;
    const double n = m_.ToNumber(f);
    if (!std::isfinite(n)) return;
    const double frame0 = std::floor(n) - 1 + bias;
    if (frame0 < 0) {
        m_.HostRef().GotoFrame(c, 0, play);
        return;
    }
    m_.HostRef().GotoFrame(c, static_cast<int>(std::min(frame0, 1e9)), play);
}

Value Interpreter::CallMethod(Activation& a, const Value& obj, const Value& name, std::span<const Value> args) {
    const std::string method = name.IsUndefined() ? "" : m_.ToString(name);
    if (method.empty()) {
        if (obj.object && obj.object == a.superObject) {
            // super(...): the superclass constructor on this object.
            Value ctor = m_.Get(a.home, "__constructor__");
            if (!ctor.object) return Value();
            Value proto = m_.Get(ctor.object, "prototype");
            m_.pendingHome = proto.object;
            return m_.Call(ctor, a.self, args);
        }
        return m_.Call(obj, Value(), args);
    }
    if (obj.object && obj.object == a.superObject) {
        // super.method(...): found above the running function's prototype, called on this.
        Object* holder = a.home ? a.home->proto : nullptr;
        for (Object* o = holder; o; o = o->proto)
            if (o->Find(method)) {
                holder = o;
                break;
            }
        Value fn = holder ? m_.Get(holder, method) : Value();
        m_.pendingHome = holder;
        return m_.Call(fn, a.self, args);
    }
    Value fn = m_.GetMember(obj, method);
    if (!fn.object || !fn.object->IsFunction()) return Value();
    // The prototype object the method was found on, for super inside it.
    Object* holder = nullptr;
    if (obj.object)
        for (Object* o = obj.object; o; o = o->proto)
            if (o->Find(method)) {
                holder = o;
                break;
            }
    m_.pendingHome = holder;
    return m_.Call(fn, obj, args);
}

Value Interpreter::NewMethod(Activation& a, const Value& obj, const Value& name, std::span<const Value> args) {
    const std::string method = name.IsUndefined() ? "" : m_.ToString(name);
    Value fn = method.empty() ? obj : m_.GetMember(obj, method);
    (void)a;
    return m_.Construct(fn, args);
}

void Interpreter::Enumerate(Activation& a, const Value& obj) {
    Push(a, Value::Null());  // the end marker
    if (!obj.object) return;
    std::vector<std::string> names;
    const bool caseless = Caseless(version_);
    int guard = 0;
    for (Object* o = obj.object; o && guard < 256; o = o->proto, ++guard) {
        for (const std::string& k : o->Keys()) {
            bool seen = false;
            for (const std::string& n : names) seen = seen || SameName(n, k, caseless);
            if (!seen) names.push_back(k);
        }
    }
    for (auto it = names.rbegin(); it != names.rend(); ++it) Push(a, Value(*it));
}

Interpreter::Completion Interpreter::Try(std::span<const uint8_t> code, BitReader& b, size_t after, Activation& a) {
    const uint8_t flags = b.U8();
    const uint16_t trySize = b.U16(), catchSize = b.U16(), finallySize = b.U16();
    const bool inRegister = flags & 4;
    std::string catchName;
    uint8_t catchRegister = 0;
    if (inRegister)
        catchRegister = b.U8();
    else
        catchName = b.Str();
    Completion done{Completion::Normal, Value(), 0};
    if (!b.Ok()) return done;
    const size_t tryBegin = after, catchBegin = tryBegin + trySize, finallyBegin = catchBegin + catchSize;
    const size_t finallyEnd = finallyBegin + finallySize;
    if (finallyEnd > code.size()) return Completion{Completion::Jump, Value(), code.size()};
    const size_t depth = a.stack.size();
    bool pending = false;
    Value thrown;
    try {
        done = Run(code, tryBegin, catchBegin, a);
    } catch (const ScriptThrow& t) {
        a.stack.resize(std::min(depth, a.stack.size()));
        if (flags & 1) {
            if (inRegister) {
                if (catchRegister < a.regs.size()) a.regs[catchRegister] = t.value;
            } else {
                SetVariable(a, catchName, t.value);
            }
            try {
                done = Run(code, catchBegin, finallyBegin, a);
            } catch (const ScriptThrow& t2) {
                if (!(flags & 2)) throw;
                pending = true;
                thrown = t2.value;
            }
        } else {
            pending = true;
            thrown = t.value;
        }
    }
    if (flags & 2) {
        Completion f = Run(code, finallyBegin, finallyEnd, a);
        if (f.kind != Completion::Normal) return f;
    }
    if (pending) throw ScriptThrow{thrown};
    if (done.kind == Completion::Normal) done = Completion{Completion::Jump, Value(), finallyEnd};
    return done;
}

Interpreter::Completion Interpreter::Run(std::span<const uint8_t> code, size_t begin, size_t end, Activation& a) {
    Host& host = m_.HostRef();
    size_t pc = begin;
    end = std::min(end, code.size());
    while (pc < end) {
        m_.CountAction();
        const uint8_t op = code[pc];
        if (op == 0) break;
        size_t next = pc + 1;
        std::span<const uint8_t> body;
        if (op >= 0x80) {
            if (pc + 3 > code.size()) break;
            const size_t len = code[pc + 1] | (code[pc + 2] << 8);
            if (pc + 3 + len > code.size()) break;
            body = code.subspan(pc + 3, len);
            next = pc + 3 + len;
        }
        BitReader b(body);
        size_t jumpTo = next;
        switch (op) {
            // --- timeline control on the current target
            case 0x04:  // NextFrame
            case 0x05:  // PrevFrame
                if (Clip c = CurrentTarget(a)) {
                    const double f = m_.ToNumber(host.GetProperty(c, ClipProp::CurrentFrame));
                    host.GotoFrame(c, std::max(0, static_cast<int>(f) - 1 + (op == 0x04 ? 1 : -1)), false);
                }
                break;
            case 0x06:  // Play
            case 0x07:  // Stop
                if (Clip c = CurrentTarget(a)) host.SetPlaying(c, op == 0x06);
                break;
            case 0x08: {  // ToggleQuality: high quality and low in turn
                Host& h = m_.HostRef();
                const bool high = m_.ToNumber(h.GetProperty(h.Root(), ClipProp::HighQuality)) >= 1;
                h.SetProperty(h.Root(), ClipProp::HighQuality, Value(high ? 0.0 : 1.0));
                break;
            }
            case 0x09:  // StopSounds
                m_.HostRef().StopSounds(0, std::string());
                break;
            case 0x81:  // GotoFrame
                if (Clip c = CurrentTarget(a)) {
                    const uint16_t f = b.U16();
                    if (b.Ok()) host.GotoFrame(c, f, false);
                }
                break;
            case 0x8C:  // GotoLabel
                if (Clip c = CurrentTarget(a)) {
                    const std::string label = b.Str();
                    if (b.Ok()) host.GotoLabel(c, label, false);
                }
                break;
            case 0x9F: {  // GotoFrame2
                const uint8_t flags = b.U8();
                const int bias = (flags & 2) ? b.U16() : 0;
                GotoFrameValue(a, Pop(a), flags & 1, bias);
                break;
            }
            case 0x8B: {  // SetTarget
                const std::string path = b.Str();
                a.target = nullptr;
                a.targetMissing = false;
                if (!path.empty()) {
                    a.target = ResolveClip(a, path);
                    a.targetMissing = !a.target;
                }
                break;
            }
            case 0x20: {  // SetTarget2
                const Value t = Pop(a);
                a.target = nullptr;
                a.targetMissing = false;
                if (t.IsObject() || !m_.ToString(t).empty()) {
                    a.target = ClipFromValue(a, t);
                    a.targetMissing = !a.target;
                }
                break;
            }
            case 0x8A:  // WaitForFrame: every frame is loaded
                break;
            case 0x8D:  // WaitForFrame2
                Pop(a);
                break;
            case 0x83: {  // GetURL
                const std::string url = b.Str(), target = b.Str();
                GetUrl(a, url, target, 0);
                break;
            }
            case 0x9A: {  // GetURL2: load-variables (0x80) and load-target (0x40) flags
                const uint8_t flags = b.U8();
                const std::string target = PopString(a), url = PopString(a);
                GetUrl(a, url, target, flags);
                break;
            }
            case 0x9E: {  // Call: runs a frame's actions now, where the target's timeline stands
                const Value frame = Pop(a);
                Clip c = CurrentTarget(a);
                std::string s = m_.ToString(frame);
                if (const size_t colon = s.rfind(':'); colon != std::string::npos) {
                    c = ResolveClip(a, s.substr(0, colon));
                    s = s.substr(colon + 1);
                }
                if (c) host.CallFrame(c, s);
                break;
            }

            // --- stack and registers
            case 0x96: {  // Push
                while (b.Ok() && !b.AtEnd()) {
                    const uint8_t type = b.U8();
                    switch (type) {
                        case 0:
                            Push(a, Value(b.Str()));
                            break;
                        case 1: {
                            const uint32_t bits = b.U32();
                            float f;
                            std::memcpy(&f, &bits, 4);
                            Push(a, Value(static_cast<double>(f)));
                            break;
                        }
                        case 2:
                            Push(a, Value::Null());
                            break;
                        case 3:
                            Push(a, Value());
                            break;
                        case 4: {
                            const uint8_t r = b.U8();
                            Push(a, r < a.regs.size() ? a.regs[r] : Value());
                            break;
                        }
                        case 5:
                            Push(a, Bool(b.U8() != 0));
                            break;
                        case 6: {
                            const uint64_t hi = b.U32(), lo = b.U32();
                            const uint64_t bits = (hi << 32) | lo;
                            double d;
                            std::memcpy(&d, &bits, 8);
                            Push(a, Value(d));
                            break;
                        }
                        case 7:
                            Push(a, Value(static_cast<double>(static_cast<int32_t>(b.U32()))));
                            break;
                        case 8:
                        case 9: {
                            const uint16_t i = type == 8 ? b.U8() : b.U16();
                            if (a.constants && i < a.constants->size())
                                Push(a, Value((*a.constants)[i]));
                            else
                                Push(a, Value());
                            break;
                        }
                        default:
                            b.Fail();
                            break;
                    }
                }
                break;
            }
            case 0x17:  // Pop
                Pop(a);
                break;
            case 0x4C:  // PushDuplicate
                Push(a, a.stack.empty() ? Value() : a.stack.back());
                break;
            case 0x4D:  // StackSwap
                if (a.stack.size() >= 2) std::swap(a.stack[a.stack.size() - 1], a.stack[a.stack.size() - 2]);
                break;
            case 0x87: {  // StoreRegister
                const uint8_t r = b.U8();
                if (b.Ok() && r < a.regs.size()) a.regs[r] = a.stack.empty() ? Value() : a.stack.back();
                break;
            }
            case 0x88: {  // ConstantPool
                auto pool = std::make_shared<std::vector<std::string>>();
                const uint16_t n = b.U16();
                for (uint16_t i = 0; i < n && b.Ok(); ++i) pool->push_back(b.Str());
                a.constants = pool;
                break;
            }

            // --- SWF 4 arithmetic, logic and strings
            case 0x0A:    // Add
            case 0x0B:    // Subtract
            case 0x0C:    // Multiply
            case 0x0D: {  // Divide
                const double y = PopNumber(a), x = PopNumber(a);
                if (op == 0x0A) Push(a, Value(x + y));
                if (op == 0x0B) Push(a, Value(x - y));
                if (op == 0x0C) Push(a, Value(x * y));
                if (op == 0x0D) {
                    if (y == 0 && version_ < 5)
                        Push(a, Value("#ERROR#"));
                    else
                        Push(a, Value(x / y));
                }
                break;
            }
            case 0x0E: {  // Equals
                const double y = PopNumber(a), x = PopNumber(a);
                Push(a, Bool(x == y));
                break;
            }
            case 0x0F: {  // Less
                const double y = PopNumber(a), x = PopNumber(a);
                Push(a, Bool(x < y));
                break;
            }
            case 0x10:    // And
            case 0x11: {  // Or
                const bool y = m_.ToBoolean(Pop(a)), x = m_.ToBoolean(Pop(a));
                Push(a, Bool(op == 0x10 ? (x && y) : (x || y)));
                break;
            }
            case 0x12:  // Not
                Push(a, Bool(!m_.ToBoolean(Pop(a))));
                break;
            case 0x13:    // StringEquals
            case 0x29:    // StringLess
            case 0x68: {  // StringGreater
                const std::string y = PopString(a), x = PopString(a);
                Push(a, Bool(op == 0x13 ? x == y : op == 0x29 ? x < y : x > y));
                break;
            }
            case 0x14:  // StringLength
                Push(a, Value(static_cast<double>(PopString(a).size())));
                break;
            case 0x31:  // MBStringLength
                Push(a, Value(static_cast<double>(Utf8Decode(PopString(a)).size())));
                break;
            case 0x15:    // StringExtract
            case 0x35: {  // MBStringExtract
                const double count = PopNumber(a), index = PopNumber(a);
                const std::string s = PopString(a);
                Push(a, Value(Substring(s, ToInteger(index), ToInteger(count), op == 0x35)));
                break;
            }
            case 0x21: {  // StringAdd
                const std::string y = PopString(a), x = PopString(a);
                Push(a, Value(x + y));
                break;
            }
            case 0x18:  // ToInteger
                Push(a, Value(ToInteger(PopNumber(a))));
                break;
            case 0x32:    // CharToAscii
            case 0x36: {  // MBCharToAscii
                const std::string s = PopString(a);
                if (s.empty()) {
                    Push(a, Value(0.0));
                } else if (op == 0x32 && version_ < 6) {
                    Push(a, Value(static_cast<double>(static_cast<uint8_t>(s[0]))));
                } else {
                    Push(a, Value(static_cast<double>(Utf8Decode(s)[0])));
                }
                break;
            }
            case 0x33:    // AsciiToChar
            case 0x37: {  // MBAsciiToChar
                const uint32_t cp = ToUint32(PopNumber(a));
                if (op == 0x33 && version_ < 6)
                    Push(a, Value(std::string(1, static_cast<char>(cp & 0xFF))));
                else
                    Push(a, Value(cp == 0 ? std::string() : Encode(cp & 0x1FFFFF)));
                break;
            }

            // --- variables and properties
            case 0x1C: {  // GetVariable
                const std::string name = PopString(a);
                Push(a, GetVariable(a, name));
                break;
            }
            case 0x1D: {  // SetVariable
                Value v = Pop(a);
                SetVariable(a, PopString(a), v);
                break;
            }
            case 0x22: {  // GetProperty
                const double index = PopNumber(a);
                const Value t = Pop(a);
                Clip c = ClipFromValue(a, t);
                const int i = std::isfinite(index) ? static_cast<int>(index) : -1;
                if (c && i >= 0 && i < static_cast<int>(ClipProp::Count))
                    Push(a, host.GetProperty(c, static_cast<ClipProp>(i)));
                else
                    Push(a, Value());
                break;
            }
            case 0x23: {  // SetProperty
                Value v = Pop(a);
                const double index = PopNumber(a);
                const Value t = Pop(a);
                Clip c = ClipFromValue(a, t);
                const int i = std::isfinite(index) ? static_cast<int>(index) : -1;
                if (c && i >= 0 && i < static_cast<int>(ClipProp::Count))
                    host.SetProperty(c, static_cast<ClipProp>(i), v);
                break;
            }
            case 0x3C: {  // DefineLocal
                Value v = Pop(a);
                const std::string name = PopString(a);
                if (a.locals)
                    a.locals->Define(name, v);
                else
                    m_.Set(TargetObject(a), name, v);
                break;
            }
            case 0x41: {  // DefineLocal2
                const std::string name = PopString(a);
                Object* o = a.locals ? a.locals : TargetObject(a);
                if (!o->Find(name)) o->Define(name, Value());
                break;
            }
            case 0x3A: {  // Delete
                const std::string name = PopString(a);
                const Value o = Pop(a);
                Push(a, Bool(o.object && o.object->Delete(name)));
                break;
            }
            case 0x3B: {  // Delete2
                const std::string name = PopString(a);
                bool done = false;
                for (size_t i = a.scope.size(); i-- > 0 && !done;)
                    if (a.scope[i]->Find(name)) done = a.scope[i]->Delete(name), i = 0;
                Push(a, Bool(done));
                break;
            }
            case 0x4E: {  // GetMember
                const Value name = Pop(a);
                const Value o = Pop(a);
                Push(a, m_.GetMember(o, m_.ToString(name)));
                break;
            }
            case 0x4F: {  // SetMember
                Value v = Pop(a);
                const Value name = Pop(a);
                const Value o = Pop(a);
                m_.SetMember(o, m_.ToString(name), v);
                break;
            }
            case 0x45: {  // TargetPath
                const Value v = Pop(a);
                Clip c = m_.ClipOf(v);
                Push(a, c ? Value(host.TargetPath(c)) : Value());
                break;
            }

            // --- SWF 5+ operators
            case 0x47: {  // Add2
                const Value y = m_.ToPrimitive(Pop(a)), x = m_.ToPrimitive(Pop(a));
                if (x.type == Type::String || y.type == Type::String)
                    Push(a, Value(m_.ToString(x) + m_.ToString(y)));
                else
                    Push(a, Value(m_.ToNumber(x) + m_.ToNumber(y)));
                break;
            }
            case 0x48: {  // Less2
                const Value y = Pop(a), x = Pop(a);
                Push(a, m_.Less(x, y));
                break;
            }
            case 0x67: {  // Greater
                const Value y = Pop(a), x = Pop(a);
                Push(a, m_.Less(y, x));
                break;
            }
            case 0x49: {  // Equals2
                const Value y = Pop(a), x = Pop(a);
                Push(a, Value(m_.Equals(x, y)));
                break;
            }
            case 0x66: {  // StrictEquals
                const Value y = Pop(a), x = Pop(a);
                Push(a, Value(m_.StrictEquals(x, y)));
                break;
            }
            case 0x3F: {  // Modulo
                const double y = PopNumber(a), x = PopNumber(a);
                Push(a, Value(std::fmod(x, y)));
                break;
            }
            case 0x50:  // Increment
                Push(a, Value(PopNumber(a) + 1));
                break;
            case 0x51:  // Decrement
                Push(a, Value(PopNumber(a) - 1));
                break;
            case 0x60:
            case 0x61:
            case 0x62:
            case 0x63:
            case 0x64:
            case 0x65: {  // BitAnd, BitOr, BitXor, BitLShift, BitRShift, BitURShift
                const double y = PopNumber(a), x = PopNumber(a);
                const int32_t xi = ToInt32(x), yi = ToInt32(y);
                const uint32_t s = ToUint32(y) & 31;
                double r = 0;
                if (op == 0x60) r = xi & yi;
                if (op == 0x61) r = xi | yi;
                if (op == 0x62) r = xi ^ yi;
                if (op == 0x63) r = static_cast<int32_t>(static_cast<uint32_t>(xi) << s);
                if (op == 0x64) r = xi >> s;
                if (op == 0x65) r = ToUint32(x) >> s;
                Push(a, Value(r));
                break;
            }
            case 0x4A:  // ToNumber
                Push(a, Value(PopNumber(a)));
                break;
            case 0x4B:  // ToString
                Push(a, Value(PopString(a)));
                break;
            case 0x44:  // TypeOf
                Push(a, Value(m_.TypeOf(Pop(a))));
                break;
            case 0x54: {  // InstanceOf
                const Value ctor = Pop(a), v = Pop(a);
                Push(a, Value(m_.InstanceOf(v, ctor)));
                break;
            }
            case 0x2B: {  // CastOp
                const Value v = Pop(a), ctor = Pop(a);
                Push(a, m_.InstanceOf(v, ctor) ? v : Value::Null());
                break;
            }
            case 0x2C: {  // ImplementsOp
                const Value ctor = Pop(a);
                std::vector<Value> interfaces = PopArgs(a);
                if (ctor.object) {
                    Value proto = m_.Get(ctor.object, "prototype");
                    if (proto.object) proto.object->Define("__interfaces__", Value(m_.NewArray(interfaces)), kDontEnum);
                }
                break;
            }
            case 0x69: {  // Extends
                const Value super = Pop(a), sub = Pop(a);
                if (sub.object && super.object) {
                    Value superProto = m_.Get(super.object, "prototype");
                    Object* p = m_.NewObject(superProto.object);
                    p->Define("__constructor__", super, kDontEnum);
                    sub.object->Define("prototype", Value(p), kDontEnum);
                }
                break;
            }
            case 0x30: {  // RandomNumber
                const double max = ToInteger(PopNumber(a));
                if (max <= 0 || !std::isfinite(max))
                    Push(a, Value(0.0));
                else
                    Push(a, Value(std::floor(host.Random() / 4294967296.0 * max)));
                break;
            }
            case 0x34:  // GetTime
                Push(a, Value(std::floor(host.Milliseconds())));
                break;
            case 0x26:  // Trace
                host.Trace(PopString(a));
                break;

            // --- objects and calls
            case 0x42: {  // InitArray
                std::vector<Value> items = PopArgs(a);
                Push(a, Value(m_.NewArray(items)));
                break;
            }
            case 0x43: {  // InitObject
                const double n = PopNumber(a);
                const size_t count =
                    std::isfinite(n) && n > 0 ? std::min<size_t>(static_cast<size_t>(n), a.stack.size() / 2) : 0;
                // Pairs are popped last first; they are added in source order, so that
                // enumeration (most recent first) lists the last one first.
                std::vector<std::pair<std::string, Value>> pairs;
                for (size_t i = 0; i < count; ++i) {
                    Value v = Pop(a);
                    pairs.emplace_back(PopString(a), std::move(v));
                }
                Object* o = m_.NewObject();
                for (auto it = pairs.rbegin(); it != pairs.rend(); ++it) m_.Set(o, it->first, it->second);
                Push(a, Value(o));
                break;
            }
            case 0x3D: {  // CallFunction
                const std::string name = PopString(a);
                std::vector<Value> args = PopArgs(a);
                Push(a, m_.Call(GetVariable(a, name), Value(), args));
                break;
            }
            case 0x52: {  // CallMethod
                const Value name = Pop(a);
                const Value obj = Pop(a);
                std::vector<Value> args = PopArgs(a);
                Push(a, CallMethod(a, obj, name, args));
                break;
            }
            case 0x40: {  // NewObject
                const std::string name = PopString(a);
                std::vector<Value> args = PopArgs(a);
                Push(a, m_.Construct(GetVariable(a, name), args));
                break;
            }
            case 0x53: {  // NewMethod
                const Value name = Pop(a);
                const Value obj = Pop(a);
                std::vector<Value> args = PopArgs(a);
                Push(a, NewMethod(a, obj, name, args));
                break;
            }
            case 0x46: {  // Enumerate
                const std::string name = PopString(a);
                Enumerate(a, GetVariable(a, name));
                break;
            }
            case 0x55:  // Enumerate2
                Enumerate(a, Pop(a));
                break;
            case 0x3E:  // Return
                return Completion{Completion::Return, Pop(a), 0};
            case 0x2A:  // Throw
                throw ScriptThrow{Pop(a)};
            case 0x9B:    // DefineFunction
            case 0x8E: {  // DefineFunction2
                auto f = std::make_unique<ScriptFunction>();
                f->v2 = op == 0x8E;
                f->name = b.Str();
                const uint16_t params = b.U16();
                if (f->v2) {
                    f->registerCount = b.U8();
                    f->flags = b.U16();
                }
                for (uint16_t i = 0; i < params && b.Ok(); ++i) {
                    f->paramRegisters.push_back(f->v2 ? b.U8() : 0);
                    f->params.push_back(b.Str());
                }
                const uint16_t size = b.U16();
                if (!b.Ok() || next + size > code.size()) return Completion{Completion::Jump, Value(), code.size()};
                f->body = code.subspan(next, size);
                jumpTo = next + size;
                const std::string name = f->name;
                Value fn = MakeFunction(a, std::move(f));
                if (name.empty()) {
                    Push(a, fn);
                } else if (a.locals) {
                    a.locals->Define(name, fn);
                } else {
                    m_.Set(TargetObject(a), name, fn);
                }
                break;
            }
            case 0x94: {  // With
                const uint16_t size = b.U16();
                const Value o = Pop(a);
                if (!b.Ok() || next + size > code.size()) return Completion{Completion::Jump, Value(), code.size()};
                Object* scopeObject = m_.ToObject(o);
                if (scopeObject) a.scope.push_back(scopeObject);
                Completion c = Run(code, next, next + size, a);
                if (scopeObject) a.scope.pop_back();
                if (c.kind == Completion::Return) return c;
                jumpTo = c.kind == Completion::Jump ? c.target : next + size;
                break;
            }
            case 0x8F: {  // Try
                Completion c = Try(code, b, next, a);
                if (c.kind == Completion::Return) return c;
                jumpTo = c.target;
                break;
            }

            // --- branches
            case 0x99:    // Jump
            case 0x9D: {  // If
                const int16_t offset = b.S16();
                if (!b.Ok()) break;
                if (op == 0x99 || m_.ToBoolean(Pop(a))) {
                    const long t = static_cast<long>(next) + offset;
                    if (t < 0) return Completion{Completion::Jump, Value(), code.size()};
                    jumpTo = static_cast<size_t>(t);
                }
                break;
            }

            // --- display-list actions the display side will carry
            case 0x24: {  // CloneSprite: the depth comes with the timeline offset (16384) added
                const double depth = m_.ToNumber(Pop(a));
                const std::string name = m_.ToString(Pop(a));
                const Clip source = ClipFromValue(a, Pop(a));
                if (!source || !std::isfinite(depth)) break;
                Host& h = m_.HostRef();
                if (Clip made = h.DuplicateClip(source, name, static_cast<int>(std::clamp(depth, -1e9, 1e9)) - 16384))
                    BindClipClass(m_, made, h.Symbol(made), Value());
                break;
            }
            case 0x25:  // RemoveSprite
                if (const Clip c = ClipFromValue(a, Pop(a))) m_.HostRef().RemoveClip(c);
                break;
            case 0x27: {  // StartDrag
                const Clip c = ClipFromValue(a, Pop(a));
                const bool lock = m_.ToBoolean(Pop(a));
                double bounds[4];
                const bool constrained = m_.ToBoolean(Pop(a));
                if (constrained)
                    for (int i = 3; i >= 0; --i) bounds[i] = m_.ToNumber(Pop(a));
                if (c) StartDrag(m_, c, lock, constrained ? bounds : nullptr);
                break;
            }
            case 0x28:  // EndDrag
                break;
            default:
                break;  // unknown actions are skipped by their length
        }
        if (jumpTo < begin || jumpTo > end) return Completion{Completion::Jump, Value(), jumpTo};
        pc = jumpTo;
    }
    return Completion{};
}

void Machine::RunBlock(std::span<const uint8_t> code, const Clip& clip) {
    Interpreter in(*this);
    Activation a;
    a.origin = clip;
    a.scope = {global};
    if (Object* o = ClipObject(clip)) a.scope.push_back(o);
    a.regs.resize(4);
    actions_ = 0;
    try {
        Interpreter::Completion c = in.Run(code, 0, code.size(), a);
        // A jump out of the block ends it.
        (void)c;
    } catch (const ScriptAbort& e) {
        lastAbort_ = e.reason;
    } catch (const ScriptThrow&) {
        // An uncaught exception ends the block.
    }
}

Value Machine::Variable(const Clip& clip, const std::string& path, const Value* assign) {
    Interpreter in(*this);
    Activation a;
    a.origin = clip;
    a.scope = {global};
    if (Object* o = ClipObject(clip)) a.scope.push_back(o);
    try {
        if (assign) {
            in.SetVariable(a, path, *assign);
            return *assign;
        }
        return in.GetVariable(a, path);
    } catch (const ScriptAbort& e) {
        lastAbort_ = e.reason;
    } catch (const ScriptThrow&) {
    }
    return Value();
}

Value Machine::RunScript(Object* fn, const Value& self, std::span<const Value> args, Object* newObject) {
    const ScriptFunction& f = *fn->script;
    Object* home = pendingHome;
    pendingHome = nullptr;
    if (newObject) {
        Value proto = Get(fn, "prototype");
        home = proto.object;
    }
    Interpreter in(*this);
    Activation a;
    a.origin = f.clip.lock();
    a.scope = f.scope;
    a.constants = f.constants;
    a.self = self.IsNullish() ? Value(ClipObject(a.origin)) : self;
    a.home = home;
    a.callee = fn;
    a.locals = NewObject(nullptr);
    a.scope.push_back(a.locals);
    Object* arguments = nullptr;
    if (!(f.flags & kSuppressArguments)) {
        arguments = NewArray(std::vector<Value>(args.begin(), args.end()));
        arguments->Define("callee", Value(fn), kDontEnum);
        arguments->Define("caller", runningFunction_ ? Value(runningFunction_) : Value::Null(), kDontEnum);
    }
    struct Running {
        Object*& slot;
        Object* outer;
        ~Running() { slot = outer; }
    } running{runningFunction_, runningFunction_};
    runningFunction_ = fn;
    if (home && !(f.flags & kSuppressSuper)) {
        a.superObject = NewObject(home->proto);
    }
    if (f.v2) {
        a.regs.resize(std::max<size_t>(f.registerCount, 1));
        size_t r = 1;
        auto preload = [&](uint16_t flag, const Value& v) {
            if ((f.flags & flag) && r < a.regs.size()) a.regs[r++] = v;
        };
        preload(kPreloadThis, a.self);
        preload(kPreloadArguments, arguments ? Value(arguments) : Value());
        preload(kPreloadSuper, a.superObject ? Value(a.superObject) : Value());
        preload(kPreloadRoot, Value(ClipObject(host_.Root())));
        preload(kPreloadParent, a.origin ? Value(ClipObject(host_.Parent(a.origin))) : Value());
        preload(kPreloadGlobal, Value(global));
        if (!(f.flags & kSuppressThis) && !(f.flags & kPreloadThis)) a.locals->Define("this", a.self, kDontEnum);
    } else {
        a.regs.resize(4);
    }
    if (arguments && !(f.v2 && (f.flags & kPreloadArguments)))
        a.locals->Define("arguments", Value(arguments), kDontEnum);
    for (size_t i = 0; i < f.params.size(); ++i) {
        const Value v = i < args.size() ? args[i] : Value();
        const uint8_t reg = i < f.paramRegisters.size() ? f.paramRegisters[i] : 0;
        if (f.v2 && reg != 0) {
            if (reg < a.regs.size()) a.regs[reg] = v;
        } else {
            a.locals->Define(f.params[i], v);
        }
    }
    Interpreter::Completion c = in.Run(f.body, 0, f.body.size(), a);
    return c.kind == Interpreter::Completion::Return ? c.value : Value();
}

}  // namespace lumarel::engine::avm1
