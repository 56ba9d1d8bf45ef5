#include "engine/player.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <variant>

#include "engine/timeline/timeline.h"

namespace lumarel::engine {

struct Movie::Data {
    swf::SwfFile file;
    timeline::MovieDefinition definition;
};

Movie::Movie() : data_(std::make_unique<Data>()) {}
Movie::~Movie() = default;

namespace {

// Codecs of the sounds (defined, and stream heads of any timeline) that neither the engine nor
// the host's decoders play.
std::vector<std::string> SilentSoundCodecs(const timeline::MovieDefinition& def,
                                           sound::CompressedDecoderSource* decoders) {
    std::set<sound::Codec> codecs;
    for (std::span<const uint8_t> body : def.sounds) {
        sound::SoundDefinition d;
        if (sound::ParseDefineSound(body, d)) codecs.insert(d.format.codec);
    }
    auto heads = [&](const timeline::TimelineDef& line) {
        for (const auto& frame : line.frames)
            for (const swf::Tag& t : frame) {
                sound::StreamHead h;
                if ((t.code == swf::tag::SoundStreamHead || t.code == swf::tag::SoundStreamHead2) &&
                    sound::ParseSoundStreamHead(t.data, h))
                    codecs.insert(h.stream.codec);
            }
    };
    heads(def.main);
    for (const auto& entry : def.dictionary)
        if (const auto* sprite = std::get_if<timeline::SpriteCharacter>(&entry.second)) heads(sprite->timeline);
    std::set<std::string> out;
    for (sound::Codec c : codecs)
        if (!sound::IsBuiltIn(c) && !(decoders && decoders->Create(c))) out.insert(sound::CodecName(c));
    return {out.begin(), out.end()};
}

}  // namespace

LoadResult Movie::Load(std::span<const uint8_t> bytes) { return Load(bytes, LoadOptions{}); }

LoadResult Movie::Load(std::span<const uint8_t> bytes, const LoadOptions& options) {
    LoadResult result;
    std::unique_ptr<Movie> m(new Movie());
    std::string error;
    if (!swf::DecodeSwf(bytes, m->data_->file, error)) {
        result.error = error;
        return result;
    }
    const swf::SwfFile& f = m->data_->file;
    m->data_->definition.version = f.header.version;
    m->data_->definition.deviceFonts = options.deviceFonts;
    timeline::BuildDefinition(f.tags, m->data_->definition);

    MovieInfo& info = m->info_;
    const swf::Header& h = f.header;
    info.version = h.version;
    info.compression = h.compression;
    info.declaredLength = h.declaredLength;
    info.stageX = h.xmin / 20.0;
    info.stageY = h.ymin / 20.0;
    info.stageWidth = (static_cast<double>(h.xmax) - h.xmin) / 20.0;
    info.stageHeight = (static_cast<double>(h.ymax) - h.ymin) / 20.0;
    info.frameRate = h.frameRate;
    info.headerFrameRate = h.headerFrameRate;
    info.headerFrameCount = h.frameCount;
    info.frameCount = m->data_->definition.main.FrameCount();
    info.background = m->data_->definition.background;
    info.warnings = m->data_->definition.warnings;
    for (const auto& [id, ch] : m->data_->definition.dictionary) {
        const auto* vc = std::get_if<timeline::VideoCharacter>(&ch);
        if (!vc) continue;
        const video::StreamHeader& vh = vc->stream->header;
        info.videos.push_back({id, vh.codec, video::CodecName(vh.codec), vh.width, vh.height, vh.frameCount,
                               static_cast<int>(vc->stream->packets.size()), video::MakeDecoder(vh.codec) != nullptr});
    }
    std::sort(info.videos.begin(), info.videos.end(),
              [](const VideoStreamInfo& a, const VideoStreamInfo& b) { return a.id < b.id; });
    info.silentSounds = SilentSoundCodecs(m->data_->definition, options.soundDecoders.get());
    // What the bytes hold plays, as a partly loaded movie does.
    if (!f.sawEnd) info.warnings.push_back("the movie ends without an End tag; its frames up to there play");
    std::map<uint16_t, int> counts;
    for (const swf::Tag& t : f.tags) ++counts[t.code];
    if (f.sawEnd) ++counts[swf::tag::End];
    for (const auto& [code, n] : counts) info.tags.push_back(TagCount{code, swf::TagName(code), n});

    timeline::ScriptEnv env;
    env.trace = options.trace;
    env.fsCommand = options.fsCommand;
    env.clock = options.clock;
    env.seed = options.randomSeed;
    env.utcNow = options.utcNow;
    env.localOffset = options.localOffset;
    env.readFile = options.readFile;
    env.loadShared = options.loadShared;
    env.saveShared = options.saveShared;
    env.movieName = options.movieName;
    env.soundDecoders = options.soundDecoders;
    env.frameRate = h.frameRate;
    env.stageWidth = info.stageWidth;
    env.stageHeight = info.stageHeight;
    m->stage_ = std::make_unique<timeline::Stage>(m->data_->definition, std::move(env));
    m->stage_->Start();
    result.movie = std::move(m);
    return result;
}

std::string LocalMoviePath(const std::string& url) {
    std::string path = url;
    if (path.rfind("file:", 0) == 0) path = path.substr(5);
    for (char& c : path)
        if (c == '\\') c = '/';
    // Queries and fragments are no part of a file name.
    path = path.substr(0, path.find_first_of("?#"));
    if (path.empty() || path[0] == '/' || path.find(':') != std::string::npos) return "";
    std::string out;
    size_t i = 0;
    while (i <= path.size()) {
        size_t j = path.find('/', i);
        if (j == std::string::npos) j = path.size();
        const std::string part = path.substr(i, j - i);
        if (part == "..") return "";
        if (!part.empty() && part != ".") out += (out.empty() ? "" : "/") + part;
        i = j + 1;
    }
    return out;
}

void Movie::MixAudio(int16_t* out, size_t frames) { stage_->Mixer().Mix(out, frames); }
void Movie::StopSound() { stage_->Mixer().StopAll(); }

bool Movie::HasSound() const {
    const timeline::MovieDefinition& def = data_->definition;
    if (!def.sounds.empty()) return true;
    auto streams = [](const timeline::TimelineDef& line) { return !line.streamBlocks.empty(); };
    if (streams(def.main)) return true;
    for (const auto& entry : def.dictionary) {
        const auto* sprite = std::get_if<timeline::SpriteCharacter>(&entry.second);
        if (sprite && streams(sprite->timeline)) return true;
    }
    return false;
}

void Movie::SetQuality(raster::Quality q) { stage_->quality = q; }
raster::Quality Movie::Quality() const { return stage_->quality; }
void Movie::SetGroupCache(bool on) { stage_->groupCache = on; }
long Movie::GroupCacheHits() const { return stage_->GroupCacheHits(); }

int Movie::TotalFrames() const { return stage_->Root().FrameCount(); }
int Movie::CurrentFrame() const { return stage_->Root().CurrentFrame(); }
bool Movie::IsPlaying() const { return started_ && stage_->Root().Playing(); }

void Movie::Play() {
    if (!started_) {
        started_ = true;
        return;
    }
    stage_->Root().SetPlaying(true);
}

void Movie::Stop() { stage_->Root().SetPlaying(false); }

void Movie::Advance() {
    if (started_) stage_->Tick();
}

int Movie::TicksDue() { return started_ ? stage_->TicksDue() : -1; }

raster::Rgba Movie::BackgroundColor() const { return stage_->Background(); }

void Movie::Render(raster::Surface& surface, std::optional<raster::Rgba> backgroundOverride) const {
    Render(surface, Viewport{surface.Width(), surface.Height(), 0, 0}, backgroundOverride);
}

bool Movie::RecordFrame(raster::Surface& surface, const Viewport& view, raster::DisplayList& list) const {
    if (recorder_) {
        recorder_->SetSurface(surface);
    } else {
        recorder_ = std::make_unique<raster::Renderer>(surface);
    }
    raster::Renderer& r = *recorder_;
    r.SetQuality(stage_->quality);
    r.Record(&list);
    const double sw = info_.stageWidth, sh = info_.stageHeight;
    const double W = view.width, H = view.height;
    bool shown = false;
    if (sw > 0 && sh > 0 && W > 0 && H > 0 && surface.Width() > 0 && surface.Height() > 0) {
        const double scale = std::min(W / sw, H / sh);
        // The stage's place in the view, then in the surface's pixels.
        const double offX = (W - sw * scale) / 2 - view.x, offY = (H - sh * scale) / 2 - view.y;
        raster::Matrix toDevice;
        toDevice.a = toDevice.d = scale / 20.0;
        toDevice.tx = offX - info_.stageX * scale;
        toDevice.ty = offY - info_.stageY * scale;
        auto pixel = [](double v, int limit) {
            return static_cast<int>(std::clamp(v, 0.0, static_cast<double>(limit)));
        };
        const int x0 = pixel(std::floor(offX), surface.Width());
        const int y0 = pixel(std::floor(offY), surface.Height());
        const int x1 = pixel(std::ceil(offX + sw * scale), surface.Width());
        const int y1 = pixel(std::ceil(offY + sh * scale), surface.Height());
        if (x0 < x1 && y0 < y1) {
            r.SetClipRect(x0, y0, x1, y1);
            stage_->Render(r, toDevice);
            shown = true;
        }
    }
    r.Record(nullptr);
    return shown;
}

void Movie::Render(raster::Surface& surface, const Viewport& view,
                   std::optional<raster::Rgba> backgroundOverride) const {
    surface.Clear(backgroundOverride ? *backgroundOverride : stage_->Background());
    if (!RecordFrame(surface, view, frame_)) return;
    if (!painter_) painter_ = std::make_unique<raster::ParallelRenderer>(threads_);
    const raster::IntRect whole{0, 0, surface.Width(), surface.Height()};
    painter_->Draw(frame_, surface, std::span(&whole, 1));
}

std::vector<raster::IntRect> Movie::RenderChanges(raster::Surface& surface, const Viewport& view,
                                                  std::optional<raster::Rgba> backgroundOverride) {
    const raster::Rgba bg = backgroundOverride ? *backgroundOverride : stage_->Background();
    const uint32_t fill = raster::Premultiply(bg);
    RecordFrame(surface, view, frame_);
    const bool same = shown_.valid && shown_.surface == &surface && shown_.pixels == surface.data() &&
                      shown_.width == surface.Width() && shown_.height == surface.Height() &&
                      shown_.view.width == view.width && shown_.view.height == view.height && shown_.view.x == view.x &&
                      shown_.view.y == view.y && shown_.background == fill;
    // A few rectangles: each is drawn through the whole list, so many small ones cost more than
    // the pixels they spare.
    constexpr size_t kMaxRegions = 6;
    std::vector<raster::IntRect> regions;
    if (same) {
        regions = frame_.Changed(shown_.list, kMaxRegions);
        for (const raster::IntRect& r : regions)
            for (int y = r.y0; y < r.y1; ++y) std::fill(surface.Row(y) + r.x0, surface.Row(y) + r.x1, fill);
    } else {
        surface.Clear(bg);
        if (surface.Width() > 0 && surface.Height() > 0) regions.push_back({0, 0, surface.Width(), surface.Height()});
    }
    if (!regions.empty()) {
        if (!painter_) painter_ = std::make_unique<raster::ParallelRenderer>(threads_);
        painter_->Draw(frame_, surface, regions);
    }
    std::swap(shown_.list, frame_);
    shown_.surface = &surface;
    shown_.pixels = surface.data();
    shown_.width = surface.Width();
    shown_.height = surface.Height();
    shown_.view = view;
    shown_.background = fill;
    shown_.valid = true;
    return regions;
}

void Movie::SetThreads(int threads) {
    threads = std::clamp(threads, 1, 64);
    if (threads == threads_) return;
    threads_ = threads;
    painter_.reset();
}

}  // namespace lumarel::engine
