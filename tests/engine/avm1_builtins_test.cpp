// Built-in classes called directly, without bytecode.
#include <gtest/gtest.h>

#include "avm1_fake_host.h"

namespace lumarel {
namespace {

using engine::avm1::Machine;
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

}  // namespace
}  // namespace lumarel
