// The display tree as the script machine sees it: clips are sprite instances (the root
// included), their properties live on the display object that placed them.
#include <cmath>

#include "engine/avm1/machine.h"
#include "engine/timeline/timeline.h"

namespace lumarel::engine::timeline {

namespace {

constexpr double kPi = 3.14159265358979323846;

}  // namespace

using avm1::Clip;

class Stage::Host : public avm1::Host {
public:
    using Value = avm1::Value;

    explicit Host(Stage& s) : stage_(s) {}

    static Instance* Of(const Clip& c) { return static_cast<Instance*>(c.get()); }
    static Clip ClipFor(const std::shared_ptr<Instance>& i) { return std::static_pointer_cast<void>(i); }

    Clip Root() override { return ClipFor(stage_.root_); }
    Clip Parent(const Clip& c) override {
        if (!c) return nullptr;
        auto p = Of(c)->Parent();
        return p ? ClipFor(p) : nullptr;
    }
    Clip Child(const Clip& c, const std::string& name) override {
        if (!c) return nullptr;
        auto child = Of(c)->Child(name);
        return child ? ClipFor(child) : nullptr;
    }
    bool IsClip(const Clip& c) override {
        if (!c) return false;
        const Instance* i = Of(c);
        for (int guard = 0; guard <= kMaxNesting + 1; ++guard) {
            if (i == stage_.root_.get()) return true;
            auto parent = i->Parent();
            if (!parent || !Placement(*i)) return false;
            i = parent.get();
        }
        return false;
    }

    // The display object that shows `inst` (the root has one of its own).
    DisplayObject* Placement(const Instance& inst) {
        if (&inst == stage_.root_.get()) return &stage_.rootObject_;
        auto parent = inst.Parent();
        if (!parent) return nullptr;
        for (auto& [depth, obj] : parent->list_)
            if (obj.sprite.get() == &inst) return &obj;
        return nullptr;
    }

    Value GetProperty(const Clip& c, avm1::ClipProp p) override {
        Instance* inst = Of(c);
        DisplayObject* o = inst ? Placement(*inst) : nullptr;
        if (!o) return Value();
        const raster::Matrix& m = o->matrix;
        using P = avm1::ClipProp;
        switch (p) {
            case P::X:
                return Value(m.tx / 20.0);
            case P::Y:
                return Value(m.ty / 20.0);
            case P::XScale:
                return Value(std::hypot(m.a, m.b) * 100.0);
            case P::YScale:
                return Value(std::hypot(m.c, m.d) * 100.0 * (m.Determinant() < 0 ? -1 : 1));
            case P::Rotation:
                return Value(std::atan2(m.b, m.a) * 180.0 / kPi);
            case P::Alpha:
                return Value(o->cxform.am * 100.0);
            case P::Visible:
                return Value(o->visible);
            case P::CurrentFrame:
                return Value(double(inst->CurrentFrame() + 1));
            case P::TotalFrames:
            case P::FramesLoaded:
                return Value(double(inst->FrameCount()));
            case P::Name:
                return Value(o->name);
            case P::Target:
                return Value(SlashPath(*inst));
            case P::HighQuality:
                return Value(1.0);
            case P::Quality:
                return Value("HIGH");
            case P::FocusRect:
                return Value(1.0);
            case P::SoundBufTime:
                return Value(5.0);
            case P::Url:
            case P::DropTarget:
                return Value("");
            default:
                return Value(0.0);
        }
    }

    void SetProperty(const Clip& c, avm1::ClipProp p, const Value& v) override {
        Instance* inst = Of(c);
        DisplayObject* o = inst ? Placement(*inst) : nullptr;
        if (!o) return;
        avm1::Machine& m = *stage_.machine_;
        using P = avm1::ClipProp;
        raster::Matrix& mx = o->matrix;
        if (p == P::Name) {
            o->name = m.ToString(v);
            return;
        }
        if (p == P::Visible) {
            o->visible = m.ToBoolean(v);
            return;
        }
        const double n = m.ToNumber(v);
        if (!std::isfinite(n)) return;
        const double sx = std::hypot(mx.a, mx.b), sy = std::hypot(mx.c, mx.d);
        const double rot = std::atan2(mx.b, mx.a);
        // Skew kept: the y axis's angle relative to the x axis.
        const double skew = std::atan2(mx.d, mx.c) - rot;
        auto compose = [&](double scaleX, double scaleY, double r) {
            mx.a = scaleX * std::cos(r);
            mx.b = scaleX * std::sin(r);
            mx.c = scaleY * std::cos(r + skew);
            mx.d = scaleY * std::sin(r + skew);
        };
        switch (p) {
            case P::X:
                mx.tx = n * 20.0;
                break;
            case P::Y:
                mx.ty = n * 20.0;
                break;
            case P::XScale:
                compose(n / 100.0, sy, rot);
                break;
            case P::YScale:
                compose(sx, n / 100.0, rot);
                break;
            case P::Rotation:
                compose(sx, sy, std::fmod(n, 360.0) * kPi / 180.0);
                break;
            case P::Alpha:
                o->cxform.am = n / 100.0;
                break;
            default:
                break;
        }
    }

    void GotoFrame(const Clip& c, int frame, bool play) override {
        if (!c) return;
        Instance& inst = *Of(c);
        stage_.GotoFrame(inst, frame);
        inst.playing_ = play;
    }
    bool GotoLabel(const Clip& c, const std::string& label, bool play) override {
        if (!c) return false;
        Instance& inst = *Of(c);
        const int frame = inst.def_->FindLabel(label);
        if (frame < 0) return false;
        stage_.GotoFrame(inst, frame);
        inst.playing_ = play;
        return true;
    }
    void SetPlaying(const Clip& c, bool playing) override {
        if (c) Of(c)->playing_ = playing;
    }
    std::string TargetPath(const Clip& c) override {
        std::string path;
        for (const Instance* i = Of(c); i && i != stage_.root_.get(); i = i->Parent().get()) {
            const DisplayObject* o = Placement(*i);
            path = "." + (o ? o->name : std::string()) + path;
        }
        return "_level0" + path;
    }
    std::string SlashPath(const Instance& inst) {
        std::string path;
        for (const Instance* i = &inst; i && i != stage_.root_.get(); i = i->Parent().get()) {
            const DisplayObject* o = Placement(*i);
            path = "/" + (o ? o->name : std::string()) + path;
        }
        return path.empty() ? "/" : path;
    }
    avm1::Object*& ScriptObject(const Clip& c) override { return Of(c)->scriptObject; }

    double Milliseconds() override {
        if (stage_.env_.clock) return stage_.env_.clock();
        const double rate = stage_.env_.frameRate > 0 ? stage_.env_.frameRate : 12;
        return std::floor(static_cast<double>(stage_.tick_) * 1000.0 / rate);
    }
    uint32_t Random() override {
        // xorshift32: fixed sequence for a fixed seed.
        uint32_t x = seed_;
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return seed_ = x;
    }
    void Trace(const std::string& line) override {
        if (stage_.env_.trace) stage_.env_.trace(line);
    }
    void FsCommand(const std::string& command, const std::string& args) override {
        if (stage_.env_.fsCommand) stage_.env_.fsCommand(command, args);
    }

    uint32_t seed_ = 1;

private:
    Stage& stage_;
};

Stage::Stage(const MovieDefinition& def, ScriptEnv env) : def_(def), env_(std::move(env)), background_(def.background) {
    root_ = std::make_shared<Instance>(&def_.main, std::weak_ptr<Instance>(), 0, 0);
    host_ = std::make_unique<Host>(*this);
    host_->seed_ = env_.seed ? env_.seed : 1;
    machine_ = std::make_unique<avm1::Machine>(*host_, def_.version);
}

Stage::~Stage() = default;

void Stage::RunActions(const std::shared_ptr<Instance>& origin, std::span<const uint8_t> actions) {
    scripted_ = true;
    machine_->RunBlock(actions, Host::ClipFor(origin));
}

void Stage::EnterFrame() {
    if (!scripted_) return;  // no script has run and no clip has handlers: nothing can be called
    // The clips that exist now, parents before children; handlers may add or remove clips.
    std::vector<std::shared_ptr<Instance>> clips{root_};
    for (size_t i = 0; i < clips.size(); ++i)
        for (auto& [depth, obj] : clips[i]->list_)
            if (obj.sprite) clips.push_back(obj.sprite);
    for (const auto& c : clips) {
        const Clip clip = Host::ClipFor(c);
        if (!host_->IsClip(clip)) continue;
        if (const DisplayObject* o = host_->Placement(*c)) {
            const std::vector<ClipAction> handlers = o->clipActions;  // a handler may remove the clip
            for (const ClipAction& h : handlers)
                if (h.events & kClipEventEnterFrame) machine_->RunBlock(h.actions, clip);
        }
        if (c->scriptObject) machine_->CallHandler(c->scriptObject, "onEnterFrame");
    }
}

void Stage::AfterFrame() {
    machine_->RunTimers();
    RunQueuedActions();
    machine_->Collect();
}

}  // namespace lumarel::engine::timeline
