// A host without a display tree for script-machine tests: a fixed clock, a fixed random
// sequence, and trace lines collected in order.
#pragma once

#include <string>
#include <vector>

#include "engine/avm1/machine.h"

namespace lumarel::testing {

class FakeHost : public engine::avm1::Host {
public:
    using Clip = engine::avm1::Clip;
    using Value = engine::avm1::Value;
    engine::avm1::Clip Root() override { return nullptr; }
    Clip Parent(const Clip&) override { return nullptr; }
    Clip Child(const Clip&, const std::string&) override { return nullptr; }
    bool IsClip(const Clip&) override { return false; }
    Value GetProperty(const Clip&, engine::avm1::ClipProp) override { return Value(); }
    void SetProperty(const Clip&, engine::avm1::ClipProp, const Value&) override {}
    void GotoFrame(const Clip&, int, bool) override {}
    bool GotoLabel(const Clip&, const std::string&, bool) override { return false; }
    void SetPlaying(const Clip&, bool) override {}
    std::string TargetPath(const Clip&) override { return "_level0"; }
    engine::avm1::Object*& ScriptObject(const Clip&) override { return slot; }
    double Milliseconds() override { return now; }
    uint32_t Random() override { return seed = seed * 1664525u + 1013904223u; }
    void Trace(const std::string& line) override { traces.push_back(line); }
    void FsCommand(const std::string& c, const std::string& a) override {
        traces.push_back("fscommand " + c + " " + a);
    }

    double now = 0;
    uint32_t seed = 1;
    std::vector<std::string> traces;
    engine::avm1::Object* slot = nullptr;
};

}  // namespace lumarel::testing
