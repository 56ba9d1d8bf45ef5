// SharedObject data kept from run to run: what the stored form brings back, how flush, clear and
// the end of the movie reach the host's store, and records that are broken.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "avm1_fake_host.h"
#include "engine/avm1/builtins/amf0.h"

namespace lumarel {
namespace {

using engine::avm1::Machine;
using engine::avm1::Object;
using engine::avm1::ObjectKind;
using engine::avm1::Value;
using Bytes = std::vector<uint8_t>;

// A host whose store is a map, under the movie name "m.swf".
class StoreHost : public testing::ClipHost {
public:
    std::map<std::string, Bytes> records;
    bool hooked = true, refuse = false;
    int saves = 0;
    bool LoadShared(const std::string& name, Bytes& out) override {
        return hooked && records.count(name) && (out = records[name], true);
    }
    bool SaveShared(const std::string& name, std::span<const uint8_t> bytes) override {
        ++saves;
        if (!hooked || refuse) return false;
        bytes.empty() ? void(records.erase(name)) : void(records[name].assign(bytes.begin(), bytes.end()));
        return true;
    }
    std::string MovieName() override { return "m.swf"; }
};

Value GetLocal(Machine& m, std::vector<Value> args) {
    return m.CallMethod(m.Get(m.global, "SharedObject"), "getLocal", args);
}
Object* Data(Machine& m, const Value& so) { return m.GetMember(so, "data").object; }
bool Flush(Machine& m, const Value& so) { return m.ToBoolean(m.CallMethod(so, "flush", {})); }
void Put(Object* o, std::initializer_list<std::pair<const char*, Value>> props) {
    for (const auto& [k, v] : props) o->Define(k, v);
}
Value Make(Machine& m, const char* cls, std::vector<Value> args = {}) {
    return m.Construct(m.Get(m.global, cls), args);
}

// A value graph as text: objects met again print as #n (in the order first met), so sharing and
// cycles show; long strings print as their length, XML as its text, a registered class as "Pt".
std::string Describe(Machine& m, const Value& v, std::vector<Object*>& seen) {
    if (v.type == engine::avm1::Type::String)
        return v.string.size() > 32 ? "str" + std::to_string(v.string.size()) : '"' + v.string + '"';
    Object* o = v.object;
    if (!v.IsObject() || o->data) return m.ToString(v);
    for (size_t i = 0; i < seen.size(); ++i)
        if (seen[i] == o) return "#" + std::to_string(i);
    if (o->kind == ObjectKind::Date) return "D" + m.ToString(o->primitive);
    seen.push_back(o);
    const bool array = o->kind == ObjectKind::Array;
    std::string out = array ? "[" + std::to_string(o->length) + "|" : o->proto == m.objectProto ? "{" : "Pt{";
    for (const std::string& k : o->Keys()) out += k + ":" + Describe(m, m.Get(o, k), seen) + ",";
    return out + (array ? "]" : "}");
}

// Data set up in one run of a movie comes back in the next as it was stored.
TEST(Avm1SharedObject, DataComesBackAsStored) {
    using Build = void (*)(Machine&, Object * data, testing::ClipHost&);
    const std::tuple<const char*, Build, const char*> cases[] = {
        {"primitives",
         [](Machine&, Object* d, auto&) {
             Put(d, {{"n", -1.5}, {"nan", NAN}, {"s", "日本語"}, {"t", true}});
             Put(d, {{"u", Value()}, {"z", Value::Null()}, {"", 7}, {"big", std::string(70000, 'x')}});
         },
         "{big:str70000,:7,z:null,u:undefined,t:true,s:\"日本語\",nan:NaN,n:-1.5,}"},
        {"shared and cyclic objects, arrays with holes, lengths and names",
         [](Machine& m, Object* d, auto&) {
             Object* a = m.NewObject();
             Put(d, {{"a", a}, {"b", a}});
             Put(a, {{"self", a}, {"top", d}});
             Object* arr = m.NewArray({Value(1), Value(m.NewArray({Value(3)}))});
             Put(d, {{"arr", arr}, {"empty", Make(m, "Array", {Value(4)})}});
             m.Set(arr, "name", Value("k"));
             m.Set(arr, "9", Value(true));
         },
         "{empty:[4|],arr:[10|9:true,name:\"k\",1:[1|0:3,],0:1,],b:{top:#0,self:#4,},a:#4,}"},
        {"dates, XML and registered classes",
         [](Machine& m, Object* d, auto&) {
             const Value p = Make(m, "Pt");
             Put(d, {{"when", Make(m, "Date", {Value(1.5e12)})},
                     {"doc", Make(m, "XML", {Value("<a b=\"1\"><c/></a>")})},
                     {"p", p}});
             m.SetMember(m.Get(d, "when"), "note", Value(1));  // not kept: a date is its time
             m.SetMember(p, "x", Value(3));
         },
         "{p:Pt{x:3,},doc:<a b=\"1\"><c /></a>,when:D1500000000000,}"},
        {"functions, clips and getters are left out",
         [](Machine& m, Object* d, testing::ClipHost& host) {
             Put(d, {{"f", m.Get(m.global, "escape")}, {"clip", m.ClipObject(host.mc)}, {"kept", 1}});
             m.CallMethod(Value(d), "addProperty", std::vector<Value>{Value("g"), m.Get(m.global, "escape")});
         },
         "{kept:1,}"},
    };
    // Each run registers its class "Pt" (Object.registerClass).
    auto start = [](Machine& m) {
        const Value pt(m.NewFunction([](Machine&, const Value&, std::span<const Value>) { return Value(); }));
        m.global->Define("Pt", pt);
        m.CallMethod(m.Get(m.global, "Object"), "registerClass", std::vector<Value>{Value("Pt"), pt});
        return GetLocal(m, {Value("s")});
    };
    for (const auto& [what, build, want] : cases) {
        StoreHost host;
        {
            Machine m(host, 8);
            const Value so = start(m);
            build(m, Data(m, so), host);
            EXPECT_TRUE(Flush(m, so)) << what;
            EXPECT_EQ(m.ToNumber(m.CallMethod(so, "getSize", {})), double(host.records["m.swf/s"].size())) << what;
        }
        Machine again(host, 8);
        std::vector<Object*> seen;
        EXPECT_EQ(Describe(again, Value(Data(again, start(again))), seen), want) << what;
    }
}

// What reaches the store, and when: flush, clear, the end of the movie, names and paths.
TEST(Avm1SharedObject, FlushClearAndTheEndOfTheMovieReachTheStore) {
    StoreHost host;
    {
        Machine m(host, 8);
        const Value so = GetLocal(m, {Value("s")});
        EXPECT_EQ(so.object, GetLocal(m, {Value("s")}).object);  // one object per name in a run
        EXPECT_EQ(m.ToNumber(m.CallMethod(so, "getSize", {})), 0);
        Put(Data(m, so), {{"a", 1}});
        Put(Data(m, GetLocal(m, {Value("s"), Value("/")})), {{"b", 2}});
        EXPECT_TRUE(Flush(m, so));
        EXPECT_EQ(host.records.count("//s"), 0u);  // not flushed yet
        host.saves = 0;
    }
    // The end stores what changed since it was read or stored, and only that.
    EXPECT_EQ(host.saves, 1);
    EXPECT_EQ(host.records.size(), 2u);
    {
        Machine m(host, 8);
        const Value so = GetLocal(m, {Value("s")});
        EXPECT_EQ(m.ToString(m.GetMember(Value(Data(m, so)), "a")), "1");
        m.CallMethod(so, "clear", {});
        EXPECT_EQ(host.records.count("m.swf/s"), 0u);
        EXPECT_TRUE(Data(m, so)->Keys().empty());
        host.refuse = true;
        Put(Data(m, so), {{"c", 3}});
        EXPECT_FALSE(Flush(m, so));
        host.refuse = false;  // a graph nested deeper than a record holds is not stored
        Object* deep = Data(m, so);
        for (int i = 0; i <= engine::avm1::amf0::kMaxDepth; ++i) {
            Object* next = m.NewObject();
            deep->Define("d", Value(next));
            deep = next;
        }
        EXPECT_FALSE(Flush(m, so));
        host.saves = 0;
    }
    EXPECT_EQ(host.saves, 0);  // nor does the end store it
    host.hooked = false;       // without a store, flush reports that nothing was stored
    Machine m(host, 8);
    EXPECT_FALSE(Flush(m, GetLocal(m, {Value("s")})));
}

// Records that are not whole give empty data, whatever their bytes.
TEST(Avm1SharedObject, BrokenRecordsGiveEmptyData) {
    Bytes deep;
    for (int i = 0; i < 300; ++i) deep.insert(deep.end(), {0x03, 0, 1, 'a'});
    deep.push_back(0x05);
    for (int i = 0; i < 300; ++i) deep.insert(deep.end(), {0, 0, 9});
    const std::pair<const char*, Bytes> cases[] = {
        {"not an object", {0x00, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"long string past the end", {0x03, 0, 1, 'a', 0x0C, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 9}},
        {"strict array longer than the record", {0x03, 0, 1, 'a', 0x0A, 0xFF, 0xFF, 0xFF, 0xFF, 0x05, 0, 0, 9}},
        {"reference to nothing read", {0x03, 0, 1, 'a', 0x07, 0, 1, 0, 0, 9}},
        {"unknown marker", {0x03, 0, 1, 'a', 0x11, 0, 0, 9}},
        {"bytes after the end", {0x03, 0, 1, 'a', 0x05, 0, 0, 9, 0}},
        {"nested too deep", deep},
    };
    StoreHost host;
    Machine m(host, 8);
    int n = 0;
    auto keysAfterLoad = [&](const Bytes& record) {
        host.records["m.swf/r" + std::to_string(++n)] = record;
        Object* data = Data(m, GetLocal(m, {Value("r" + std::to_string(n))}));
        return data ? data->Keys().size() : size_t(99);
    };
    for (const auto& [what, record] : cases) EXPECT_EQ(keysAfterLoad(record), 0u) << what;
    // Every cut of a good record, and good records with bytes changed, load without harm.
    Object* d = m.NewObject();
    Object* a = m.NewArray({Value(1), Value("x")});
    Put(a, {{"self", a}});
    Put(d, {{"a", a}, {"when", Make(m, "Date", {Value(0)})}});
    Bytes good;
    ASSERT_TRUE(engine::avm1::amf0::Encode(m, d, good, 1 << 20));
    for (size_t cut = 1; cut < good.size(); ++cut)
        EXPECT_EQ(keysAfterLoad(Bytes(good.begin(), good.begin() + long(cut))), 0u) << cut;
    uint32_t seed = 7;
    for (int i = 0; i < 3000; ++i) {
        Bytes b = good;
        for (int k = 0; k < 3; ++k) {
            seed = seed * 1664525u + 1013904223u;
            b[(seed >> 8) % b.size()] = uint8_t(seed >> 24);
        }
        EXPECT_LT(keysAfterLoad(b), 99u);
    }
}

}  // namespace
}  // namespace lumarel
