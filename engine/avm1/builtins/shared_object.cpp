// SharedObject: getLocal gives one object per name and path for the movie's run, its `data` read
// from the host's stored record on first use. flush() stores the data at once; what is not
// flushed is stored as the movie ends, for every object got in the run whose data changed
// since it was read or stored. clear() empties the data and removes the record. The stored
// form is AMF0 (amf0.h); a record that cannot be read gives empty data.
#include "engine/avm1/builtins/amf0.h"
#include "engine/avm1/builtins/shared.h"

#include <map>

namespace lumarel::engine::avm1 {

namespace {

// The largest record the machine writes or reads; the host may well refuse smaller ones.
constexpr size_t kMaxRecordBytes = size_t(16) << 20;

struct SharedState : ObjectData {
    std::string name;             // "<path>/<object name>", as the host stores it
    std::vector<uint8_t> stored;  // the record as last read or written (none: no record)
};

// Every object got in the run, by record name.
struct SharedTable : ObjectData {
    std::map<std::string, Object*> byName;
    void Refs(std::vector<Object*>& out) const override {
        for (const auto& [name, so] : byName) out.push_back(so);
    }
};

SharedState* StateOf(const Value& self) {
    return self.object ? dynamic_cast<SharedState*>(self.object->data.get()) : nullptr;
}

// The data object as held (no getter runs), or null when a script has put something else there.
Object* DataOf(Object* so) {
    const Property* p = so->Find("data");
    return p && !p->getter && p->value.IsObject() ? p->value.object : nullptr;
}

// The data's stored form: no bytes when it holds nothing; false when it cannot be stored.
bool Record(Machine& m, Object* so, std::vector<uint8_t>& out) {
    Object* data = DataOf(so);
    if (!data) {
        out.clear();
        return true;
    }
    return amf0::Encode(m, data, out, kMaxRecordBytes);
}

bool Store(Machine& m, SharedState& s, std::vector<uint8_t> bytes) {
    if (!m.HostRef().SaveShared(s.name, bytes)) return false;
    s.stored = std::move(bytes);
    return true;
}

}  // namespace

void InstallSharedObject(Machine& m) {
    Object* proto = m.NewObject(m.objectProto);
    Object* ctor = m.Class("SharedObject", nullptr, nullptr, proto);
    Object* holder = m.NewObject();
    m.builtinRoots.push_back(holder);
    m.builtinRoots.push_back(proto);
    auto table = std::make_unique<SharedTable>();
    SharedTable* got = table.get();
    holder->data = std::move(table);
    // What was not flushed is stored as the movie ends.
    m.atEnd.push_back([got](Machine& mm) {
        for (const auto& [name, so] : got->byName) {
            SharedState* s = StateOf(Value(so));
            std::vector<uint8_t> bytes;
            if (s && Record(mm, so, bytes) && bytes != s->stored) Store(mm, *s, std::move(bytes));
        }
    });
    // getLocal(name[, localPath]): null for names with characters a stored object cannot have.
    m.Method(ctor, "getLocal", [proto, got](Machine& mm, const Value&, std::span<const Value> args) -> Value {
        const std::string name = args.empty() ? std::string() : mm.ToString(args[0]);
        if (name.empty() || name.find_first_of("~%&\\;:\"',<>?# ") != std::string::npos) return Value::Null();
        const Value& path = Arg(args, 1);
        const std::string key = (path.IsNullish() ? mm.HostRef().MovieName() : mm.ToString(path)) + "/" + name;
        if (auto it = got->byName.find(key); it != got->byName.end()) return Value(it->second);
        Object* so = mm.NewObject(proto);
        auto state = std::make_unique<SharedState>();
        state->name = key;
        Object* data = nullptr;
        std::vector<uint8_t> bytes;
        if (mm.HostRef().LoadShared(key, bytes) && bytes.size() <= kMaxRecordBytes &&
            (data = amf0::Decode(mm, bytes)) != nullptr)
            state->stored = std::move(bytes);
        if (!data) data = mm.NewObject();
        so->Define("data", Value(data), kDontEnum);
        so->data = std::move(state);
        got->byName.emplace(key, so);
        return Value(so);
    });
    // flush(): true once the data is stored, false when it cannot be.
    m.Method(proto, "flush", [](Machine& mm, const Value& self, std::span<const Value>) -> Value {
        SharedState* s = StateOf(self);
        std::vector<uint8_t> bytes;
        return Value(s && Record(mm, self.object, bytes) && Store(mm, *s, std::move(bytes)));
    });
    m.Method(proto, "clear", [](Machine& mm, const Value& self, std::span<const Value>) -> Value {
        SharedState* s = StateOf(self);
        if (!s) return Value();
        self.object->Define("data", Value(mm.NewObject()), kDontEnum);
        Store(mm, *s, {});
        return Value();
    });
    // getSize(): the bytes the data takes stored (0 when it holds nothing or cannot be stored).
    m.Method(proto, "getSize", [](Machine& mm, const Value& self, std::span<const Value>) -> Value {
        std::vector<uint8_t> bytes;
        if (!StateOf(self) || !Record(mm, self.object, bytes)) return Value(0.0);
        return Value(double(bytes.size()));
    });
}

}  // namespace lumarel::engine::avm1
