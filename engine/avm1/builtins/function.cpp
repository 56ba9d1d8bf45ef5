// Function.prototype: call and apply (from version 6 movies on).
#include "engine/avm1/machine.h"

namespace lumarel::engine::avm1 {

void InstallFunction(Machine& m) {
    Object* proto = m.functionProto;
    m.Class("Function", nullptr, nullptr, proto);
    m.Method(
        proto, "call",
        [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
            const Value thisArg = args.empty() ? Value() : args[0];
            return mm.Call(self, thisArg, args.empty() ? args : args.subspan(1));
        },
        kDontEnum | kSince6);
    m.Method(
        proto, "apply",
        [](Machine& mm, const Value& self, std::span<const Value> args) -> Value {
            std::vector<Value> list;
            const Value& arr = Arg(args, 1);
            if (arr.IsObject() && arr.object->kind == ObjectKind::Array) {
                const uint32_t n = std::min<uint32_t>(arr.object->length, 65536);
                for (uint32_t i = 0; i < n; ++i) list.push_back(mm.ArrayGet(arr.object, i));
            }
            return mm.Call(self, Arg(args, 0), list);
        },
        kDontEnum | kSince6);
    m.Method(proto, "toString",
             [](Machine&, const Value&, std::span<const Value>) { return Value("[type Function]"); });
}

}  // namespace lumarel::engine::avm1
