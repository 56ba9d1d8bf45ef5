#include "engine/timeline/timeline.h"

#include "engine/image/image.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstring>

#include "engine/pacing.h"
#include "engine/raster/display_list.h"
#include "engine/swf/bit_reader.h"
#include "engine/timeline/button.h"
#include "engine/text/text_shapes.h"

namespace lumarel::engine::timeline {

using swf::BitReader;
using swf::Tag;
namespace tag = swf::tag;

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool IsControlTag(uint16_t code) {
    switch (code) {
        case tag::PlaceObject:
        case tag::PlaceObject2:
        case tag::PlaceObject3:
        case tag::RemoveObject:
        case tag::RemoveObject2:
        case tag::DoAction:
        case tag::DoInitAction:
        case tag::StartSound:
        case tag::StartSound2:
        case tag::SoundStreamHead:
        case tag::SoundStreamHead2:
        case tag::SoundStreamBlock:
            return true;
        default:
            return false;
    }
}

// A rectangle filled with the layer's first fill (a default solid until the caller sets it).
raster::Shape RectShape(float x0, float y0, float x1, float y1) {
    raster::Shape s;
    s.layers.emplace_back();
    s.layers[0].fills.emplace_back();
    const float xs[5] = {x0, x1, x1, x0, x0}, ys[5] = {y0, y0, y1, y1, y0};
    for (int i = 0; i < 4; ++i) {
        raster::Edge e;
        e.x0 = xs[i];
        e.y0 = ys[i];
        e.x1 = xs[i + 1];
        e.y1 = ys[i + 1];
        e.fill1 = 1;
        s.layers[0].edges.push_back(e);
    }
    return s;
}

// The lowest object at a depth (the one the timeline's tags act on), or end().
DisplayList::iterator LowestAt(DisplayList& list, int32_t depth) {
    auto it = list.lower_bound(depth);
    return it != list.end() && it->first == depth ? it : list.end();
}

raster::Shape SolidRects(const std::vector<std::array<float, 4>>& rects, raster::Rgba colour) {
    raster::Shape s;
    s.layers.emplace_back();
    s.layers[0].fills.emplace_back();
    s.layers[0].fills[0].color = colour;
    for (const auto& [x0, y0, x1, y1] : rects) {
        const raster::Shape one = RectShape(x0, y0, x1, y1);
        s.layers[0].edges.insert(s.layers[0].edges.end(), one.layers[0].edges.begin(), one.layers[0].edges.end());
    }
    return s;
}

// An edit field's background and border, as the player drew them at every quality: aliased,
// in whole device pixels. With the bounds at columns x0..x1 and rows y0..y1, the background
// fills [x0, x1) x [y0, y1); the border is row y0 over x0..x1, column x0 over y0..y1, column x1
// over y0..y1-1 and row y1 over x0..x1-1, so its bottom-right pixel stays unpainted. A rotated
// or skewed field gets the same box as a shape under its matrix.
void DrawFieldBox(raster::Renderer& r, const ShapeCharacter& sc, const raster::Matrix& world,
                  const raster::ColorTransform& c) {
    const swf::Rect& b = sc.bounds;
    const raster::Rgba white = sc.backgroundColor, black = sc.borderColor;
    if (std::fabs(world.b) < 1e-9 && std::fabs(world.c) < 1e-9) {
        double ax, ay, bx, by;
        world.Apply(b.xmin, b.ymin, ax, ay);
        world.Apply(b.xmax, b.ymax, bx, by);
        if (!std::isfinite(ax) || !std::isfinite(ay) || !std::isfinite(bx) || !std::isfinite(by)) return;
        // Whole pixels, as a pixel centre decides (and kept within what a float holds exactly).
        auto px = [](double v) { return static_cast<float>(std::ceil(std::clamp(v, -1e7, 1e7) - 0.5)); };
        const float x0 = px(std::min(ax, bx)), x1 = px(std::max(ax, bx));
        const float y0 = px(std::min(ay, by)), y1 = px(std::max(ay, by));
        const raster::Matrix device;  // identity: the rectangles are in pixels
        if (sc.boxBackground) r.DrawShape(SolidRects({{x0, y0, x1, y1}}, white), device, c);
        if (!sc.boxBorder) return;
        r.DrawShape(SolidRects({{x0, y0, x1 + 1, y0 + 1},
                                {x0, y0 + 1, x0 + 1, y1 + 1},
                                {x1, y0 + 1, x1 + 1, y1},
                                {x0 + 1, y1, x1, y1 + 1}},
                               black),
                    device, c);
        return;
    }
    raster::Shape box = SolidRects({{float(b.xmin), float(b.ymin), float(b.xmax), float(b.ymax)}}, white);
    if (!sc.boxBackground) box.layers[0].fills[0].color.a = 0;
    if (!sc.boxBorder) return r.DrawShape(box, world, c);
    raster::Stroke line;
    line.width = 20;
    line.paint.color = black;
    line.join = raster::Join::Miter;
    line.startCap = line.endCap = raster::Cap::Square;
    box.layers[0].strokes.push_back(line);
    for (raster::Edge& e : box.layers[0].edges) e.line = 1;
    r.DrawShape(box, world, c);
}

// Draws a shape cut off at its bounds, grown by half a pixel so that a border drawn on the bounds
// keeps its outer half. Upright, the bounds become a device scissor; rotated or skewed, a mask
// (inside a mask definition, where masks do not nest, it is drawn uncut).
void DrawInsideBounds(raster::Renderer& r, const ShapeCharacter& sc, const raster::Matrix& world,
                      const raster::ColorTransform& c, bool inMaskDefinition) {
    const double x0 = sc.bounds.xmin - 10.0, y0 = sc.bounds.ymin - 10.0;
    const double x1 = sc.bounds.xmax + 10.0, y1 = sc.bounds.ymax + 10.0;
    if (std::fabs(world.b) < 1e-9 && std::fabs(world.c) < 1e-9) {
        double ax, ay, bx, by;
        world.Apply(x0, y0, ax, ay);
        world.Apply(x1, y1, bx, by);
        if (!std::isfinite(ax) || !std::isfinite(ay) || !std::isfinite(bx) || !std::isfinite(by)) return;
        int cx0, cy0, cx1, cy1;
        r.GetClipRect(cx0, cy0, cx1, cy1);
        auto px = [](double v, int lo, int hi) { return static_cast<int>(std::clamp(v, double(lo), double(hi))); };
        r.SetClipRect(px(std::floor(std::min(ax, bx)), cx0, cx1), px(std::floor(std::min(ay, by)), cy0, cy1),
                      px(std::ceil(std::max(ax, bx)), cx0, cx1), px(std::ceil(std::max(ay, by)), cy0, cy1));
        r.DrawShape(sc.shape, world, c);
        r.SetClipRect(cx0, cy0, cx1, cy1);
        return;
    }
    if (inMaskDefinition) {
        r.DrawShape(sc.shape, world, c);
        return;
    }
    r.BeginClip();
    r.DrawShape(RectShape(float(x0), float(y0), float(x1), float(y1)), world, raster::ColorTransform{});
    r.EndClipDefinition();
    r.DrawShape(sc.shape, world, c);
    r.PopClip();
}

// A bitmap placed by its own id: a rectangle of its size (20 twips to the pixel) with the
// bitmap as a clipped fill.
ShapeCharacter BitmapCharacter(const std::shared_ptr<const raster::Bitmap>& bm, bool smooth) {
    ShapeCharacter sc;
    const int32_t w = bm->width * 20, h = bm->height * 20;
    sc.bounds = swf::Rect{0, w, 0, h};
    sc.shape = RectShape(0, 0, static_cast<float>(w), static_cast<float>(h));
    raster::Paint& p = sc.shape.layers[0].fills[0];
    p.kind = raster::Paint::Kind::Bitmap;
    p.bitmap = bm;
    p.bitmapMatrix.a = p.bitmapMatrix.d = 20;
    p.repeat = false;
    p.smooth = smooth;
    sc.edgeCount = 4;
    return sc;
}

}  // namespace

uint16_t MovieDefinition::FindExport(const std::string& name) const {
    auto it = exports.find(Lower(name));
    return it == exports.end() ? 0 : it->second;
}

int TimelineDef::FindLabel(const std::string& label) const {
    auto it = labels.find(Lower(label));
    return it == labels.end() ? -1 : it->second;
}

void BuildTimeline(const std::vector<Tag>& tags, TimelineDef& out) {
    out.frames.clear();
    out.labels.clear();
    out.streamBlocks.clear();
    std::vector<Tag> current;
    for (const Tag& t : tags) {
        if (t.code == tag::ShowFrame) {
            out.frames.push_back(std::move(current));
            current.clear();
        } else if (t.code == tag::FrameLabel) {
            BitReader r(t.data);
            const std::string label = r.Str();
            const int frame = static_cast<int>(out.frames.size());
            if (r.Ok() && !label.empty()) out.labels.emplace(Lower(label), frame);
        } else if (t.code == tag::SoundStreamBlock) {
            out.streamBlocks.resize(out.frames.size() + 1);
            if (out.streamBlocks.back().empty()) out.streamBlocks.back() = t.data;  // the first of a frame
        } else if (IsControlTag(t.code)) {
            current.push_back(t);
        }
    }
    // Control tags after the last ShowFrame belong to a frame that is never shown, unless there is
    // no ShowFrame at all: then they make up the one frame.
    if (out.frames.empty()) out.frames.push_back(std::move(current));
    for (auto it = out.labels.begin(); it != out.labels.end(); ++it) {
        it->second = std::min(it->second, out.FrameCount() - 1);
    }
    if (!out.streamBlocks.empty()) out.streamBlocks.resize(out.frames.size());
}

void BuildDefinition(const std::vector<Tag>& tags, MovieDefinition& out) {
    bool haveBackground = false;
    auto fontTable = std::make_shared<text::FontTable>();  // fonts are not characters of the display list
    text::FontTable& fonts = *fontTable;
    out.fonts = fontTable;
    long textEdges = text::kMaxTextEdges;
    std::unordered_map<uint16_t, std::span<const uint8_t>> buttons1;  // DefineButton bodies, for their cxform
    // Bitmaps for bitmap fills, and the smoothing rule of the movie's version.
    int showFrames = 0;
    for (const Tag& t : tags) showFrames += t.code == tag::ShowFrame;
    swf::ShapeContext shapeCtx;
    shapeCtx.smoothFills = swf::BitmapSmoothing(out.version, showFrames);
    shapeCtx.bitmap = [&out](uint16_t id) -> std::shared_ptr<const raster::Bitmap> {
        auto it = out.bitmaps.find(id);
        return it == out.bitmaps.end() ? nullptr : it->second;
    };
    // Bitmaps first: a shape may name a bitmap that the file defines only after it.
    std::span<const uint8_t> jpegTables;
    bool haveJpegTables = false;
    for (const Tag& t : tags) {
        switch (t.code) {
            case tag::JPEGTables:
                if (!haveJpegTables) jpegTables = t.data;
                haveJpegTables = true;
                break;
            case tag::DefineBits:
            case tag::DefineBitsJPEG2:
            case tag::DefineBitsJPEG3:
            case tag::DefineBitsJPEG4:
            case tag::DefineBitsLossless:
            case tag::DefineBitsLossless2: {
                uint16_t id = 0;
                std::string error;
                if (out.bitmapBytes >= kMaxBitmapBytes) {
                    out.warnings.push_back("bitmaps beyond the movie's pixel budget are not decoded");
                    break;
                }
                auto bm = swf::DecodeBitmapTag(t.code, t.data, jpegTables, id, error);
                if (!bm) {
                    out.warnings.push_back("bitmap " + std::to_string(id) + ": " + error);
                    break;
                }
                if (out.bitmaps.count(id)) break;  // the first definition of an id stands
                out.bitmapBytes += bm->pixels.size() * 4;
                out.bitmaps.emplace(id, std::move(bm));
                break;
            }
            default:
                break;
        }
    }
    video::StreamCollector videos;
    for (const Tag& t : tags) {
        switch (t.code) {
            case tag::DefineVideoStream:
                videos.Define(t.data);
                break;
            case tag::VideoFrame:
                videos.AddFrame(t.data);
                break;
            case tag::DefineMorphShape:
            case tag::DefineMorphShape2: {
                auto md = std::make_shared<swf::MorphDefinition>();
                std::string error;
                if (!swf::ParseDefineMorphShape(t.data, t.code == tag::DefineMorphShape ? 1 : 2, &shapeCtx, *md,
                                                error)) {
                    out.warnings.push_back(error);
                    break;
                }
                if (out.dictionary.count(md->id)) break;
                MorphCharacter mc;
                mc.edgeCount = static_cast<long>(md->startEdges.size());
                const uint16_t id = md->id;
                mc.morph = std::move(md);
                out.dictionary.emplace(id, std::move(mc));
                break;
            }
            case tag::DefineFont:
            case tag::DefineFont2:
            case tag::DefineFont3: {
                text::Font f;
                std::string error;
                const int version = t.code == tag::DefineFont ? 1 : t.code == tag::DefineFont2 ? 2 : 3;
                const bool ok = text::ParseDefineFont(t.data, version, f, error);
                if (!error.empty()) out.warnings.push_back(error);
                if (ok) fonts.emplace(f.id, std::move(f));
                break;
            }
            case tag::DefineFontInfo:
            case tag::DefineFontInfo2: {
                std::string error;
                if (!text::ParseDefineFontInfo(t.data, t.code == tag::DefineFontInfo ? 1 : 2, fonts, error))
                    out.warnings.push_back(error);
                break;
            }
            case tag::DefineText:
            case tag::DefineText2:
            case tag::DefineEditText: {
                const text::TextContext ctx{&fonts, out.deviceFonts.get(), out.version, &textEdges};
                text::TextShape ts;
                std::string error;
                const bool ok = t.code == tag::DefineEditText
                                    ? text::BuildDefineEditText(t.data, ctx, ts, error)
                                    : text::BuildDefineText(t.data, t.code == tag::DefineText ? 1 : 2, ctx, ts, error);
                if (!error.empty()) out.warnings.push_back(error);
                if (!ok || out.dictionary.count(ts.id)) break;
                ShapeCharacter sc{ts.bounds, std::move(ts.shape), ts.edgeCount, ts.clipToBounds, ts.box};
                if (t.code == tag::DefineEditText) {
                    auto field = std::make_shared<text::EditTextDef>();
                    std::string ignored;
                    if (text::ParseDefineEditText(t.data, *field, ignored)) sc.field = std::move(field);
                }
                out.dictionary.emplace(ts.id, std::move(sc));
                break;
            }
            case tag::DefineButton:
            case tag::DefineButton2:
            case tag::DefineButtonCxform: {
                std::span<const uint8_t> body = t.data, cxform;
                uint16_t id = 0;
                if (t.code == tag::DefineButtonCxform) {
                    BitReader r(t.data);
                    id = r.U16();
                    auto it = buttons1.find(id);
                    if (!r.Ok() || it == buttons1.end()) break;  // colours for no button of ours
                    body = it->second;
                    cxform = r.Rest();
                }
                SpriteCharacter sc;
                std::string error;
                const bool ok = BuildButton(body, t.code == tag::DefineButton2 ? 2 : 1, cxform, id, sc, error);
                if (!error.empty()) out.warnings.push_back(error);
                if (!ok) break;
                if (t.code == tag::DefineButtonCxform) {
                    out.dictionary.insert_or_assign(id, std::move(sc));
                    break;
                }
                if (out.dictionary.count(id)) break;
                if (t.code == tag::DefineButton) buttons1.emplace(id, t.data);
                out.dictionary.emplace(id, std::move(sc));
                break;
            }
            case tag::DefineShape:
            case tag::DefineShape2:
            case tag::DefineShape3:
            case tag::DefineShape4: {
                const int version = t.code == tag::DefineShape    ? 1
                                    : t.code == tag::DefineShape2 ? 2
                                    : t.code == tag::DefineShape3 ? 3
                                                                  : 4;
                swf::ShapeDefinition sd;
                std::string error;
                if (!swf::ParseDefineShape(t.data, version, sd, error, &shapeCtx)) {
                    out.warnings.push_back(error);
                    break;
                }
                if (out.dictionary.count(sd.id)) break;  // the first definition of an id stands
                long edges = 0;
                for (const auto& layer : sd.shape.layers) edges += static_cast<long>(layer.edges.size());
                out.dictionary.emplace(sd.id, ShapeCharacter{sd.bounds, std::move(sd.shape), edges});
                break;
            }
            case tag::DefineSprite: {
                BitReader r(t.data);
                const uint16_t id = r.U16();
                (void)r.U16();  // declared frame count: the ShowFrame tags are what counts
                if (!r.Ok()) {
                    out.warnings.push_back("DefineSprite too short");
                    break;
                }
                if (out.dictionary.count(id)) break;
                std::vector<Tag> inner;
                bool sawEnd = false;
                std::string error;
                if (!swf::ParseTags(r.Rest(), t.offset, inner, sawEnd, error)) {
                    out.warnings.push_back("sprite " + std::to_string(id) + ": " + error);  // keep what was read
                }
                for (const Tag& it : inner)
                    if (it.code == tag::VideoFrame) videos.AddFrame(it.data);
                SpriteCharacter sc;
                BuildTimeline(inner, sc.timeline);
                out.dictionary.emplace(id, std::move(sc));
                break;
            }
            case tag::DefineSound:
                out.sounds.push_back(t.data);
                break;
            case tag::ExportAssets: {
                BitReader r(t.data);
                const uint16_t count = r.U16();
                for (uint16_t i = 0; i < count && r.Ok(); ++i) {
                    const uint16_t id = r.U16();
                    const std::string name = r.Str();
                    if (r.Ok() && !name.empty()) out.exports[Lower(name)] = id;
                }
                break;
            }
            case tag::SetBackgroundColor:
                if (!haveBackground) {
                    BitReader r(t.data);
                    const raster::Rgba c = swf::ReadRgb(r);
                    if (r.Ok()) {
                        out.background = c;
                        haveBackground = true;
                    }
                }
                break;
            default:
                break;
        }
    }
    for (const Tag& t : tags) {  // 9-slice grids of the sprites defined above
        if (t.code != tag::DefineScalingGrid) continue;
        BitReader r(t.data);
        const uint16_t id = r.U16();
        const swf::Rect grid = swf::ReadRect(r);
        auto it = out.dictionary.find(id);
        if (!r.Ok() || it == out.dictionary.end() || grid.xmin >= grid.xmax || grid.ymin >= grid.ymax) continue;
        if (auto* sc = std::get_if<SpriteCharacter>(&it->second)) sc->timeline.scalingGrid = grid;
    }
    for (auto& stream : videos.Finish()) {
        const uint16_t id = stream->header.id;
        if (out.dictionary.count(id)) continue;
        auto playback = std::make_shared<video::Playback>(stream);
        out.dictionary.emplace(id, VideoCharacter{std::move(stream), std::move(playback)});
    }
    for (const auto& [id, bm] : out.bitmaps) {
        if (out.dictionary.count(id)) continue;
        out.dictionary.emplace(id, BitmapCharacter(bm, shapeCtx.smoothFills));
    }
    BuildTimeline(tags, out.main);
}

const raster::Shape& MorphCharacter::At(uint16_t ratio) const {
    if (cache->ratio != ratio) {
        swf::BuildMorphShape(*morph, ratio / 65535.0, cache->shape);
        cache->ratio = ratio;
    }
    return cache->shape;
}

void Box::Add(double x, double y) {
    xMin = std::min(xMin, x);
    yMin = std::min(yMin, y);
    xMax = std::max(xMax, x);
    yMax = std::max(yMax, y);
}

void Box::AddRect(const swf::Rect& r, const raster::Matrix& m) {
    for (const auto& [x, y] : {std::pair{r.xmin, r.ymin}, {r.xmax, r.ymin}, {r.xmin, r.ymax}, {r.xmax, r.ymax}}) {
        double ox, oy;
        m.Apply(x, y, ox, oy);
        Add(ox, oy);
    }
}

void AddObjectBounds(const DisplayObject& obj, const raster::Matrix& m, Box& box, int nesting) {
    if (obj.scrollRect) {  // it shows that much of itself, whatever it holds
        box.AddRect({0, obj.scrollRect->xmax - obj.scrollRect->xmin, 0, obj.scrollRect->ymax - obj.scrollRect->ymin},
                    m);
    } else if (obj.sprite) {
        AddBounds(*obj.sprite, m, box, nesting + 1);
    } else if (const auto* sc = std::get_if<ShapeCharacter>(obj.character)) {
        box.AddRect(sc->bounds, m);
    } else if (const auto* mc = std::get_if<MorphCharacter>(obj.character)) {
        const double t = obj.ratio / 65535.0;
        const swf::Rect &a = mc->morph->startBounds, &b = mc->morph->endBounds;
        auto mix = [t](int32_t x, int32_t y) { return static_cast<int32_t>(std::lround(x + (y - x) * t)); };
        box.AddRect({mix(a.xmin, b.xmin), mix(a.xmax, b.xmax), mix(a.ymin, b.ymin), mix(a.ymax, b.ymax)}, m);
    } else if (const auto* vc = std::get_if<VideoCharacter>(obj.character)) {
        box.AddRect({0, vc->stream->header.width * 20, 0, vc->stream->header.height * 20}, m);
    }
}

void AddBounds(const Instance& inst, const raster::Matrix& m, Box& box, int nesting) {
    if (nesting > kMaxNesting) return;
    if (inst.drawing && !inst.drawing->Empty()) box.AddRect(inst.drawing->Bounds(), m);
    if (inst.field) box.AddRect(inst.field->def.bounds, m);
    for (const auto& [depth, obj] : inst.Objects()) AddObjectBounds(obj, m.Multiply(obj.matrix), box, nesting);
}

bool HitsShapes(const Instance& inst, const raster::Matrix& m, double x, double y, int nesting) {
    if (nesting > kMaxNesting) return false;
    auto hits = [x, y](const raster::Shape& shape, const raster::Matrix& world) {
        double lx, ly;
        world.Inverted().Apply(x, y, lx, ly);
        return raster::ShapeContains(shape, lx, ly);
    };
    if (inst.drawing && !inst.drawing->Empty() && hits(inst.drawing->Shape(), m)) return true;
    if (inst.field) {  // a field counts wherever its box is
        Box box;
        box.AddRect(inst.field->def.bounds, m);
        if (x >= box.xMin && x <= box.xMax && y >= box.yMin && y <= box.yMax) return true;
    }
    for (const auto& [depth, obj] : inst.Objects()) {
        if (!obj.visible || obj.clipDepth > 0) continue;
        const raster::Matrix world = m.Multiply(obj.matrix);
        if (obj.sprite) {
            if (!obj.sprite->isMask && HitsShapes(*obj.sprite, world, x, y, nesting + 1)) return true;
        } else if (const auto* sc = std::get_if<ShapeCharacter>(obj.character)) {
            if (hits(sc->shape, world)) return true;
        } else if (const auto* mc = std::get_if<MorphCharacter>(obj.character)) {
            if (hits(mc->At(obj.ratio), world)) return true;
        }
    }
    return false;
}

std::shared_ptr<Instance> Instance::Child(const std::string& name) const {
    const std::string want = Lower(name);
    for (const auto& [depth, obj] : list_) {
        if (obj.sprite && Lower(obj.name) == want) return obj.sprite;
    }
    return nullptr;
}

void Stage::Start() {
    tagWork_ = 0;
    root_->frame_ = 0;
    RunFrame(*root_, 0, true);
    RunQueuedActions();
    AfterFrame();
}

void Stage::Tick() {
    ++tick_;
    tagWork_ = 0;
    if (!streaming_.empty()) StopStreams();
    Advance(*root_);
    std::vector<std::shared_ptr<Instance>> levels;  // scripts may load or remove levels meanwhile
    for (auto& [n, obj] : levels_) levels.push_back(obj.sprite);
    for (auto& level : levels)
        if (IsTop(*level)) Advance(*level);
    EnterFrame();
    RunQueuedActions();
    AfterFrame();
}

void Stage::Advance(Instance& inst) {
    if (inst.playing_ && inst.FrameCount() > 1) {
        const int next = inst.frame_ + 1 >= inst.FrameCount() ? 0 : inst.frame_ + 1;
        GotoFrame(inst, next);
    }
    // Children created during this tick already show their first frame; older ones move on.
    std::vector<std::shared_ptr<Instance>> children;
    for (auto& [depth, obj] : inst.list_) {
        if (obj.sprite && obj.sprite->bornTick_ < tick_) children.push_back(obj.sprite);
    }
    for (auto& c : children) Advance(*c);
}

void Stage::GotoFrame(Instance& inst, int target) {
    const int count = inst.FrameCount();
    target = std::clamp(target, 0, count - 1);
    if (target == inst.frame_) return;
    if (target > inst.frame_) {
        for (int f = inst.frame_ + 1; f <= target; ++f) {
            inst.frame_ = f;
            RunFrame(inst, f, f == target);
        }
        return;
    }
    // Backward: rebuild the display list from frame 0. An object created by the same PlaceObject
    // tag as one already present keeps its running state (a sprite keeps its own frame).
    // Objects scripts made or moved stay where they are.
    DisplayList old, kept;
    old.swap(inst.list_);
    for (auto it = old.begin(); it != old.end();) {
        if (it->second.dynamic) {
            kept.insert(old.extract(it++));
        } else {
            ++it;
        }
    }
    for (int f = 0; f <= target; ++f) {
        inst.frame_ = f;
        RunFrame(inst, f, f == target);
    }
    for (auto& [depth, obj] : inst.list_) {
        auto [from, to] = old.equal_range(depth);
        for (auto it = from; it != to; ++it) {
            if (it->second.placedBy == obj.placedBy && it->second.characterId == obj.characterId && it->second.sprite &&
                obj.sprite) {
                obj.sprite = std::move(it->second.sprite);
                break;
            }
        }
    }
    for (auto& [depth, obj] : old) Retire(std::move(obj));
    inst.list_.merge(kept);
}

void Stage::RunFrame(Instance& inst, int frame, bool queueActions) {
    if (frame < 0 || frame >= inst.FrameCount()) return;
    for (const Tag& t : inst.def_->frames[static_cast<size_t>(frame)]) {
        if (++tagWork_ > kMaxTagWorkPerTick) return;
        ApplyTag(inst, t, queueActions);
    }
    if (queueActions && !inst.def_->streamBlocks.empty()) FollowStream(inst, frame);
}

// About half a second of stream sound is fed ahead: enough to cover a slow frame and the
// device's own buffer, little enough that a jump drops only that much decoding.
void Stage::FollowStream(Instance& inst, int frame) {
    Instance::StreamRun& s = inst.stream_;
    if (!s.key) return;  // blocks before any head have no format to decode them by
    const int count = inst.FrameCount();
    if (s.active && inst.playing_ && count > 1 && frame == (s.start + s.played + 1) % count) {
        ++s.played;
    } else {
        mixer_->StreamStop(s.key);
        s.active = inst.playing_;
        s.start = frame;
        s.played = 0;
        s.fed = 0;
        s.clock = mixer_->StreamClock(s.key);
    }
    // A stopped timeline plays no stream sound; one of a single frame never moves on.
    if (!s.active) return;
    const long ahead = count > 1 ? std::clamp(static_cast<long>(env_.frameRate / 2), 2L, 60L) : 0;
    for (; s.fed <= s.played + ahead; ++s.fed) {
        const std::span<const uint8_t> block = inst.def_->streamBlocks[static_cast<size_t>((s.start + s.fed) % count)];
        if (!block.empty()) mixer_->StreamBlockTag(s.key, block);
    }
}

void Stage::StopStreams() {
    std::erase_if(streaming_, [this](const std::pair<std::weak_ptr<Instance>, uint64_t>& entry) {
        const std::shared_ptr<Instance> inst = entry.first.lock();
        if (!inst || inst->stream_.key != entry.second) {
            mixer_->StreamRemove(entry.second);  // its timeline is gone, or left the display list
            return true;
        }
        if (inst->stream_.active && !inst->playing_) {
            mixer_->StreamStop(inst->stream_.key);
            inst->stream_.active = false;
        }
        return false;
    });
}

int Stage::TicksDue() {
    const Instance::StreamRun& s = root_->stream_;
    if (!s.active || !root_->playing_ || mixer_->StreamBuffered(s.key) == 0) return -1;
    const uint64_t clock = mixer_->StreamClock(s.key);
    // A clock that stands still (no device pulling the sound) must not stop the movie.
    syncStalls_ = clock == syncClock_ ? syncStalls_ + 1 : 0;
    syncClock_ = clock;
    if (syncStalls_ > 3) return -1;
    const double rate = env_.frameRate > 0 ? env_.frameRate : 12;
    const double behind =
        static_cast<double>(clock - s.clock) * rate / sound::kOutputRate - static_cast<double>(s.played);
    return TicksForLag(behind);
}

void Stage::ApplyTag(Instance& inst, const Tag& t, bool queueActions) {
    BitReader r(t.data);
    switch (t.code) {
        case tag::PlaceObject:
        case tag::PlaceObject2:
        case tag::PlaceObject3: {
            swf::PlaceObject p;
            if (!swf::DecodePlaceObject(t.code, t.data, def_.version, p)) return;  // changes nothing
            // PlaceObject replaces whatever stood at the depth.
            if (t.code == tag::PlaceObject) inst.list_.erase(p.depth);
            Place(inst, p, t.data.data());
            if (!p.clipActions.empty() && p.characterId) {
                auto placed = LowestAt(inst.list_, p.depth);
                if (placed != inst.list_.end() && placed->second.sprite) {
                    placed->second.clipActions = std::move(p.clipActions);
                    scripted_ = true;
                    for (const ClipAction& h : placed->second.clipActions)
                        if (h.events & kClipEventLoad) queue_.push_back(QueuedAction{placed->second.sprite, h.actions});
                }
            }
            return;
        }
        case tag::RemoveObject:
        case tag::RemoveObject2: {
            if (t.code == tag::RemoveObject) (void)r.U16();
            const uint16_t depth = r.U16();
            auto it = LowestAt(inst.list_, depth);
            if (!r.Ok() || it == inst.list_.end() || it->second.dynamic) return;
            Retire(std::move(it->second));
            inst.list_.erase(it);
            return;
        }
        case tag::DoAction:
            if (queueActions) queue_.push_back(QueuedAction{inst.weak_from_this(), t.data});
            return;
        // Sounds start and streams move on only on frames that play, not on those a goto passes.
        case tag::StartSound:
            if (queueActions) mixer_->StartSoundTag(t.data, inst.soundGroup_);
            return;
        case tag::StartSound2: {
            // The sound by its linkage name rather than its id.
            sound::StartSound start;
            if (!queueActions || !sound::ParseStartSound2(t.data, start)) return;
            const auto& exports = MovieOf(inst).exports;
            const auto it = exports.find(Lower(start.className));
            if (it != exports.end()) mixer_->Start(it->second, start.info, inst.soundGroup_);
            return;
        }
        case tag::SoundStreamHead:
        case tag::SoundStreamHead2: {
            // The same head again (the timeline looped to it): the stream goes on as it was.
            Instance::StreamRun& s = inst.stream_;
            if (s.head == t.data.data()) return;
            if (!s.key) {
                s.key = ++streamKeys_;
                streaming_.emplace_back(inst.weak_from_this(), s.key);
            }
            s.head = t.data.data();
            s.active = false;
            mixer_->StreamHeadTag(s.key, t.data, inst.soundGroup_);
            return;
        }
        case tag::DoInitAction:
            // Runs once, at once: before the frame's own scripts, which are only queued.
            if (t.data.size() > 2 && initDone_.insert(t.data.data()).second) RunActions(root_, t.data.subspan(2));
            return;
        default:
            return;
    }
}

void Stage::Place(Instance& inst, const swf::PlaceObject& p, const uint8_t* tagId) {
    const int32_t depth = p.depth;
    const auto first = inst.list_.lower_bound(depth);  // where a new object at the depth goes
    auto existing = LowestAt(inst.list_, depth);
    auto apply = [&p](DisplayObject& o) {
        if (p.matrix) o.matrix = *p.matrix;
        if (p.cxform) o.cxform = *p.cxform;
        if (p.ratio) o.ratio = *p.ratio;
        if (p.name) o.name = *p.name;
        if (p.clipDepth) o.clipDepth = *p.clipDepth;
        if (p.filters)
            o.filters = p.filters->empty() ? nullptr : std::make_shared<std::vector<swf::Filter>>(*p.filters);
        if (p.blend) o.blend = *p.blend;
        if (p.cacheAsBitmap) o.cacheAsBitmap = *p.cacheAsBitmap;
        if (p.visible) o.visible = *p.visible;
        if (p.background) o.opaqueBackground = p.background;
    };
    const bool move = p.move;
    if (move && !p.characterId) {  // modify
        if (existing == inst.list_.end()) return;
        apply(existing->second);
        return;
    }
    if (!p.characterId) return;
    const uint16_t id = *p.characterId;
    const auto& dictionary = MovieOf(inst).dictionary;
    auto found = dictionary.find(id);
    if (found == dictionary.end()) return;  // unknown character: nothing to show
    DisplayObject o;
    if (move && existing != inst.list_.end()) {
        // Replace: the new character takes over the old one's properties unless given anew.
        const DisplayObject& prev = existing->second;
        o.matrix = prev.matrix;
        o.cxform = prev.cxform;
        o.ratio = prev.ratio;
        o.name = prev.name;
        o.clipDepth = prev.clipDepth;
        o.placedBy = prev.placedBy;
        o.filters = prev.filters;
        o.blend = prev.blend;
        o.cacheAsBitmap = prev.cacheAsBitmap;
    } else {
        o.placedBy = tagId;
    }
    // Moved: the new character takes the old one's place. Added where one stands already: both
    // stay, the new one below (it goes first at its depth).
    auto at = first;
    if (move && existing != inst.list_.end()) at = inst.list_.erase(existing);
    if (objects_ >= kMaxDisplayObjects) return;
    o.depth = depth;
    o.characterId = id;
    o.character = &found->second;
    apply(o);
    o.token = ObjectToken(&objects_);
    DisplayObject& placed = inst.list_.emplace_hint(at, depth, std::move(o))->second;
    if (std::holds_alternative<SpriteCharacter>(*placed.character)) {
        placed.sprite = Instantiate(inst, placed.character);
        BindClass(placed.sprite);
    } else if (const auto* sc = std::get_if<ShapeCharacter>(placed.character); sc && sc->field) {
        placed.sprite = InstantiateField(inst, *sc->field, sc);
    }
}

namespace {

// A sprite character with one empty frame, for createEmptyMovieClip.
const Character& EmptyClip() {
    static const Character empty = [] {
        SpriteCharacter sc;
        sc.timeline.frames.resize(1);
        return Character(std::move(sc));
    }();
    return empty;
}

}  // namespace

std::shared_ptr<Instance> Stage::Instantiate(Instance& parent, const Character* ch) {
    if (parent.nesting_ + 1 > kMaxNesting) return nullptr;  // too deep: shown as empty
    const auto& sc = std::get<SpriteCharacter>(*ch);
    auto child = std::make_shared<Instance>(&sc.timeline, parent.weak_from_this(), parent.nesting_ + 1, tick_);
    child->movie_ = parent.movie_;
    child->frame_ = 0;
    RunFrame(*child, 0, true);
    return child;
}

std::shared_ptr<Instance> Stage::InstantiateField(Instance& parent, text::EditTextDef def,
                                                  const ShapeCharacter* laidOut) {
    if (parent.nesting_ + 1 > kMaxNesting) return nullptr;
    const auto& empty = std::get<SpriteCharacter>(EmptyClip());
    auto field = std::make_shared<Instance>(&empty.timeline, parent.weak_from_this(), parent.nesting_ + 1, tick_);
    field->frame_ = 0;
    field->field = std::make_unique<EditField>(std::move(def), laidOut);
    fields_.push_back(field);
    return field;
}

DisplayObject* Stage::ScriptSlot(Instance& parent, int32_t depth, const Character* ch, const std::string& name) {
    if (depth < 0 || depth > kScriptDepthOffset + kMaxScriptDepth || objects_ >= kMaxDisplayObjects) return nullptr;
    auto [from, to] = parent.list_.equal_range(depth);
    for (auto it = from; it != to; ++it) Retire(std::move(it->second));
    parent.list_.erase(depth);
    DisplayObject o;
    o.depth = depth;
    o.character = ch;
    o.name = name;
    o.dynamic = true;
    o.token = ObjectToken(&objects_);
    return &parent.list_.emplace(depth, std::move(o))->second;
}

std::shared_ptr<Instance> Stage::AttachClip(Instance& parent, uint16_t id, const std::string& name, int32_t depth) {
    const Character* ch = &EmptyClip();
    if (id) {
        const auto& dictionary = MovieOf(parent).dictionary;
        auto found = dictionary.find(id);
        if (found == dictionary.end()) return nullptr;
        ch = &found->second;
    }
    if (!std::holds_alternative<SpriteCharacter>(*ch)) return nullptr;
    DisplayObject* placed = ScriptSlot(parent, depth, ch, name);
    if (!placed) return nullptr;
    placed->characterId = id;
    std::shared_ptr<Instance> made = Instantiate(parent, ch);
    if (!made) {
        parent.list_.erase(depth);
        return nullptr;
    }
    placed->sprite = made;
    return made;
}

std::shared_ptr<Instance> Stage::AttachField(Instance& parent, const std::string& name, int32_t depth, double x,
                                             double y, double w, double h) {
    auto twips = [](double px) { return static_cast<int32_t>(std::clamp(std::round(px * 20.0), -1e8, 1e8)); };
    text::EditTextDef def;
    def.bounds = swf::Rect{0, std::max(0, twips(w)), 0, std::max(0, twips(h))};
    def.face = "Times New Roman";
    def.readOnly = true;
    DisplayObject* placed = ScriptSlot(parent, depth, &EmptyClip(), name);
    if (!placed) return nullptr;
    placed->matrix.tx = twips(x);
    placed->matrix.ty = twips(y);
    placed->sprite = InstantiateField(parent, std::move(def), nullptr);
    if (!placed->sprite) {
        parent.list_.erase(depth);
        return nullptr;
    }
    return placed->sprite;
}

bool Stage::AttachBitmap(Instance& parent, std::shared_ptr<const raster::Bitmap> bitmap, int32_t depth, bool smooth) {
    if (!bitmap) return false;
    auto shown = std::make_shared<const Character>(BitmapCharacter(bitmap, smooth));
    DisplayObject* placed = ScriptSlot(parent, depth, shown.get(), "");
    if (placed) placed->owned = std::move(shown);
    return placed != nullptr;
}

namespace {

// What movies loaded into clips may hold in all, and how many there may be.
constexpr size_t kMaxLoadedBytes = size_t(256) << 20;
constexpr size_t kMaxLoadedMovies = 64;

}  // namespace

bool Stage::LoadMovie(Instance& clip, const std::string& url) {
    std::string bytes;
    if (!env_.readFile || !env_.readFile(url, bytes)) return false;
    pendingLoads_.push_back(PendingLoad{clip.weak_from_this(), std::move(bytes)});
    return true;
}

void Stage::UnloadMovie(Instance& clip) {
    for (auto& [depth, obj] : clip.list_) Retire(std::move(obj));
    clip.list_.clear();
    clip.drawing.reset();
    clip.def_ = &std::get<SpriteCharacter>(EmptyClip()).timeline;
    clip.movie_ = nullptr;
    clip.frame_ = 0;
}

void Stage::FinishLoads() {
    std::vector<PendingLoad> loads;
    loads.swap(pendingLoads_);
    for (PendingLoad& load : loads) {
        std::shared_ptr<Instance> clip = load.clip.lock();
        if (!clip || clip->field) continue;
        const std::span<const uint8_t> data(reinterpret_cast<const uint8_t*>(load.bytes.data()), load.bytes.size());
        const bool swf = data.size() >= 3 && (data[0] == 'F' || data[0] == 'C' || data[0] == 'Z') && data[1] == 'W' &&
                         data[2] == 'S';
        if (swf) {
            if (loaded_.size() >= kMaxLoadedMovies || loadedBytes_ + data.size() > kMaxLoadedBytes) continue;
            auto movie = std::make_unique<LoadedMovie>();
            std::string error;
            if (!swf::DecodeSwf(data, movie->file, error)) continue;
            movie->definition.version = movie->file.header.version;
            movie->definition.deviceFonts = def_.deviceFonts;
            BuildDefinition(movie->file.tags, movie->definition);
            loadedBytes_ += movie->file.body.size() + movie->definition.bitmapBytes;
            UnloadMovie(*clip);
            clip->def_ = &movie->definition.main;
            clip->movie_ = &movie->definition;
            loaded_.push_back(std::move(movie));
            RunFrame(*clip, 0, true);
            continue;
        }
        std::string error;
        std::shared_ptr<raster::Bitmap> image = image::DecodeImage(data, error);
        if (!image) continue;
        UnloadMovie(*clip);
        AttachBitmap(*clip, std::move(image), 1, true);
    }
}

raster::Matrix Stage::StageMatrix(const Instance& inst) const {
    raster::Matrix m;
    int guard = 0;
    for (const Instance* i = &inst; i && guard++ <= kMaxNesting + 1; i = i->Parent().get())
        if (const DisplayObject* o = PlacementOf(*i)) m = o->matrix.Multiply(m);
    return m;
}

DisplayObject* Stage::PlacementOf(const Instance& inst) {
    if (&inst == root_.get()) return &rootObject_;
    auto parent = inst.Parent();
    if (!parent) {
        auto it = inst.level_ > 0 ? levels_.find(inst.level_) : levels_.end();
        return it != levels_.end() && it->second.sprite.get() == &inst ? &it->second : nullptr;
    }
    for (auto& [depth, obj] : parent->list_)
        if (obj.sprite.get() == &inst) return &obj;
    return nullptr;
}

bool Stage::IsTop(const Instance& inst) const {
    return &inst == root_.get() || (!inst.Parent() && inst.level_ > 0 && PlacementOf(inst));
}

Instance* Stage::Level(int n, bool create) {
    if (n == 0) return root_.get();
    if (n < 0 || n > kMaxLevel) return nullptr;
    if (auto it = levels_.find(n); it != levels_.end()) return it->second.sprite.get();
    if (!create) return nullptr;
    DisplayObject obj;
    obj.sprite = std::make_shared<Instance>(&std::get<SpriteCharacter>(EmptyClip()).timeline, std::weak_ptr<Instance>(),
                                            0, tick_);
    obj.sprite->level_ = n;
    obj.sprite->frame_ = 0;
    obj.name = "_level" + std::to_string(n);
    return levels_.emplace(n, std::move(obj)).first->second.sprite.get();
}

void Stage::RemoveLevel(int n) {
    auto it = levels_.find(n);
    if (it == levels_.end()) return;
    UnloadMovie(*it->second.sprite);
    Retire(std::move(it->second));
    levels_.erase(it);
}

std::shared_ptr<Instance> Stage::DuplicateClip(Instance& clip, const std::string& name, int32_t depth) {
    const DisplayObject* source = PlacementOf(clip);
    auto parent = clip.Parent();
    if (!source || !parent) return nullptr;
    // Copied first: the new clip may take the source's own depth and replace it.
    const raster::Matrix matrix = source->matrix;
    const raster::ColorTransform cxform = source->cxform;
    const bool visible = source->visible;
    const std::vector<ClipAction> handlers = source->clipActions;
    auto made = AttachClip(*parent, source->characterId, name, depth);
    if (!made) return nullptr;
    DisplayObject* placed = PlacementOf(*made);
    placed->matrix = matrix;
    placed->cxform = cxform;
    placed->visible = visible;
    placed->clipActions = handlers;
    for (const ClipAction& h : placed->clipActions)
        if (h.events & kClipEventLoad) queue_.push_back(QueuedAction{made, h.actions});
    return made;
}

bool Stage::RemoveClip(Instance& clip) {
    auto parent = clip.Parent();
    DisplayObject* o = PlacementOf(clip);
    if (!parent || !o || o->depth < kScriptDepthOffset) return false;
    auto [from, to] = parent->list_.equal_range(o->depth);
    for (auto it = from; it != to; ++it) {
        if (it->second.sprite.get() != &clip) continue;
        Retire(std::move(it->second));
        parent->list_.erase(it);
        return true;
    }
    return false;
}

void Stage::SwapDepths(Instance& clip, int32_t depth) {
    auto parent = clip.Parent();
    DisplayObject* o = PlacementOf(clip);
    if (!parent || !o || depth < 0 || depth > kScriptDepthOffset + kMaxScriptDepth || depth == o->depth) return;
    const int32_t from = o->depth;
    DisplayList& list = parent->list_;
    auto self = list.end();
    for (auto it = list.lower_bound(from); it != list.end() && it->first == from; ++it)
        if (&it->second == o) self = it;
    auto other = LowestAt(list, depth);
    auto node = list.extract(self);
    node.key() = depth;
    node.mapped().depth = depth;
    node.mapped().dynamic = true;
    if (other != list.end()) {
        auto otherNode = list.extract(other);
        otherNode.key() = from;
        otherNode.mapped().depth = from;
        otherNode.mapped().dynamic = true;
        list.insert(std::move(otherNode));
    }
    list.insert(std::move(node));
}

void Stage::RunQueuedActions() {
    int runs = 0;
    RunRetired();
    while (!queue_.empty()) {
        QueuedAction a = queue_.front();
        queue_.pop_front();
        if (++runs > kMaxActionRunsPerTick || tagWork_ > kMaxTagWorkPerTick) {
            queue_.clear();  // a goto loop between frame scripts: the rest waits for nothing
            return;
        }
        if (auto target = a.target.lock()) RunActions(target, a.actions);
        RunRetired();
    }
}

void Stage::Render(raster::Renderer& r, const raster::Matrix& toDevice) const {
    ++renders_;
    long edgeBudget = kMaxEdgesPerFrame;
    // Filter sizes follow the stage's scale, not the clips' own.
    stageScale_ = 20.0 * std::sqrt(std::fabs(toDevice.Determinant()));
    rootMatrix_ = toDevice;
    if (rootObject_.visible)
        RenderList(r, *root_, toDevice.Multiply(rootObject_.matrix), rootObject_.cxform, false, edgeBudget);
    for (const auto& [n, obj] : levels_)
        if (obj.visible) RenderList(r, *obj.sprite, toDevice.Multiply(obj.matrix), obj.cxform, false, edgeBudget);
    // Groups not shown in this frame go (their objects may be gone, or out of sight for long).
    for (auto it = groups_.begin(); it != groups_.end();) {
        if (it->second.render == renders_) {
            ++it;
            continue;
        }
        groupBytes_ -= it->second.pixels->pixels.size() * 4;
        it = groups_.erase(it);
    }
}

namespace {

// Draws a shape unless the frame's edge budget is spent (a hostile movie that multiplies big
// shapes through sprites would otherwise take unbounded time per frame). `defining`: the shape
// is drawn into a mask being defined.
void DrawShapeCharacter(raster::Renderer& r, const ShapeCharacter& sc, const raster::Matrix& world,
                        const raster::ColorTransform& c, bool defining, long& edgeBudget) {
    if (sc.edgeCount > edgeBudget) {
        edgeBudget = 0;
        return;
    }
    edgeBudget -= sc.edgeCount;
    if (sc.box) DrawFieldBox(r, sc, world, c);
    if (sc.clipToBounds) {
        DrawInsideBounds(r, sc, world, c, defining);
    } else {
        r.DrawShape(sc.shape, world, c);
    }
}

void DrawCounted(raster::Renderer& r, const raster::Shape& shape, long edges, const raster::Matrix& world,
                 const raster::ColorTransform& c, long& edgeBudget) {
    if (edges > edgeBudget) {
        edgeBudget = 0;
        return;
    }
    edgeBudget -= edges;
    r.DrawShape(shape, world, c);
}

// The picture of the frame the ratio names, scaled to the stream's size (20 twips to the pixel)
// as a clipped bitmap fill; nothing before the first picture decodes.
void DrawVideo(raster::Renderer& r, const VideoCharacter& vc, uint16_t ratio, const raster::Matrix& world,
               const raster::ColorTransform& c) {
    const video::StreamHeader& h = vc.stream->header;
    if (h.width == 0 || h.height == 0) return;
    auto picture = vc.playback->FrameAt(ratio);
    if (!picture || picture->width <= 0 || picture->height <= 0) return;
    raster::Shape quad = RectShape(0, 0, h.width * 20.0f, h.height * 20.0f);
    raster::Paint& p = quad.layers[0].fills[0];
    p.kind = raster::Paint::Kind::Bitmap;
    p.bitmapMatrix.a = h.width * 20.0 / picture->width;
    p.bitmapMatrix.d = h.height * 20.0 / picture->height;
    p.bitmap = std::move(picture);
    p.repeat = false;
    p.smooth = h.smoothing;
    r.DrawShape(quad, world, c);
}

// The largest offscreen group drawn, per side; a bigger one is cut to this.
constexpr int kMaxGroupSide = 8192;

}  // namespace

void Stage::DrawObject(raster::Renderer& r, const DisplayObject& obj, const raster::Matrix& world,
                       const raster::ColorTransform& c, bool defining, long& edgeBudget) const {
    if (obj.sprite) {
        RenderList(r, *obj.sprite, world, c, defining, edgeBudget);
    } else if (const auto* sc = std::get_if<ShapeCharacter>(obj.character)) {
        DrawShapeCharacter(r, *sc, world, c, defining, edgeBudget);
    } else if (const auto* mc = std::get_if<MorphCharacter>(obj.character)) {
        DrawCounted(r, mc->At(obj.ratio), mc->edgeCount, world, c, edgeBudget);
    } else if (const auto* vc = std::get_if<VideoCharacter>(obj.character)) {
        DrawVideo(r, *vc, obj.ratio, world, c);
    }
}

void Stage::DrawPlaced(raster::Renderer& r, const DisplayObject& obj, const raster::Matrix& world,
                       const raster::ColorTransform& c, bool defining, long& edgeBudget) const {
    if (obj.opaqueBackground && !defining) {
        Box own;
        AddObjectBounds(obj, raster::Matrix{}, own);
        if (!own.Empty()) {
            raster::Rgba bg = *obj.opaqueBackground;
            bg.a = 255;
            r.DrawShape(SolidRects({{float(own.xMin), float(own.yMin), float(own.xMax), float(own.yMax)}}, bg), world,
                        c);
        }
    }
    if (!obj.scrollRect || defining) return DrawObject(r, obj, world, c, defining, edgeBudget);
    const swf::Rect& s = *obj.scrollRect;
    raster::Matrix shifted;
    shifted.tx = -s.xmin;
    shifted.ty = -s.ymin;
    r.BeginClip();
    r.DrawShape(RectShape(0, 0, float(s.xmax - s.xmin), float(s.ymax - s.ymin)), world, raster::ColorTransform{});
    r.EndClipDefinition();
    DrawObject(r, obj, world.Multiply(shifted), c, defining, edgeBudget);
    r.PopClip();
}

class Stage::GroupHash : public raster::Hash {
public:
    using raster::Hash::Add;
    void Add(const swf::Rect& r) {
        for (int32_t v : {r.xmin, r.ymin, r.xmax, r.ymax}) Add(static_cast<uint64_t>(static_cast<uint32_t>(v)));
    }
    std::vector<std::shared_ptr<const void>> pins;  // what it names by address, to be kept alive
};

namespace {

// Pixels a script can change without the shape that shows them changing.
bool PaintsBitmaps(const raster::Shape& shape) {
    for (const raster::Layer& layer : shape.layers) {
        for (const raster::Paint& p : layer.fills)
            if (p.bitmap) return true;
        for (const raster::Stroke& s : layer.strokes)
            if (s.paint.bitmap) return true;
    }
    return false;
}

}  // namespace

bool Stage::HashObject(const DisplayObject& obj, GroupHash& h, bool top, int nesting) const {
    // A bitmap attached by a script shows pixels the script goes on drawing into; a clip masked
    // by setMask is cut where the mask clip stands, which lies outside the subtree.
    if (nesting > kMaxNesting || obj.owned) return false;
    if (obj.character && std::holds_alternative<VideoCharacter>(*obj.character)) return false;
    if (!top && !obj.mask.expired()) return false;
    h.Add(static_cast<uint64_t>(static_cast<uint32_t>(obj.depth)));
    h.Add(obj.character);
    h.Add(static_cast<uint64_t>(obj.ratio) | uint64_t{obj.clipDepth} << 16 | uint64_t{obj.visible} << 32 |
          static_cast<uint64_t>(obj.blend) << 40);
    // The group's own matrix and colour go in as the ones it is drawn with.
    if (!top) {
        h.Add(obj.matrix);
        h.Add(obj.cxform);
    }
    h.Add(obj.filters.get());
    if (obj.filters) h.pins.push_back(obj.filters);
    const raster::Rgba bg = obj.opaqueBackground.value_or(raster::Rgba{});
    h.Add(uint64_t{obj.opaqueBackground.has_value()} << 32 | uint64_t{bg.r} << 24 | uint64_t{bg.g} << 16 |
          uint64_t{bg.b} << 8 | bg.a);
    h.Add(uint64_t{obj.scrollRect.has_value()});
    if (obj.scrollRect) h.Add(*obj.scrollRect);
    return !obj.sprite || HashInstance(*obj.sprite, obj, h, nesting + 1);
}

bool Stage::HashInstance(const Instance& inst, const DisplayObject& placed, GroupHash& h, int nesting) const {
    h.Add(uint64_t{inst.isMask} | uint64_t{inst.scriptGrid_} << 1);
    const std::optional<swf::Rect>& grid = inst.scriptGrid_ ? inst.grid_ : inst.def_->scalingGrid;
    if (grid) {
        // A 9-slice scale follows the clip's own scale.
        h.Add(*grid);
        for (double v : {placed.matrix.a, placed.matrix.b, placed.matrix.c, placed.matrix.d}) h.Add(v);
    }
    if (inst.field) {
        h.Add(inst.field->LaidOut());
        h.Add(inst.field->Layouts());
    }
    if (inst.drawing && !inst.drawing->Empty()) {
        if (PaintsBitmaps(inst.drawing->Shape())) return false;
        h.Add(inst.drawing->Version());
    }
    h.Add(static_cast<uint64_t>(inst.list_.size()));
    for (const auto& [depth, child] : inst.list_)
        if (!HashObject(child, h, false, nesting)) return false;
    return true;
}

void Stage::RenderGroup(raster::Renderer& r, const DisplayObject& obj, const raster::Matrix& world,
                        const raster::ColorTransform& c, long& edgeBudget) const {
    Box box;
    AddObjectBounds(obj, world, box);
    if (box.Empty() || !std::isfinite(box.xMin) || !std::isfinite(box.yMax)) return;
    const std::span<const swf::Filter> filters =
        obj.filters ? std::span<const swf::Filter>(*obj.filters) : std::span<const swf::Filter>();
    const swf::FilterGrowth grow = swf::FilterListGrowth(filters, stageScale_);
    // The group's pixels: its bounds grown by what the filters add, within the visible area
    // (grown the same way, so a blur near the edge still sees what lies just outside).
    int cx0, cy0, cx1, cy1;
    r.GetClipRect(cx0, cy0, cx1, cy1);
    auto px = [](double v) { return static_cast<int>(std::clamp(v, -1e7, 1e7)); };
    const int x0 = std::max(px(std::floor(box.xMin)) - grow.left, cx0 - grow.left);
    const int y0 = std::max(px(std::floor(box.yMin)) - grow.top, cy0 - grow.top);
    const int x1 = std::min({px(std::ceil(box.xMax)) + grow.right, cx1 + grow.right, x0 + kMaxGroupSide});
    const int y1 = std::min({px(std::ceil(box.yMax)) + grow.bottom, cy1 + grow.bottom, y0 + kMaxGroupSide});
    if (x1 <= x0 || y1 <= y0) return;
    raster::Matrix shifted = world;
    shifted.tx -= x0;
    shifted.ty -= y0;
    // The layer is a function of the subtree, the matrix it is drawn with (the group's world
    // matrix less its whole-pixel place), its size, colour, quality and filters: when all of these
    // are as before, the pixels are too, wherever the group now stands.
    std::optional<uint64_t> key;
    GroupHash h;
    if (groupCache) {
        if (HashObject(obj, h, true, 0)) {
            h.Add(c);
            h.Add(static_cast<uint64_t>(r.GetQuality()));
            h.Add(stageScale_);
            key = h.Value();
        }
    }
    auto same = [](const raster::Matrix& a, const raster::Matrix& b) {
        return std::memcmp(&a, &b, sizeof(raster::Matrix)) == 0;  // bit for bit: -0 and NaN included
    };
    const int w = x1 - x0, ht = y1 - y0;
    std::shared_ptr<const raster::Bitmap> pixels;
    auto found = key ? groups_.find(&obj) : groups_.end();
    if (found != groups_.end()) {
        CachedGroup& g = found->second;
        const bool sameSprite = !g.sprite.owner_before(obj.sprite) && !obj.sprite.owner_before(g.sprite);
        // Its drawing took `edges` without running out, so with as many left it would again.
        if (sameSprite && g.key == *key && same(g.shifted, shifted) && g.width == w && g.height == ht &&
            g.edges <= edgeBudget) {
            pixels = g.pixels;
            edgeBudget -= g.edges;
            g.render = renders_;
            ++groupCacheHits_;
        }
    }
    if (!pixels) {
        const long budgetBefore = edgeBudget;
        raster::Surface layer(w, ht);
        {
            raster::Renderer lr(layer);
            lr.SetQuality(r.GetQuality());
            DrawPlaced(lr, obj, shifted, c, false, edgeBudget);
        }
        raster::FilterScratch scratch;
        for (const swf::Filter& f : filters)
            swf::ApplyFilter(f, layer, raster::IntRect{0, 0, layer.Width(), layer.Height()}, stageScale_, scratch);
        auto drawn = std::make_shared<raster::Bitmap>();
        drawn->width = layer.Width();
        drawn->height = layer.Height();
        drawn->pixels = layer.TakePixels();
        pixels = drawn;
        // (Groups inside may have been added meanwhile: `found` is no longer to be trusted.)
        if (auto old = groups_.find(&obj); old != groups_.end()) {
            groupBytes_ -= old->second.pixels->pixels.size() * 4;
            groups_.erase(old);
        }
        // A budget run out may have left something out: such a layer is not kept.
        const size_t bytes = drawn->pixels.size() * 4;
        if (key && edgeBudget > 0 && bytes <= kGroupCacheBytes) {
            while (groupBytes_ + bytes > kGroupCacheBytes) {
                auto oldest = std::min_element(groups_.begin(), groups_.end(), [](const auto& a, const auto& b) {
                    return a.second.render < b.second.render;
                });
                groupBytes_ -= oldest->second.pixels->pixels.size() * 4;
                groups_.erase(oldest);
            }
            groups_[&obj] = CachedGroup{obj.sprite,        *key,    shifted, w, ht, budgetBefore - edgeBudget, pixels,
                                        std::move(h.pins), renders_};
            groupBytes_ += bytes;
        }
    }
    // Composited as a pixel-aligned bitmap fill, so masks and the clip rectangle apply.
    raster::Shape quad = RectShape(float(x0), float(y0), float(x1), float(y1));
    raster::Paint& paint = quad.layers[0].fills[0];
    paint.kind = raster::Paint::Kind::Bitmap;
    paint.bitmap = std::move(pixels);
    paint.bitmapMatrix.tx = x0;
    paint.bitmapMatrix.ty = y0;
    paint.repeat = false;
    paint.smooth = false;
    r.SetBlend(obj.blend);
    r.DrawShape(quad, raster::Matrix{}, raster::ColorTransform{});
    r.SetBlend(raster::Blend::Normal);
}

namespace {

// A 9-slice scale: the clip's corners keep their size on screen, its edges stretch along one
// axis and its centre along both, whatever the clip's own scale. Points of the clip's space are
// moved so that its matrix then puts them there.
struct NineSlice {
    double b0[2], b1[2], g0[2], g1[2], scale[2];
    double Map(double v, int axis) const {
        const double s = scale[axis], lo = b0[axis], hi = b1[axis];
        const double left = lo + (g0[axis] - lo) / s, right = hi - (hi - g1[axis]) / s;
        if (v <= g0[axis]) return lo + (v - lo) / s;
        if (v >= g1[axis]) return hi - (hi - v) / s;
        return left + (v - g0[axis]) * (right - left) / (g1[axis] - g0[axis]);
    }
};

std::optional<NineSlice> SliceOf(const Instance& inst, const std::optional<swf::Rect>& grid,
                                 const raster::Matrix& own) {
    if (!grid) return std::nullopt;
    Box box;
    for (const auto& [depth, obj] : inst.Objects())
        if (!obj.sprite) AddObjectBounds(obj, obj.matrix, box);
    const double sx = std::hypot(own.a, own.b), sy = std::hypot(own.c, own.d);
    if (box.Empty() || !(sx > 1e-6) || !(sy > 1e-6) || !std::isfinite(sx + sy)) return std::nullopt;
    NineSlice n{{box.xMin, box.yMin}, {box.xMax, box.yMax}, {}, {}, {sx, sy}};
    n.g0[0] = std::clamp<double>(grid->xmin, box.xMin, box.xMax);
    n.g1[0] = std::clamp<double>(grid->xmax, n.g0[0], box.xMax);
    n.g0[1] = std::clamp<double>(grid->ymin, box.yMin, box.yMax);
    n.g1[1] = std::clamp<double>(grid->ymax, n.g0[1], box.yMax);
    if (n.g1[0] <= n.g0[0] || n.g1[1] <= n.g0[1]) return std::nullopt;
    return n;
}

// The shape in its clip's space (under `placed`), sliced.
raster::Shape Sliced(const raster::Shape& shape, const raster::Matrix& placed, const NineSlice& n) {
    raster::Shape out = shape;
    auto move = [&](float& x, float& y) {
        double px, py;
        placed.Apply(x, y, px, py);
        x = static_cast<float>(n.Map(px, 0));
        y = static_cast<float>(n.Map(py, 1));
    };
    for (raster::Layer& layer : out.layers)
        for (raster::Edge& e : layer.edges) {
            move(e.x0, e.y0);
            move(e.cx, e.cy);
            move(e.x1, e.y1);
        }
    return out;
}

}  // namespace

void Stage::RenderList(raster::Renderer& r, const Instance& inst, const raster::Matrix& m,
                       const raster::ColorTransform& cx, bool clipDefinition, long& edgeBudget) const {
    std::optional<NineSlice> slice;
    if (inst.scriptGrid_ ? inst.grid_.has_value() : inst.def_->scalingGrid.has_value())
        if (const DisplayObject* own = PlacementOf(inst))
            slice = SliceOf(inst, inst.scriptGrid_ ? inst.grid_ : inst.def_->scalingGrid, own->matrix);
    if (inst.field) {
        if (const ShapeCharacter* laidOut = inst.field->LaidOut())
            DrawShapeCharacter(r, *laidOut, m, cx, clipDefinition, edgeBudget);
    }
    if (inst.drawing && !inst.drawing->Empty())
        DrawCounted(r, inst.drawing->Shape(), static_cast<long>(inst.drawing->Used()), m,
                    clipDefinition ? raster::ColorTransform{} : cx, edgeBudget);
    std::vector<int32_t> clipEnds;  // innermost last, non-increasing
    for (const auto& [depth, obj] : inst.list_) {
        while (!clipEnds.empty() && depth > clipEnds.back()) {
            r.PopClip();
            clipEnds.pop_back();
        }
        const raster::Matrix world = m.Multiply(obj.matrix);
        if (obj.clipDepth > 0) {
            if (clipDefinition || obj.clipDepth <= depth) continue;  // masks nothing
            int32_t end = obj.clipDepth;
            if (!clipEnds.empty()) end = std::min(end, clipEnds.back());
            r.BeginClip();
            DrawObject(r, obj, world, raster::ColorTransform{}, true, edgeBudget);
            r.EndClipDefinition();
            clipEnds.push_back(end);
            continue;
        }
        if (!obj.visible || (obj.sprite && obj.sprite->isMask)) continue;
        const raster::ColorTransform c = cx.Concat(obj.cxform);
        // A clip masked by another (setMask): that clip's shapes, where it stands, cut this one.
        const std::shared_ptr<Instance> mask = clipDefinition || obj.mask.expired() ? nullptr : obj.mask.lock();
        if (mask) {
            r.BeginClip();
            RenderList(r, *mask, rootMatrix_.Multiply(StageMatrix(*mask)), raster::ColorTransform{}, true, edgeBudget);
            r.EndClipDefinition();
        }
        const auto* shape = slice ? std::get_if<ShapeCharacter>(obj.character) : nullptr;
        if (shape && !obj.sprite) {
            DrawCounted(r, Sliced(shape->shape, obj.matrix, *slice), shape->edgeCount, m, c, edgeBudget);
        } else if (!clipDefinition && (obj.filters || obj.blend != raster::Blend::Normal)) {
            RenderGroup(r, obj, world, c, edgeBudget);
        } else {
            DrawPlaced(r, obj, world, c, clipDefinition, edgeBudget);
        }
        if (mask) r.PopClip();
    }
    while (!clipEnds.empty()) {
        r.PopClip();
        clipEnds.pop_back();
    }
}

}  // namespace lumarel::engine::timeline
