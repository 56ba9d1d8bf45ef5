// AsBroadcaster and the player's singletons: System (capabilities as a Windows player reports
// them), Key and Mouse (listeners; no input reaches a running screen saver), Stage (listeners
// and its scale mode and alignment), ExternalInterface (not available).
#include "engine/avm1/builtins/shared.h"

namespace lumarel::engine::avm1 {

namespace {

Value Listeners(Machine& m, const Value& self) {
    Value l = m.GetMember(self, "_listeners");
    return l.IsObject() && l.object->kind == ObjectKind::Array ? l : Value();
}

// Gives `o` a _listeners array and the three broadcaster methods.
void MakeBroadcaster(Machine& m, Object* o) {
    o->Define("_listeners", Value(m.NewArray()), kDontEnum);
    m.Method(o, "addListener", [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
        Value l = Listeners(mm, self);
        if (!l.IsObject() || args.empty()) return Value(false);
        for (uint32_t i = 0; i < l.object->length; ++i)
            if (mm.StrictEquals(mm.ArrayGet(l.object, i), args[0])) return Value(true);
        mm.ArrayPush(l.object, args[0]);
        return Value(true);
    });
    m.Method(o, "removeListener", [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
        Value l = Listeners(mm, self);
        if (!l.IsObject() || args.empty()) return Value(false);
        std::vector<Value> kept;
        bool removed = false;
        for (uint32_t i = 0; i < l.object->length; ++i) {
            Value v = mm.ArrayGet(l.object, i);
            if (!removed && mm.StrictEquals(v, args[0]))
                removed = true;
            else
                kept.push_back(v);
        }
        mm.SetMember(self, "_listeners", Value(mm.NewArray(kept)));
        Property* p = self.object ? self.object->Find("_listeners") : nullptr;
        if (p) p->flags = kDontEnum;
        return Value(removed);
    });
    m.Method(o, "broadcastMessage", [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
        Value l = Listeners(mm, self);
        if (!l.IsObject() || args.empty()) return Value();
        const std::string event = mm.ToString(args[0]);
        std::vector<Value> listeners;
        for (uint32_t i = 0; i < l.object->length && i < 10000; ++i) listeners.push_back(mm.ArrayGet(l.object, i));
        for (const Value& v : listeners) mm.CallMethod(v, event, args.subspan(1));
        return Value(true);
    });
}

}  // namespace

void InstallSystem(Machine& m) {
    Object* broadcaster = m.NewObject();
    m.global->Define("AsBroadcaster", Value(broadcaster), kDontEnum);
    m.Method(broadcaster, "initialize", [](Machine& mm, const Value&, std::span<const Value> args) -> Value {
        if (!args.empty() && args[0].IsObject()) MakeBroadcaster(mm, args[0].object);
        return Value();
    });

    Object* system = m.NewObject();
    m.global->Define("System", Value(system), kDontEnum);
    Object* caps = m.NewObject();
    system->Define("capabilities", Value(caps), kDontEnum);
    const std::pair<const char*, Value> facts[] = {
        {"os", Value("Windows XP")},         {"version", Value("WIN 8,0,22,0")},
        {"playerType", Value("StandAlone")}, {"manufacturer", Value("Macromedia Windows")},
        {"language", Value("ja")},           {"screenDPI", Value(72.0)},
        {"hasAudio", Value(true)},           {"hasMP3", Value(true)},
        {"hasVideoEncoder", Value(false)},   {"hasAccessibility", Value(false)},
        {"isDebugger", Value(false)},        {"localFileReadDisable", Value(false)},
        {"pixelAspectRatio", Value(1.0)},    {"avHardwareDisable", Value(true)}};
    for (const auto& [name, value] : facts) caps->Define(name, value);
    system->Define("useCodepage", Value(false));
    m.Method(system, "setClipboard", [](Machine&, const Value&, std::span<const Value>) { return Value(false); });

    Object* key = m.NewObject();
    m.global->Define("Key", Value(key), kDontEnum);
    MakeBroadcaster(m, key);
    const std::pair<const char*, double> keys[] = {
        {"BACKSPACE", 8}, {"TAB", 9},    {"ENTER", 13}, {"SHIFT", 16}, {"CONTROL", 17}, {"CAPSLOCK", 20},
        {"ESCAPE", 27},   {"SPACE", 32}, {"PGUP", 33},  {"PGDN", 34},  {"END", 35},     {"HOME", 36},
        {"LEFT", 37},     {"UP", 38},    {"RIGHT", 39}, {"DOWN", 40},  {"INSERT", 45},  {"DELETEKEY", 46}};
    for (const auto& [name, code] : keys) key->Define(name, Value(code), kDontEnum | kDontDelete | kReadOnly);
    m.Method(key, "isDown", [](Machine&, const Value&, std::span<const Value>) { return Value(false); });
    m.Method(key, "isToggled", [](Machine&, const Value&, std::span<const Value>) { return Value(false); });
    m.Method(key, "getCode", [](Machine&, const Value&, std::span<const Value>) { return Value(0.0); });
    m.Method(key, "getAscii", [](Machine&, const Value&, std::span<const Value>) { return Value(0.0); });

    Object* mouse = m.NewObject();
    m.global->Define("Mouse", Value(mouse), kDontEnum);
    MakeBroadcaster(m, mouse);
    m.Method(mouse, "show", [](Machine&, const Value&, std::span<const Value>) { return Value(0.0); });
    m.Method(mouse, "hide", [](Machine&, const Value&, std::span<const Value>) { return Value(1.0); });

    Object* stage = m.NewObject();
    m.global->Define("Stage", Value(stage), kDontEnum);
    MakeBroadcaster(m, stage);
    stage->Define("scaleMode", Value("showAll"));
    stage->Define("align", Value(""));
    stage->Define("showMenu", Value(true));
    Accessor(m, stage, "width",
             [](Machine& mm, const Value&, std::span<const Value>) { return Value(mm.HostRef().StageWidth()); });
    Accessor(m, stage, "height",
             [](Machine& mm, const Value&, std::span<const Value>) { return Value(mm.HostRef().StageHeight()); });

    Object* external = m.NewObject();
    Object* flash = m.NewObject();
    Object* ns = m.NewObject();
    m.global->Define("flash", Value(flash), kDontEnum);
    flash->Define("external", Value(ns), kDontEnum);
    ns->Define("ExternalInterface", Value(external), kDontEnum);
    external->Define("available", Value(false), kDontEnum | kReadOnly);
    m.Method(external, "call", [](Machine&, const Value&, std::span<const Value>) { return Value::Null(); });
    m.Method(external, "addCallback", [](Machine&, const Value&, std::span<const Value>) { return Value(false); });
}

}  // namespace lumarel::engine::avm1
