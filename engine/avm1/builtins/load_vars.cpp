// LoadVars: name=value pairs read from URL-encoded text and written back as it. Also what every
// loading class shares (load, sendAndLoad, the byte counts, the callbacks that run on a later
// frame) and MovieClip's loadVariables with the global loadVariablesNum, which put the pairs on a
// clip. Files come only from the host's local folder; nothing is ever sent anywhere.
#include <algorithm>

#include "engine/avm1/builtins/shared.h"

namespace lumarel::engine::avm1 {

namespace {

// Form decoding: + is a space, the rest as the global unescape reads it.
std::string FormDecode(std::string s) {
    std::replace(s.begin(), s.end(), '+', ' ');
    return Unescape(s);
}

// Sets each name=value pair of `text` (pairs joined by &) on `o` as a string. A pair without
// = gets the empty string; a pair without a name is skipped.
void Decode(Machine& m, Object* o, const std::string& text) {
    size_t i = 0;
    while (i <= text.size()) {
        size_t end = text.find('&', i);
        if (end == std::string::npos) end = text.size();
        const std::string_view pair(text.data() + i, end - i);
        const size_t eq = pair.find('=');
        const std::string name = FormDecode(std::string(pair.substr(0, eq)));
        if (!name.empty())
            m.Set(o, name, Value(eq == std::string_view::npos ? "" : FormDecode(std::string(pair.substr(eq + 1)))));
        i = end + 1;
    }
}

// The variables of a clip from a local file, on a later frame; the clip's onData follows.
void LoadVariables(Machine& m, Object* clipObject, const std::string& url) {
    m.deferred.push_back({clipObject, [url](Machine& mm, Object* o) {
                              std::string text;
                              if (!mm.ClipOf(Value(o)) || !mm.HostRef().ReadFile(url, text)) return;
                              Decode(mm, o, text);
                              mm.CallHandler(o, "onData");
                          }});
}

}  // namespace

void StartLoad(Machine& m, Object* o, const std::string& url) {
    LoadState* s = LoadStateOf(Value(o));
    if (!s) return;
    const unsigned generation = ++s->generation;
    s->bytesLoaded = Value(0.0);
    s->bytesTotal = Value();
    o->Define("loaded", Value(false), kDontEnum);  // kept out of toString's pairs
    m.deferred.push_back({o, [url, generation](Machine& mm, Object* obj) {
                              LoadState* st = LoadStateOf(Value(obj));
                              if (!st || st->generation != generation) return;
                              std::string text;
                              Value src;
                              if (mm.HostRef().ReadFile(url, text)) {
                                  st->bytesLoaded = st->bytesTotal = Value(double(text.size()));
                                  if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);  // a UTF-8 byte order mark
                                  src = Value(std::move(text));
                              }
                              const Value args[] = {src};
                              mm.CallMethod(Value(obj), "onData", args);
                          }});
}

void LoadMethods(Machine& m, Object* proto, const char* parseMethod) {
    constexpr uint16_t kFlags = kDontEnum | kSince6;
    m.Method(
        proto, "getBytesLoaded",
        [](Machine&, const Value& self, std::span<const Value>) {
            const LoadState* s = LoadStateOf(self);
            return s ? s->bytesLoaded : Value();
        },
        kFlags);
    m.Method(
        proto, "getBytesTotal",
        [](Machine&, const Value& self, std::span<const Value>) {
            const LoadState* s = LoadStateOf(self);
            return s ? s->bytesTotal : Value();
        },
        kFlags);
    // addRequestHeader(name, value) or addRequestHeader([name, value, ...]): kept, never sent.
    m.Method(
        proto, "addRequestHeader",
        [](Machine& mm, const Value& self, std::span<const Value> args) {
            LoadState* s = LoadStateOf(self);
            if (!s) return Value();
            const Value& first = Arg(args, 0);
            if (first.object && first.object->kind == ObjectKind::Array) {
                for (uint32_t i = 0; i + 1 < first.object->length; i += 2) {
                    s->headers.push_back(mm.ToString(mm.ArrayGet(first.object, i)));
                    s->headers.push_back(mm.ToString(mm.ArrayGet(first.object, i + 1)));
                }
            } else if (args.size() >= 2) {
                s->headers.push_back(mm.ToString(first));
                s->headers.push_back(mm.ToString(args[1]));
            }
            return Value();
        },
        kFlags);
    // load(url): true once started; the data arrives on a later frame.
    m.Method(proto, "load", [](Machine& mm, const Value& self, std::span<const Value> args) {
        if (!LoadStateOf(self) || args.empty()) return Value(false);
        StartLoad(mm, self.object, mm.ToString(args[0]));
        return Value(true);
    });
    // sendAndLoad(url, target): the answer is the file itself, loaded into `target`; a URL that is
    // no local file fails there as it would offline.
    m.Method(proto, "sendAndLoad", [](Machine& mm, const Value& self, std::span<const Value> args) {
        const Value& target = Arg(args, 1);
        if (!LoadStateOf(self) || !LoadStateOf(target)) return Value(false);
        StartLoad(mm, target.object, mm.ToString(Arg(args, 0)));
        return Value(true);
    });
    // send(url, window): there is no browser to send to.
    m.Method(proto, "send", [](Machine&, const Value&, std::span<const Value>) { return Value(false); });
    // The default onData: undefined means the load failed; text is parsed, then onLoad(true).
    const std::string parse = parseMethod;
    m.Method(proto, "onData", [parse](Machine& mm, const Value& self, std::span<const Value> args) {
        const Value& src = Arg(args, 0);
        if (!src.IsUndefined()) {
            const Value text[] = {src};
            mm.CallMethod(self, parse, text);
            if (self.object) self.object->Define("loaded", Value(true), kDontEnum);
        }
        const Value success[] = {Value(!src.IsUndefined())};
        mm.CallMethod(self, "onLoad", success);
        return Value();
    });
    m.Method(proto, "onLoad", [](Machine&, const Value&, std::span<const Value>) { return Value(); });
    proto->Define("contentType", Value("application/x-www-form-urlencoded"), kDontEnum);
}

void InstallLoadVars(Machine& m) {
    Object* proto = m.NewObject();
    NativeClass(
        m, "LoadVars",
        [](Machine&, const Value& self, std::span<const Value>) {
            self.object->data = std::make_unique<LoadState>();
            return Value();
        },
        proto);
    m.global->FindAny("LoadVars")->flags |= kSince6;
    m.Method(proto, "decode", [](Machine& mm, const Value& self, std::span<const Value> args) {
        if (self.object) Decode(mm, self.object, mm.ToString(Arg(args, 0)));
        return Value();
    });
    // toString: the enumerable properties, in the order for..in gives them, as name=value&...
    m.Method(proto, "toString", [](Machine& mm, const Value& self, std::span<const Value>) {
        std::string out;
        if (!self.object) return Value(out);
        for (const std::string& name : self.object->Keys()) {
            if (!out.empty()) out += '&';
            out += Escape(name) + "=" + Escape(mm.ToString(mm.Get(self.object, name)));
        }
        return Value(out);
    });
    LoadMethods(m, proto, "decode");

    m.Method(
        m.movieClipProto, "loadVariables",
        [](Machine& mm, const Value& self, std::span<const Value> args) {
            if (mm.ClipOf(self)) LoadVariables(mm, self.object, mm.ToString(Arg(args, 0)));
            return Value();
        },
        kDontEnum);
    // loadVariablesNum(url, level): into a level that holds a movie.
    m.Method(m.global, "loadVariablesNum", [](Machine& mm, const Value&, std::span<const Value> args) {
        const double n = mm.ToNumber(Arg(args, 1));
        if (n >= 0 && n <= 1e6)
            if (Object* level = mm.ClipObject(mm.HostRef().Level(static_cast<int>(n), false)))
                LoadVariables(mm, level, mm.ToString(Arg(args, 0)));
        return Value();
    });
}

}  // namespace lumarel::engine::avm1
