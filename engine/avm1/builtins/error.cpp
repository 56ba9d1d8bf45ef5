// Error: `new Error(message)`, name and message on the prototype, toString gives the message.
#include "engine/avm1/machine.h"

namespace lumarel::engine::avm1 {

void InstallError(Machine& m) {
    Object* proto = m.errorProto;
    auto make = [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
        Object* o = self.IsObject() && self.object != mm.global ? self.object : mm.NewObject(mm.errorProto);
        if (!args.empty() && !args[0].IsUndefined()) o->Define("message", Value(mm.ToString(args[0])));
        return Value(o);
    };
    m.Class("Error", make, make, proto);
    proto->Define("name", Value("Error"), kDontEnum);
    proto->Define("message", Value("Error"), kDontEnum);
    m.Method(proto, "toString", [](Machine& mm, const Value& self, std::span<const Value>) -> Value {
        return Value(mm.ToString(mm.GetMember(self, "message")));
    });
}

}  // namespace lumarel::engine::avm1
