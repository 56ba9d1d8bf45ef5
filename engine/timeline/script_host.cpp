// The display tree as the script machine sees it: clips are sprite instances (the root
// included), their properties live on the display object that placed them.
#include <cmath>

#include "engine/avm1/machine.h"
#include "engine/avm1/utf8.h"
#include "engine/timeline/timeline.h"

namespace lumarel::engine::timeline {

namespace {

constexpr double kPi = 3.14159265358979323846;
const char* const kQualityNames[] = {"LOW", "MEDIUM", "HIGH", "BEST"};

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
            if (stage_.IsTop(*i)) return true;
            auto parent = i->Parent();
            if (!parent || !Placement(*i)) return false;
            i = parent.get();
        }
        return false;
    }

    // The display object that shows `inst` (the root has one of its own).
    DisplayObject* Placement(const Instance& inst) { return stage_.PlacementOf(inst); }
    // The matrix from the instance's space to the stage's (twips), the root's own one included.
    raster::Matrix StageMatrix(const Instance& inst) { return stage_.StageMatrix(inst); }
    void SetMask(const Clip& c, const Clip& mask) override {
        DisplayObject* o = c ? Placement(*Of(c)) : nullptr;
        if (!o) return;
        if (auto old = o->mask.lock()) old->isMask = false;
        o->mask.reset();
        if (!mask || mask.get() == c.get()) return;
        Of(mask)->isMask = true;
        o->mask = Of(mask)->weak_from_this();
    }
    // The clip's bounds in its parent's space (twips).
    static Box ParentBounds(const Instance& inst, const DisplayObject& o) {
        Box box;
        if (o.scrollRect)
            AddObjectBounds(o, o.matrix, box);
        else
            AddBounds(inst, o.matrix, box);
        return box;
    }

    Clip CreateClip(const Clip& parent, const std::string& symbol, const std::string& name, int depth) override {
        if (!parent) return nullptr;
        const uint16_t id = symbol.empty() ? 0 : stage_.MovieOf(*Of(parent)).FindExport(symbol);
        if (!symbol.empty() && !id) return nullptr;
        auto made = stage_.AttachClip(*Of(parent), id, name, ScriptToList(depth));
        return made ? ClipFor(made) : nullptr;
    }
    Clip DuplicateClip(const Clip& c, const std::string& name, int depth) override {
        if (!c) return nullptr;
        auto made = stage_.DuplicateClip(*Of(c), name, ScriptToList(depth));
        return made ? ClipFor(made) : nullptr;
    }
    bool RemoveClip(const Clip& c) override { return c && stage_.RemoveClip(*Of(c)); }
    bool Depth(const Clip& c, int& depth) override {
        const DisplayObject* o = c ? Placement(*Of(c)) : nullptr;
        if (!o || Of(c) == stage_.root_.get()) return false;
        depth = o->depth - kScriptDepthOffset;
        return true;
    }
    void SwapDepths(const Clip& c, int depth) override {
        if (c) stage_.SwapDepths(*Of(c), ScriptToList(depth));
    }
    Clip AtDepth(const Clip& parent, int depth) override {
        if (!parent) return nullptr;
        const DisplayObject* o = Of(parent)->At(ScriptToList(depth));
        return o && o->sprite ? ClipFor(o->sprite) : nullptr;
    }
    int NextHighestDepth(const Clip& parent) override {
        if (!parent || Of(parent)->list_.empty()) return 0;
        return std::max(0, Of(parent)->list_.rbegin()->first + 1 - kScriptDepthOffset);
    }
    std::string Symbol(const Clip& c) override {
        const DisplayObject* o = c ? Placement(*Of(c)) : nullptr;
        if (!o || !o->characterId) return "";
        for (const auto& [name, id] : stage_.MovieOf(*Of(c)).exports)
            if (id == o->characterId) return name;
        return "";
    }
    bool Bounds(const Clip& c, const Clip& space, Rect& out) override {
        if (!c) return false;
        const Instance& inst = *Of(c);
        raster::Matrix m;  // the clip's own space when no other is named
        if (space && space.get() != c.get()) m = StageMatrix(*Of(space)).Inverted().Multiply(StageMatrix(inst));
        Box box;
        AddBounds(inst, m, box);
        if (box.Empty()) return false;
        out = Rect{box.xMin / 20.0, box.yMin / 20.0, box.xMax / 20.0, box.yMax / 20.0};
        return true;
    }
    bool HitShape(const Clip& c, double x, double y) override {
        if (!c || !std::isfinite(x) || !std::isfinite(y)) return false;
        const Instance& inst = *Of(c);
        const DisplayObject* o = Placement(inst);
        return (!o || o->visible) && HitsShapes(inst, StageMatrix(inst), x * 20.0, y * 20.0);
    }
    void LocalToGlobal(const Clip& c, double& x, double& y) override {
        if (!c) return;
        StageMatrix(*Of(c)).Apply(x * 20.0, y * 20.0, x, y);
        x /= 20.0;
        y /= 20.0;
    }
    void GlobalToLocal(const Clip& c, double& x, double& y) override {
        if (!c) return;
        StageMatrix(*Of(c)).Inverted().Apply(x * 20.0, y * 20.0, x, y);
        x /= 20.0;
        y /= 20.0;
    }
    bool GetMatrix(const Clip& c, bool concatenated, raster::Matrix& out) override {
        const DisplayObject* o = c ? Placement(*Of(c)) : nullptr;
        if (!o) return false;
        out = concatenated ? StageMatrix(*Of(c)) : o->matrix;
        return true;
    }
    void SetMatrix(const Clip& c, const raster::Matrix& m) override {
        DisplayObject* o = c ? Placement(*Of(c)) : nullptr;
        if (o && m.IsFinite()) o->matrix = m;
    }
    bool GetColor(const Clip& c, bool concatenated, raster::ColorTransform& out) override {
        if (!c) return false;
        out = raster::ColorTransform{};
        int guard = 0;
        for (const Instance* i = Of(c); i && guard++ <= kMaxNesting + 1;
             i = concatenated ? i->Parent().get() : nullptr) {
            const DisplayObject* o = Placement(*i);
            if (!o) return false;
            out = o->cxform.Concat(out);
        }
        return true;
    }
    void SetColor(const Clip& c, const raster::ColorTransform& cx) override {
        if (DisplayObject* o = c ? Placement(*Of(c)) : nullptr) o->cxform = cx;
    }
    int BlendMode(const Clip& c) override {
        const DisplayObject* o = c ? Placement(*Of(c)) : nullptr;
        return o ? static_cast<int>(o->blend) + 1 : 1;
    }
    void SetBlendMode(const Clip& c, int mode) override {
        if (DisplayObject* o = c ? Placement(*Of(c)) : nullptr; o && mode >= 1 && mode <= 14)
            o->blend = static_cast<raster::Blend>(mode - 1);
    }
    void SetFilters(const Clip& c, std::vector<swf::Filter> filters) override {
        if (DisplayObject* o = c ? Placement(*Of(c)) : nullptr)
            o->filters =
                filters.empty() ? nullptr : std::make_shared<const std::vector<swf::Filter>>(std::move(filters));
    }
    void SetScrollRect(const Clip& c, const Rect* r) override {
        DisplayObject* o = c ? Placement(*Of(c)) : nullptr;
        if (!o) return;
        o->scrollRect.reset();
        auto twips = [](double px) { return static_cast<int32_t>(std::clamp(std::round(px * 20.0), -1e8, 1e8)); };
        if (r) o->scrollRect = swf::Rect{twips(r->xMin), twips(r->xMax), twips(r->yMin), twips(r->yMax)};
    }
    void SetScale9Grid(const Clip& c, const Rect* r) override {
        if (!c) return;
        Instance& inst = *Of(c);
        inst.scriptGrid_ = true;
        inst.grid_.reset();
        auto twips = [](double px) { return static_cast<int32_t>(std::clamp(std::round(px * 20.0), -1e8, 1e8)); };
        if (r && r->xMax > r->xMin && r->yMax > r->yMin)
            inst.grid_ = swf::Rect{twips(r->xMin), twips(r->xMax), twips(r->yMin), twips(r->yMax)};
    }
    void SetOpaqueBackground(const Clip& c, const uint32_t* rgb) override {
        DisplayObject* o = c ? Placement(*Of(c)) : nullptr;
        if (!o) return;
        o->opaqueBackground.reset();
        if (rgb)
            o->opaqueBackground = raster::Rgba{static_cast<uint8_t>(*rgb >> 16), static_cast<uint8_t>(*rgb >> 8),
                                               static_cast<uint8_t>(*rgb), 255};
    }
    bool CacheAsBitmap(const Clip& c) override {
        const DisplayObject* o = c ? Placement(*Of(c)) : nullptr;
        return o && (o->cacheAsBitmap || o->filters);
    }
    void SetCacheAsBitmap(const Clip& c, bool on) override {
        if (DisplayObject* o = c ? Placement(*Of(c)) : nullptr) o->cacheAsBitmap = on;
    }
    bool IsTextField(const Clip& c) override { return c && Of(c)->field; }
    bool IsButton(const Clip& c) override { return c && Of(c)->def_ && Of(c)->def_->button; }
    Clip CreateTextField(const Clip& parent, const std::string& name, int depth, double x, double y, double width,
                         double height) override {
        if (!parent) return nullptr;
        auto made = stage_.AttachField(*Of(parent), name, ScriptToList(depth), x, y, width, height);
        return made ? ClipFor(made) : nullptr;
    }
    Value FieldGet(const Clip& c, const std::string& name) override;
    Value FormatGet(const Clip& c, size_t begin, size_t end, const std::string& k) override;
    bool FormatSet(const Clip& c, size_t begin, size_t end, const std::string& k, const Value& v) override;
    Value FieldFormat(EditField& f, const std::string& k);
    bool MeasureText(const std::string& text, double wrapWidth, TextMeasure& m) override;
    bool FieldSet(const Clip& c, const std::string& name, const Value& v) override;

    void DrawClip(const Clip& c, raster::Bitmap& into, const raster::Matrix& m, const raster::ColorTransform& cx,
                  bool /*smooth*/) override {
        const size_t n = size_t(std::max(0, into.width)) * size_t(std::max(0, into.height));
        if (!c || !n || into.pixels.size() < n) return;
        raster::Surface s(into.width, into.height);
        std::copy(into.pixels.begin(), into.pixels.begin() + long(n), s.data());
        raster::Renderer r(s);
        long budget = kMaxEdgesPerFrame;
        stage_.RenderList(r, *Of(c), m, cx, false, budget);
        std::copy(s.data(), s.data() + n, into.pixels.begin());
    }
    std::shared_ptr<const raster::Bitmap> LibraryBitmap(const std::string& name) override {
        auto it = stage_.def_.bitmaps.find(stage_.def_.FindExport(name));
        return it == stage_.def_.bitmaps.end() ? nullptr : it->second;
    }
    bool AttachBitmap(const Clip& c, std::shared_ptr<const raster::Bitmap> bitmap, int depth, bool smooth) override {
        return c && !Of(c)->field && stage_.AttachBitmap(*Of(c), std::move(bitmap), ScriptToList(depth), smooth);
    }
    bool LoadMovie(const Clip& c, const std::string& url) override {
        return c && !Of(c)->field && stage_.LoadMovie(*Of(c), url);
    }
    void UnloadMovie(const Clip& c) override {
        if (c && !Of(c)->field) stage_.UnloadMovie(*Of(c));
    }
    uint32_t SoundGroup(const Clip& c) override {
        if (!c) return 0;
        Instance& inst = *Of(c);
        if (!inst.soundGroup_) inst.soundGroup_ = ++stage_.soundGroups_;
        return inst.soundGroup_;
    }
    bool StartLibrarySound(const std::string& linkage, double offset, int loops, uint32_t group) override {
        const auto it = stage_.def_.exports.find(avm1::LowerCaseText(linkage));
        if (it == stage_.def_.exports.end() || !stage_.mixer_->HasSound(it->second)) return false;
        sound::SoundInfo info;
        info.loops = static_cast<uint16_t>(std::clamp(loops, 1, 65535));
        if (offset > 0) {
            info.hasInPoint = true;
            info.inPoint = static_cast<uint32_t>(std::min(offset * sound::kOutputRate, 4e9));
        }
        return stage_.mixer_->Start(it->second, info, group) != 0;
    }
    void StopSounds(uint32_t group, const std::string& linkage) override {
        sound::Mixer& mixer = *stage_.mixer_;
        if (!linkage.empty()) {
            const auto it = stage_.def_.exports.find(avm1::LowerCaseText(linkage));
            if (it != stage_.def_.exports.end()) mixer.StopSound(it->second);
        } else if (group) {
            mixer.StopGroup(group);
        } else {
            mixer.StopAll();
        }
    }
    void SetSoundTransform(uint32_t group, int volume, int ll, int lr, int rr, int rl) override {
        const sound::SoundTransform t{volume, ll, lr, rr, rl};
        if (group)
            stage_.mixer_->SetGroupTransform(group, t);
        else
            stage_.mixer_->SetMasterTransform(t);
    }
    bool ReadFile(const std::string& url, std::string& out) override {
        return stage_.env_.readFile && stage_.env_.readFile(url, out);
    }
    bool LoadShared(const std::string& name, std::vector<uint8_t>& out) override {
        return stage_.env_.loadShared && stage_.env_.loadShared(name, out);
    }
    bool SaveShared(const std::string& name, std::span<const uint8_t> bytes) override {
        return stage_.env_.saveShared && stage_.env_.saveShared(name, bytes);
    }
    std::string MovieName() override { return stage_.env_.movieName; }

    avm1::Canvas* CanvasOf(const Clip& c) override {
        if (!c || Of(c)->field) return nullptr;
        Instance& inst = *Of(c);
        if (!inst.drawing) inst.drawing = std::make_unique<Drawing>();
        return inst.drawing.get();
    }
    static int32_t ScriptToList(int depth) {
        return static_cast<int32_t>(std::clamp<int64_t>(int64_t(depth) + kScriptDepthOffset, -1, INT32_MAX));
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
            case P::Width:
            case P::Height: {
                const Box b = ParentBounds(*inst, *o);
                if (b.Empty()) return Value(0.0);
                return Value(std::round((p == P::Width ? b.xMax - b.xMin : b.yMax - b.yMin)) / 20.0);
            }
            case P::Target:
                return Value(SlashPath(*inst));
            case P::HighQuality:
                return Value(stage_.quality == raster::Quality::Low    ? 0.0
                             : stage_.quality == raster::Quality::Best ? 2.0
                                                                       : 1.0);
            case P::Quality:
                return Value(kQualityNames[std::min(static_cast<int>(stage_.quality), 3)]);
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
        if (p == P::Quality) {  // the whole stage's, whichever clip sets it
            const std::string q = avm1::LowerCaseText(m.ToString(v));
            for (int i = 0; i < 4; ++i)
                if (q == avm1::LowerCaseText(kQualityNames[i])) stage_.quality = static_cast<raster::Quality>(i);
            return;
        }
        if (p == P::HighQuality) {
            const double n = m.ToNumber(v);
            if (std::isfinite(n))
                stage_.quality = n <= 0 ? raster::Quality::Low : n >= 2 ? raster::Quality::Best : raster::Quality::High;
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
                // Kept as 8.8 fixed point, as colour transforms are: 30 reads back as 29.6875.
                o->cxform.am = std::trunc(std::clamp(n, -12800.0, 12800.0) * 2.56) / 256.0;
                break;
            case P::Width:
            case P::Height: {
                if (inst->field) {  // a field changes its box, not its scale
                    swf::Rect& b = inst->field->def.bounds;
                    const auto size = static_cast<int32_t>(std::clamp(n * 20.0, 0.0, 1e8));
                    (p == P::Width ? b.xmax : b.ymax) = (p == P::Width ? b.xmin : b.ymin) + size;
                    inst->field->Changed();
                    break;
                }
                // Scales the clip so its bounds in the parent take the size asked for.
                const Box b = ParentBounds(*inst, *o);
                const double now = p == P::Width ? b.xMax - b.xMin : b.yMax - b.yMin;
                if (b.Empty() || now <= 0) break;
                const double k = n * 20.0 / now;
                if (p == P::Width)
                    compose(sx * k, sy, rot);
                else
                    compose(sx, sy * k, rot);
                break;
            }
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
    void CallFrame(const Clip& c, const std::string& frame) override {
        if (!c) return;
        Instance& inst = *Of(c);
        const double n = avm1::StringToNumber(frame, stage_.def_.version);
        const int f = std::isnan(n) ? inst.def_->FindLabel(frame) : static_cast<int>(std::clamp(n, 0.0, 1e9)) - 1;
        if (f < 0 || f >= inst.FrameCount()) return;
        for (const swf::Tag& t : inst.def_->frames[static_cast<size_t>(f)])
            if (t.code == swf::tag::DoAction) stage_.RunActions(inst.shared_from_this(), t.data);
    }
    void SetPlaying(const Clip& c, bool playing) override {
        if (c) Of(c)->playing_ = playing;
    }
    Clip Level(int n, bool create) override {
        Instance* level = stage_.Level(n, create);
        return level ? ClipFor(level->shared_from_this()) : nullptr;
    }
    void RemoveLevel(int n) override { stage_.RemoveLevel(n); }
    std::string TargetPath(const Clip& c) override {
        std::string path;
        const Instance* i = Of(c);
        for (; i && i->Parent(); i = i->Parent().get()) {
            const DisplayObject* o = Placement(*i);
            path = "." + (o ? o->name : std::string()) + path;
        }
        return "_level" + std::to_string(i ? i->level_ : 0) + path;
    }
    std::string SlashPath(const Instance& inst) {
        std::string path;
        const Instance* i = &inst;
        for (; i && i->Parent(); i = i->Parent().get()) {
            const DisplayObject* o = Placement(*i);
            path = "/" + (o ? o->name : std::string()) + path;
        }
        if (i && i->level_ > 0) path = "_level" + std::to_string(i->level_) + path;
        return path.empty() ? "/" : path;
    }
    avm1::Object*& ScriptObject(const Clip& c) override { return Of(c)->scriptObject; }

    double Milliseconds() override {
        if (stage_.env_.clock) return stage_.env_.clock();
        const double rate = stage_.env_.frameRate > 0 ? stage_.env_.frameRate : 12;
        return std::floor(static_cast<double>(stage_.tick_) * 1000.0 / rate);
    }
    double UtcNow() override { return stage_.env_.utcNow ? stage_.env_.utcNow() : avm1::Host::UtcNow(); }
    double LocalOffset(double utc) override {
        return stage_.env_.localOffset ? stage_.env_.localOffset(utc) : avm1::Host::LocalOffset(utc);
    }
    double StageWidth() override { return stage_.env_.stageWidth; }
    double StageHeight() override { return stage_.env_.stageHeight; }
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

namespace {

double RgbOf(raster::Rgba c) { return double(uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b); }
raster::Rgba ToRgb(uint32_t v, uint8_t alpha = 255) {
    return {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v), alpha};
}
// A script's number cut to [lo, hi]; what is no number counts as 0.
double NumberIn(avm1::Machine& m, const avm1::Value& v, double lo, double hi) {
    const double n = m.ToNumber(v);
    return std::clamp(std::isfinite(n) ? n : 0.0, lo, hi);
}
// How far a field's text can move left: what is wider than the room inside the field (twips).
double MaxHScroll(EditField& f, const text::TextContext& ctx) {
    const text::EditTextDef& d = f.def;
    const double room = double(d.bounds.xmax) - d.bounds.xmin - 2 * text::kFieldPadding - d.leftMargin - d.rightMargin;
    return std::max(0.0, f.Extent(ctx).width - room);
}
const char* const kAlignNames[] = {"left", "right", "center", "justify"};
const char* const kAutoSizeNames[] = {"none", "left", "center", "right"};

}  // namespace

bool Stage::Host::MeasureText(const std::string& s, double wrapWidth, TextMeasure& m) {
    text::EditTextDef d;
    d.face = m.face;
    d.bold = m.bold;
    d.italic = m.italic;
    d.height = std::clamp(std::isfinite(m.size) ? m.size : 12.0, 0.0, 5000.0) * 20.0;
    d.multiline = true;
    d.wordWrap = wrapWidth > 0;
    const double wide = std::clamp(d.wordWrap ? wrapWidth * 20.0 + 2 * text::kFieldPadding : 1e7, 0.0, 1e7);
    d.bounds = swf::Rect{0, static_cast<int32_t>(wide), 0, int32_t(1) << 26};
    d.text = s.substr(0, kMaxFieldText);
    text::TextContext ctx = stage_.TextContextFor();
    long budget = kMaxFieldEdges;
    ctx.edgeBudget = &budget;
    text::TextShape shape;
    text::TextExtent e;
    text::LayoutEditText(d, d.text, ctx, shape, &e);
    m.width = e.width / 20.0;
    m.height = e.height / 20.0;
    m.ascent = e.ascent / 20.0;
    m.descent = e.descent / 20.0;
    return true;
}

// The field's own format entry (`k` as TextFormat names it).
avm1::Value Stage::Host::FieldFormat(EditField& f, const std::string& k) {
    const text::EditTextDef& d = f.def;
    if (k == "font") {
        auto fonts = stage_.def_.fonts;
        if (d.fontId && fonts) {
            auto it = fonts->find(d.fontId);
            if (it != fonts->end()) return Value(it->second.name);
        }
        return Value(d.face.empty() ? "Times New Roman" : d.face);
    }
    if (k == "size") return Value(d.height / 20.0);
    if (k == "color") return Value(RgbOf(d.color));
    if (k == "bold") return Value(d.bold);
    if (k == "italic") return Value(d.italic);
    if (k == "underline" || k == "bullet" || k == "kerning") return Value(false);
    if (k == "url" || k == "target") return Value("");
    if (k == "align") return Value(kAlignNames[d.align & 3]);
    if (k == "leftMargin") return Value(d.leftMargin / 20.0);
    if (k == "rightMargin") return Value(d.rightMargin / 20.0);
    if (k == "indent") return Value(d.indent / 20.0);
    if (k == "leading") return Value(d.leading / 20.0);
    if (k == "blockIndent" || k == "letterSpacing") return Value(0.0);
    if (k == "tabStops") return Value(stage_.machine_->NewArray());
    return Value::Null();
}

avm1::Value Stage::Host::FormatGet(const Clip& c, size_t begin, size_t end, const std::string& k) {
    if (!IsTextField(c)) return Value();
    EditField& f = *Of(c)->field;
    const Value own = FieldFormat(f, k);
    const avm1::Machine& m = *stage_.machine_;
    const bool perChar = k == "font" || k == "size" || k == "color" || k == "bold" || k == "italic";
    if (!perChar || f.def.patches.empty()) return own;
    // What a run of characters has: one value when they all have it, null when they differ.
    end = std::min(end, avm1::Utf8Length(f.Text()));
    // The value only changes where a run begins or ends: those points are all there is to check.
    std::vector<size_t> points{begin};
    for (const text::FormatPatch& p : f.def.patches)
        for (size_t at : {p.begin, p.end})
            if (at > begin && at < end) points.push_back(at);
    std::optional<Value> common;
    for (size_t i : begin < end ? points : std::vector<size_t>{}) {
        Value v = own;
        for (const text::FormatPatch& p : f.def.patches) {
            if (i < p.begin || i >= p.end) continue;
            if (k == "font" && p.face) v = Value(*p.face);
            if (k == "size" && p.height) v = Value(*p.height / 20.0);
            if (k == "color" && p.color) v = Value(RgbOf(*p.color));
            if (k == "bold" && p.bold) v = Value(*p.bold);
            if (k == "italic" && p.italic) v = Value(*p.italic);
        }
        if (!common)
            common = v;
        else if (!m.StrictEquals(*common, v))
            return Value::Null();
    }
    return common ? *common : own;
}

bool Stage::Host::FormatSet(const Clip& c, size_t begin, size_t end, const std::string& k, const Value& v) {
    if (!IsTextField(c)) return false;
    EditField& f = *Of(c)->field;
    text::EditTextDef& d = f.def;
    avm1::Machine& m = *stage_.machine_;
    auto number = [&](double lo, double hi) { return NumberIn(m, v, lo, hi); };
    if (begin > 0 || end != kWholeField) {
        // A run of characters: the entry is kept beside the text, merged into the last run given
        // when it covers the same characters.
        if (end <= begin) return false;
        if (d.patches.empty() || d.patches.back().begin != begin || d.patches.back().end != end) {
            if (d.patches.size() >= kMaxFormatRuns) return false;
            d.patches.push_back(text::FormatPatch{begin, end});
        }
        text::FormatPatch& p = d.patches.back();
        if (k == "font")
            p.face = m.ToString(v);
        else if (k == "size")
            p.height = std::round(number(0, 5000)) * 20.0;
        else if (k == "color")
            p.color = ToRgb(avm1::ToUint32(m.ToNumber(v)), d.color.a);
        else if (k == "bold")
            p.bold = m.ToBoolean(v);
        else if (k == "italic")
            p.italic = m.ToBoolean(v);
        else
            return FormatSet(c, 0, kWholeField, k, v);  // paragraph formats apply to the field
        f.Changed();
        return true;
    }
    // The whole field: its own format, which no earlier run overrides any more.
    for (text::FormatPatch& p : d.patches) {
        if (k == "font") p.face.reset();
        if (k == "size") p.height.reset();
        if (k == "color") p.color.reset();
        if (k == "bold") p.bold.reset();
        if (k == "italic") p.italic.reset();
    }
    if (k == "font") {
        d.face = m.ToString(v);
        d.fontId = 0;
    } else if (k == "size") {
        d.height = std::round(number(0, 5000)) * 20.0;
    } else if (k == "color") {
        d.color = ToRgb(avm1::ToUint32(m.ToNumber(v)), d.color.a);
    } else if (k == "bold") {
        d.bold = m.ToBoolean(v);
    } else if (k == "italic") {
        d.italic = m.ToBoolean(v);
    } else if (k == "align") {
        const std::string a = m.ToString(v);
        for (uint8_t i = 0; i < 4; ++i)
            if (a == kAlignNames[i]) d.align = i;
    } else if (k == "leftMargin" || k == "rightMargin" || k == "indent" || k == "leading") {
        double& field = k == "leftMargin"    ? d.leftMargin
                        : k == "rightMargin" ? d.rightMargin
                        : k == "indent"      ? d.indent
                                             : d.leading;
        field = std::round(number(-1e5, 1e5)) * 20.0;
    } else {
        return false;
    }
    f.Changed();
    return true;
}

avm1::Value Stage::Host::FieldGet(const Clip& c, const std::string& name) {
    if (!IsTextField(c)) return Value();
    EditField& f = *Of(c)->field;
    const text::EditTextDef& d = f.def;
    const text::TextContext ctx = stage_.TextContextFor();
    if (name == "text") return Value(f.Text());
    if (name == "htmlText") return Value(d.html ? f.HtmlText() : f.Text());
    if (name == "html") return Value(d.html);
    if (name == "length") return Value(double(avm1::Utf8Length(f.Text())));
    if (name == "textWidth") return Value(std::round(f.Extent(ctx).width) / 20.0);
    if (name == "textHeight") return Value(std::round(f.Extent(ctx).height) / 20.0);
    if (name == "autoSize") return Value(kAutoSizeNames[static_cast<int>(f.autoSize)]);
    if (name == "wordWrap") return Value(d.wordWrap);
    if (name == "multiline") return Value(d.multiline);
    if (name == "border") return Value(f.border);
    if (name == "background") return Value(f.background);
    if (name == "borderColor") return Value(RgbOf(f.borderColor));
    if (name == "backgroundColor") return Value(RgbOf(f.backgroundColor));
    if (name == "textColor") return Value(RgbOf(d.color));
    if (name == "selectable") return Value(!d.noSelect);
    if (name == "type") return Value(d.readOnly ? "dynamic" : "input");
    if (name == "variable") return d.variable.empty() ? Value::Null() : Value(d.variable);
    if (name == "embedFonts") return Value(f.embedFonts);
    if (name == "maxChars") return d.maxLength ? Value(double(d.maxLength)) : Value::Null();
    if (name == "password") return Value(d.password);
    if (name == "scroll") return Value(double(std::min<size_t>(d.scroll + 1, size_t(f.Extent(ctx).maxScroll))));
    if (name == "maxscroll") return Value(double(f.Extent(ctx).maxScroll));
    if (name == "bottomScroll") return Value(double(f.Extent(ctx).bottomScroll));
    if (name == "hscroll") return Value(std::round(std::min(d.hscroll, MaxHScroll(f, ctx))) / 20.0);
    if (name == "maxhscroll") return Value(std::round(MaxHScroll(f, ctx)) / 20.0);
    if (name == "sharpness" || name == "thickness") return Value(0.0);
    if (name == "condenseWhite") return Value(false);
    if (name == "antiAliasType") return Value("normal");
    if (name == "gridFitType") return Value("pixel");
    if (name == "mouseWheelEnabled") return Value(true);
    if (name == "restrict") return Value::Null();
    return Value();
}

bool Stage::Host::FieldSet(const Clip& c, const std::string& name, const Value& v) {
    if (!IsTextField(c)) return false;
    EditField& f = *Of(c)->field;
    text::EditTextDef& d = f.def;
    avm1::Machine& m = *stage_.machine_;
    auto number = [&](double lo, double hi) { return NumberIn(m, v, lo, hi); };
    auto flag = [&](bool& b) {
        b = m.ToBoolean(v);
        f.Changed();
        return true;
    };
    if (name == "text" || name == "htmlText") {
        const std::string s = m.ToString(v);
        if (name == "text")
            f.SetText(s);
        else
            f.SetHtmlText(s);
        if (!d.variable.empty())
            if (auto parent = Of(c)->Parent()) {
                const Value shown(d.html ? f.HtmlText() : f.Text());
                m.Variable(ClipFor(parent), d.variable, &shown);
            }
        return true;
    }
    if (name == "html") return flag(d.html);
    if (name == "wordWrap") return flag(d.wordWrap);
    if (name == "multiline") return flag(d.multiline);
    if (name == "border") return flag(f.border);
    if (name == "background") return flag(f.background);
    if (name == "password") return flag(d.password);
    if (name == "embedFonts") return flag(f.embedFonts);
    if (name == "autoSize") {
        const std::string s = v.type == avm1::Type::Boolean ? (v.boolean ? "left" : "none") : m.ToString(v);
        f.autoSize = EditField::AutoSize::None;
        for (int i = 1; i < 4; ++i)
            if (s == kAutoSizeNames[i]) f.autoSize = static_cast<EditField::AutoSize>(i);
        f.Changed();
        return true;
    }
    if (name == "textColor") return FormatSet(c, 0, kWholeField, "color", v);  // all of the text
    if (name == "borderColor" || name == "backgroundColor") {
        const uint32_t rgb = avm1::ToUint32(m.ToNumber(v));
        (name == "borderColor" ? f.borderColor : f.backgroundColor) = ToRgb(rgb);
        f.Changed();
        return true;
    }
    if (name == "selectable") {
        d.noSelect = !m.ToBoolean(v);
        return true;
    }
    if (name == "type") {
        d.readOnly = m.ToString(v) != "input";
        return true;
    }
    if (name == "styleSheet") {  // the sheet's rules as CSS text, or nothing
        const std::string css = v.IsNullish() ? std::string() : m.ToString(v);
        d.styleSheet =
            css.empty() ? nullptr : std::make_shared<const text::StyleSheet>(text::StyleSheetOf(text::ParseCss(css)));
        f.Changed();
        return true;
    }
    if (name == "variable") {
        d.variable = v.IsNullish() ? std::string() : m.ToString(v);
        return true;
    }
    if (name == "scroll") {
        const double most = f.Extent(stage_.TextContextFor()).maxScroll;
        d.scroll = static_cast<size_t>(std::trunc(number(1, most)) - 1);
        f.Changed();
        return true;
    }
    if (name == "hscroll") {
        d.hscroll = std::trunc(number(0, MaxHScroll(f, stage_.TextContextFor()) / 20)) * 20;
        f.Changed();
        return true;
    }
    if (name == "maxChars") {
        d.maxLength = static_cast<uint16_t>(v.IsNullish() ? 0 : number(0, 65535));
        f.Changed();
        return true;
    }
    return false;
}

Stage::Stage(const MovieDefinition& def, ScriptEnv env) : def_(def), env_(std::move(env)), background_(def.background) {
    root_ = std::make_shared<Instance>(&def_.main, std::weak_ptr<Instance>(), 0, 0);
    host_ = std::make_unique<Host>(*this);
    host_->seed_ = env_.seed ? env_.seed : 1;
    mixer_ = std::make_unique<sound::Mixer>(env_.soundDecoders);
    for (std::span<const uint8_t> body : def_.sounds) mixer_->DefineSoundTag(body);
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
    for (auto& [n, obj] : levels_) clips.push_back(obj.sprite);
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

void Stage::BindClass(const std::shared_ptr<Instance>& clip) {
    if (!scripted_ || !clip || MovieOf(*clip).exports.empty()) return;
    const Clip c = Host::ClipFor(clip);
    const std::string symbol = host_->Symbol(c);
    if (!symbol.empty() && avm1::BindClipClass(*machine_, c, symbol, avm1::Value()))
        machine_->CallHandler(clip->scriptObject, "onLoad");
}

void Stage::Retire(DisplayObject&& obj) {
    // A clip leaving the display list takes its stream sound with it (StopStreams removes it).
    if (obj.sprite && obj.sprite->stream_.key) {
        mixer_->StreamStop(obj.sprite->stream_.key);
        obj.sprite->stream_ = {};
    }
    if (scripted_ && obj.sprite) retired_.push_back(std::move(obj));
}

void Stage::RunRetired() {
    // Handlers may retire more clips; each round runs those retired by the one before.
    for (int round = 0; !retired_.empty() && round < kMaxNesting * 4; ++round) {
        std::vector<DisplayObject> batch;
        batch.swap(retired_);
        for (DisplayObject& obj : batch) {
            const Clip clip = Host::ClipFor(obj.sprite);
            for (const ClipAction& h : obj.clipActions)
                if (h.events & kClipEventUnload) machine_->RunBlock(h.actions, clip);
            if (obj.sprite->scriptObject) machine_->CallHandler(obj.sprite->scriptObject, "onUnload");
        }
    }
    retired_.clear();
}

void Stage::UpdateFields() {
    const text::TextContext ctx = TextContextFor();
    size_t kept = 0;
    for (size_t i = 0; i < fields_.size(); ++i) {
        std::shared_ptr<Instance> f = fields_[i].lock();
        if (!f) continue;
        fields_[kept++] = fields_[i];
        EditField& field = *f->field;
        auto parent = f->Parent();
        if (!field.def.variable.empty() && parent && host_->IsClip(Host::ClipFor(f))) {
            // A bound field shows its variable; a field whose variable is unset gives it its text.
            const Clip owner = Host::ClipFor(parent);
            const avm1::Value v = machine_->Variable(owner, field.def.variable);
            if (v.IsUndefined()) {
                if (!field.Text().empty()) {
                    const avm1::Value text(field.def.html ? field.HtmlText() : field.Text());
                    machine_->Variable(owner, field.def.variable, &text);
                }
            } else {
                const std::string shown = machine_->ToString(v);
                if (shown != (field.def.html ? field.HtmlText() : field.Text())) field.SetHtmlText(shown);
            }
        }
        field.Shape(ctx);
    }
    fields_.resize(kept);
}

void Stage::AfterFrame() {
    if (!pendingLoads_.empty()) FinishLoads();
    machine_->RunTimers();
    RunQueuedActions();
    if (!fields_.empty()) UpdateFields();
    RunRetired();
    machine_->Collect();
}

}  // namespace lumarel::engine::timeline
