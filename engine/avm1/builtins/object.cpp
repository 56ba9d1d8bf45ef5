// Object: the constructor and Object.prototype's methods, addProperty getters/setters,
// watchpoints and Object.registerClass.
#include "engine/avm1/machine.h"
#include "engine/avm1/utf8.h"

namespace lumarel::engine::avm1 {

void InstallObject(Machine& m) {
    Object* proto = m.objectProto;
    m.Class(
        "Object",
        [](Machine& mm, const Value&, std::span<const Value> args) -> Value {
            const Value& v = Arg(args, 0);
            if (v.IsNullish()) return Value(mm.NewObject());
            return Value(mm.ToObject(v));
        },
        [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
            const Value& v = Arg(args, 0);
            if (v.IsObject()) return v;
            if (!v.IsNullish()) return Value(mm.ToObject(v));
            return self;
        },
        proto);
    m.Method(proto, "toString", [](Machine&, const Value& self, std::span<const Value>) -> Value {
        if (self.IsObject() && self.object->IsFunction()) return Value("[type Function]");
        return Value("[object Object]");
    });
    m.Method(proto, "valueOf", [](Machine&, const Value& self, std::span<const Value>) { return self; });
    m.Method(proto, "hasOwnProperty", [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
        if (!self.IsObject() || args.empty()) return Value(false);
        return Value(self.object->Find(mm.ToString(args[0])) != nullptr);
    });
    m.Method(proto, "isPropertyEnumerable", [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
        if (!self.IsObject() || args.empty()) return Value(false);
        const Property* p = self.object->Find(mm.ToString(args[0]));
        return Value(p && !(p->flags & kDontEnum));
    });
    m.Method(proto, "isPrototypeOf", [](Machine&, const Value& self, std::span<const Value> args) -> Value {
        const Value& v = Arg(args, 0);
        if (!self.IsObject() || !v.IsObject()) return Value(false);
        int guard = 0;
        for (Object* o = v.object->proto; o && guard < 256; o = o->proto, ++guard)
            if (o == self.object) return Value(true);
        return Value(false);
    });
    // addProperty, watch, unwatch and registerClass came with version 6 movies.
    // addProperty(name, getter, setter): the setter may be null for a read-only property.
    m.Method(
        proto, "addProperty",
        [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
            const std::string name = mm.ToString(Arg(args, 0));
            const Value& getter = Arg(args, 1);
            const Value& setter = Arg(args, 2);
            if (!self.IsObject() || name.empty() || !getter.IsObject() || !getter.object->IsFunction())
                return Value(false);
            if (!setter.IsNullish() && !(setter.IsObject() && setter.object->IsFunction())) return Value(false);
            self.object->Define(name, Value());
            Property* p = self.object->Find(name);
            p->getter = getter.object;
            p->setter = setter.IsObject() ? setter.object : nullptr;
            return Value(true);
        },
        kDontEnum | kSince6);
    // watch(name, callback[, userData]): later assignments to the property go through the
    // callback, which returns the value to store. One watcher a name; a new one replaces it.
    m.Method(
        proto, "watch",
        [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
            const Value& callback = Arg(args, 1);
            if (!self.IsObject() || args.empty() || !callback.IsObject() || !callback.object->IsFunction())
                return Value(false);
            const std::string name = mm.ToString(args[0]);
            Watcher w{name, callback.object, Arg(args, 2)};
            std::vector<Watcher>& list = self.object->watchers;
            for (Watcher& old : list) {
                if (SameName(old.name, name, mm.Version() < 7)) {
                    w.running = old.running;
                    old = std::move(w);
                    return Value(true);
                }
            }
            list.push_back(std::move(w));
            return Value(true);
        },
        kDontEnum | kSince6);
    m.Method(
        proto, "unwatch",
        [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
            if (!self.IsObject() || args.empty()) return Value(false);
            const std::string name = mm.ToString(args[0]);
            return Value(std::erase_if(self.object->watchers,
                                       [&](const Watcher& w) { return SameName(w.name, name, mm.Version() < 7); }) > 0);
        },
        kDontEnum | kSince6);
    Value ctor = m.Get(m.global, "Object");
    m.Method(
        ctor.object, "registerClass",
        [](Machine& mm, const Value&, std::span<const Value> args) -> Value {
            // Symbol-to-class links matter once movie clips are attached by script; the table is
            // kept on _global so attachMovie can find it.
            const std::string symbol = mm.ToString(Arg(args, 0));
            if (symbol.empty()) return Value(false);
            Value table = mm.Get(mm.global, "__registeredClasses");
            if (!table.IsObject()) {
                table = Value(mm.NewObject());
                mm.global->Define("__registeredClasses", table, kDontEnum);
            }
            table.object->Define(symbol, Arg(args, 1));
            return Value(true);
        },
        kDontEnum | kSince6);
}

}  // namespace lumarel::engine::avm1
