// Built-in classes called directly, without bytecode.
#include <gtest/gtest.h>

#include <cmath>

#include "avm1_fake_host.h"

namespace lumarel {
namespace {

using engine::avm1::Machine;
using engine::avm1::Object;
using engine::avm1::Value;

TEST(Avm1Values, NumbersPrintAsThePlayerPrintsThem) {
    testing::FakeHost host;
    Machine m(host, 8);
    const std::pair<double, const char*> cases[] = {{0.1 + 0.2, "0.3"},
                                                    {1e21, "1e+21"},
                                                    {1e-7, "1e-7"},
                                                    {-0.0, "0"},
                                                    {123456789012345678.0, "1.23456789012346e+17"},
                                                    {0.0001, "0.0001"},
                                                    {1.0 / 3, "0.333333333333333"},
                                                    {-2.5, "-2.5"},
                                                    {1e15, "1e+15"},
                                                    {100, "100"}};
    for (const auto& [n, text] : cases) EXPECT_EQ(m.ToString(Value(n)), text) << n;
}

// Sound keeps what a movie sets, as whole numbers, for every Sound of the same target; pan stays
// within -100..100; getTransform hands out a copy and setTransform changes only the fields it is
// given.
TEST(Avm1Sound, SettingsReadBackAsSet) {
    testing::FakeHost host;
    Machine m(host, 8);
    const Value sound = m.Construct(m.Get(m.global, "Sound"), {});
    struct Case {
        const char* set;
        Value arg;
        const char* get;
        double want;
    };
    const Case cases[] = {{nullptr, Value(), "getVolume", 100}, {nullptr, Value(), "getPan", 0},
                          {"setVolume", 50.9, "getVolume", 50}, {"setVolume", 150, "getVolume", 150},
                          {"setVolume", NAN, "getVolume", 0},   {"setVolume", 1e300, "getVolume", 2147483647},
                          {"setPan", -250, "getPan", -100},     {"setPan", "-40.5", "getPan", -40},
                          {"setPan", Value(), "getPan", 0}};
    for (const Case& c : cases) {
        if (c.set) m.CallMethod(sound, c.set, std::vector<Value>{c.arg});
        const Value got = m.CallMethod(sound, c.get, {});
        EXPECT_EQ(got.number, c.want) << (c.set ? c.set : "default") << " then " << c.get;
    }
    const auto mix = [&m](const Value& t) {
        std::string out;
        for (const char* f : {"ll", "lr", "rr", "rl"}) out += m.ToString(m.GetMember(t, f)) + " ";
        return out;
    };
    const Value first = m.CallMethod(sound, "getTransform", {});
    EXPECT_EQ(mix(first), "100 0 100 0 ");
    m.SetMember(first, "ll", Value(7));
    Object* partial = m.NewObject();
    partial->Define("lr", Value(30.7));
    m.CallMethod(sound, "setTransform", std::vector<Value>{Value(partial)});
    m.CallMethod(sound, "setTransform", std::vector<Value>{Value(5)});
    const Value second = m.CallMethod(sound, "getTransform", {});
    EXPECT_EQ(mix(second), "100 30 100 0 ");
    // Another Sound of the same target (here the whole movie) reports what the first set.
    const Value other = m.Construct(m.Get(m.global, "Sound"), {});
    EXPECT_EQ(m.CallMethod(other, "getPan", {}).number, 0);
    EXPECT_EQ(m.CallMethod(other, "getVolume", {}).number, 2147483647);
    EXPECT_EQ(mix(m.CallMethod(other, "getTransform", {})), "100 30 100 0 ");
    // Methods called on something that is no Sound do nothing.
    EXPECT_TRUE(m.CallMethod(m.Get(m.global, "Sound"), "getVolume", {}).IsUndefined());
}

}  // namespace
}  // namespace lumarel
