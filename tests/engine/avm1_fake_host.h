// A host without a display tree for script-machine tests: a fixed clock, a fixed random
// sequence, and trace lines collected in order.
#pragma once

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "engine/avm1/machine.h"
#include "tools/swfkit/swfkit.h"

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

// A stage holding one clip, "mc", each with a matrix (twips) and a colour transform; mc's
// concatenated ones take in the stage's. mc's bounds on the stage are (1, 2)-(11, 22).
class ClipHost : public FakeHost {
public:
    struct Node {
        raster::Matrix matrix;
        raster::ColorTransform color;
        engine::avm1::Object* object = nullptr;
    };
    Clip root = std::make_shared<Node>(), mc = std::make_shared<Node>();
    static Node& Of(const Clip& c) { return *static_cast<Node*>(c.get()); }

    Clip Root() override { return root; }
    Clip Parent(const Clip& c) override { return c == mc ? root : nullptr; }
    Clip Child(const Clip& c, const std::string& name) override { return c == root && name == "mc" ? mc : nullptr; }
    bool IsClip(const Clip& c) override { return c && (c == root || c == mc); }
    engine::avm1::Object*& ScriptObject(const Clip& c) override { return Of(c).object; }
    bool Bounds(const Clip& c, const Clip&, Rect& out) override {
        out = {1, 2, 11, 22};
        return c == mc;
    }
    bool GetMatrix(const Clip& c, bool concatenated, raster::Matrix& out) override {
        out = concatenated && c == mc ? Of(root).matrix.Multiply(Of(mc).matrix) : Of(c).matrix;
        return true;
    }
    void SetMatrix(const Clip& c, const raster::Matrix& m) override { Of(c).matrix = m; }
    bool GetColor(const Clip& c, bool concatenated, raster::ColorTransform& out) override {
        out = concatenated && c == mc ? Of(root).color.Concat(Of(mc).color) : Of(c).color;
        return true;
    }
    void SetColor(const Clip& c, const raster::ColorTransform& cx) override { Of(c).color = cx; }
};

// Runs `source` (statements split by new lines) inside a function with `regs` registers, after
// `prelude` (which fills registers), on the host's root: the traces joined by "|", and an abort.
inline std::string RunInFunction(ClipHost& host, engine::avm1::Machine& m, const std::string& prelude,
                                 std::string source, int regs) {
    for (char& c : source)
        if (c == '\n') c = ';';
    const std::string code = "function2 body() regs=" + std::to_string(regs) + " flags=0 {; " + prelude + source +
                             "; }\npush 0, \"body\"; callfunction; pop";
    m.RunBlock(swfkit::AssembleActions(code), host.root);
    std::string out;
    for (size_t i = 0; i < host.traces.size(); ++i) out += (i ? "|" : "") + host.traces[i];
    return out + (m.LastAbort().empty() ? "" : "|abort: " + m.LastAbort());
}

// "push <args reversed>, <count>": the arguments of a call, first one on top.
inline std::string Args(const std::string& list) {
    std::vector<std::string> items;
    std::stringstream in(list);
    for (std::string item; std::getline(in, item, ',');) items.insert(items.begin(), item);
    std::string out = "push ";
    for (const std::string& item : items) out += item + ", ";
    return out + std::to_string(items.size());
}

}  // namespace lumarel::testing
