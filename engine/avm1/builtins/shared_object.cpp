// SharedObject: getLocal gives one object per name for the movie's run, with `data`, flush,
// clear and getSize. What a movie stores lives as long as the movie plays; nothing is written
// to disk yet, so flush reports that nothing is pending rather than that data was saved.
#include "engine/avm1/builtins/shared.h"

namespace lumarel::engine::avm1 {

void InstallSharedObject(Machine& m) {
    Object* proto = m.NewObject(m.objectProto);
    Object* ctor = m.Class("SharedObject", nullptr, nullptr, proto);
    Object* byName = m.NewObject();
    m.builtinRoots.push_back(byName);
    m.builtinRoots.push_back(proto);
    m.Method(ctor, "getLocal", [proto, byName](Machine& mm, const Value&, std::span<const Value> args) -> Value {
        const std::string name = args.empty() ? std::string() : mm.ToString(args[0]);
        if (name.empty() || name.find_first_of("~%&\\;:\"',<>?# ") != std::string::npos) return Value::Null();
        const std::string key = "/" + name;
        if (const Property* p = byName->Find(key)) return p->value;
        Object* so = mm.NewObject(proto);
        so->Define("data", Value(mm.NewObject()), kDontEnum);
        byName->Define(key, Value(so));
        return Value(so);
    });
    m.Method(proto, "flush",
             [](Machine&, const Value& self, std::span<const Value>) -> Value { return Value(self.IsObject()); });
    m.Method(proto, "clear", [](Machine& mm, const Value& self, std::span<const Value>) -> Value {
        if (self.IsObject()) self.object->Define("data", Value(mm.NewObject()), kDontEnum);
        return Value();
    });
    m.Method(proto, "getSize", [](Machine& mm, const Value& self, std::span<const Value>) -> Value {
        // Roughly what the data would take stored: names and printed values.
        const Value data = self.IsObject() ? mm.Get(self.object, "data") : Value();
        if (!data.IsObject()) return Value(0.0);
        double size = 0;
        for (const std::string& k : data.object->Keys())
            size += double(k.size() + mm.ToString(mm.Get(data.object, k)).size() + 2);
        return Value(size);
    });
}

}  // namespace lumarel::engine::avm1
