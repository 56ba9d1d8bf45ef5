// Recording one frame of a movie through a DrawObserver (see frame_record.h).
#include "bench/frame_record.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <utility>

#include "engine/timeline/timeline.h"

namespace lumarel::bench {

namespace {

class Recorder : public raster::DrawObserver {
public:
    explicit Recorder(RecordedFrame& out) : out_(out) {}

    void OnFill(const raster::Layer& layer, const raster::Matrix& toDevice, const raster::ColorTransform& cx,
                const std::vector<raster::FlatSegment>& segments) override {
        RecordedFill f;
        f.fills = layer.fills;
        f.evenOdd = layer.evenOdd;
        f.toDevice = toDevice;
        f.cx = cx;
        f.segments = segments;
        ++out_.fills;
        out_.segments += segments.size();
        out_.ops.emplace_back(std::move(f));
    }

    void OnStroke(const raster::Stroke& stroke, const raster::Matrix& toDevice, const raster::ColorTransform& cx,
                  const std::vector<raster::FlatPoint>& line, bool closed, double width) override {
        RecordedStroke s;
        s.stroke = stroke;
        s.toDevice = toDevice;
        s.cx = cx;
        s.line = line;
        s.closed = closed;
        s.width = width;
        ++out_.strokes;
        out_.strokePoints += line.size();
        out_.ops.emplace_back(std::move(s));
    }

private:
    RecordedFrame& out_;
};

}  // namespace

bool LoadSampleFrame(const std::string& path, int frame, int width, int height, SampleFrame& out, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    engine::LoadResult loaded = engine::Movie::Load(bytes);
    if (!loaded.movie) {
        error = path + ": " + loaded.error;
        return false;
    }
    out.movie = std::move(loaded.movie);
    const size_t slash = path.find_last_of('/');
    out.name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    if (out.name.size() > 4 && out.name.compare(out.name.size() - 4, 4, ".swf") == 0)
        out.name.resize(out.name.size() - 4);
    out.frame = frame;
    engine::Movie& m = *out.movie;
    m.Play();
    for (int i = 0; i < frame; ++i) m.Advance();

    // The stage fitted into the surface as Movie::Render fits it ("ShowAll", centred), drawn by
    // a renderer of our own that reports to the recorder.
    const engine::MovieInfo& info = m.Info();
    const double sw = info.stageWidth, sh = info.stageHeight;
    if (!(sw > 0) || !(sh > 0)) {
        error = path + ": empty stage";
        return false;
    }
    const double scale = std::min(width / sw, height / sh);
    const double offX = (width - sw * scale) / 2, offY = (height - sh * scale) / 2;
    raster::Matrix toDevice;
    toDevice.a = toDevice.d = scale / 20.0;
    toDevice.tx = offX - info.stageX * scale;
    toDevice.ty = offY - info.stageY * scale;
    auto pixel = [](double v, int limit) { return static_cast<int>(std::clamp(v, 0.0, static_cast<double>(limit))); };
    RecordedFrame& rec = out.record;
    rec = RecordedFrame{};
    rec.width = width;
    rec.height = height;
    rec.background = m.BackgroundColor();
    rec.clipX0 = pixel(std::floor(offX), width);
    rec.clipY0 = pixel(std::floor(offY), height);
    rec.clipX1 = pixel(std::ceil(offX + sw * scale), width);
    rec.clipY1 = pixel(std::ceil(offY + sh * scale), height);
    raster::Surface s(width, height);
    s.Clear(rec.background);
    raster::Renderer r(s);
    r.SetQuality(m.Quality());
    r.SetClipRect(rec.clipX0, rec.clipY0, rec.clipX1, rec.clipY1);
    Recorder recorder(rec);
    r.SetObserver(&recorder);
    m.Stage().Render(r, toDevice);
    return true;
}

std::vector<uint16_t> UsedStyles(const RecordedFill& fill) {
    std::vector<uint16_t> styles;
    for (const raster::FlatSegment& s : fill.segments) {
        if (s.left) styles.push_back(s.left);
        if (s.right) styles.push_back(s.right);
    }
    std::sort(styles.begin(), styles.end());
    styles.erase(std::unique(styles.begin(), styles.end()), styles.end());
    return styles;
}

std::vector<std::vector<raster::FlatPoint>> StyleContours(const RecordedFill& fill, uint16_t style) {
    struct Seg {
        raster::FlatPoint a, b;
    };
    std::vector<Seg> segs;
    for (const raster::FlatSegment& s : fill.segments) {
        if (s.right == style) segs.push_back({{s.x0, s.y0}, {s.x1, s.y1}});
        if (s.left == style) segs.push_back({{s.x1, s.y1}, {s.x0, s.y0}});
    }
    // Segments by their start point; a contour follows each segment's end to an unused segment
    // starting there, until it comes back to where it began or finds none (an open outline,
    // closed straight back).
    auto key = [](const raster::FlatPoint& p) { return std::make_pair(p.x, p.y); };
    std::multimap<std::pair<double, double>, size_t> starts;
    for (size_t i = 0; i < segs.size(); ++i) starts.emplace(key(segs[i].a), i);
    std::vector<bool> used(segs.size(), false);
    std::vector<std::vector<raster::FlatPoint>> contours;
    for (size_t first = 0; first < segs.size(); ++first) {
        if (used[first]) continue;
        std::vector<raster::FlatPoint> c{segs[first].a};
        size_t at = first;
        for (;;) {
            used[at] = true;
            const raster::FlatPoint end = segs[at].b;
            c.push_back(end);
            auto [lo, hi] = starts.equal_range(key(end));
            size_t next = segs.size();
            for (auto it = lo; it != hi; ++it)
                if (!used[it->second]) {
                    next = it->second;
                    break;
                }
            if (next == segs.size()) break;
            at = next;
        }
        if (c.size() > 1 && c.front().x == c.back().x && c.front().y == c.back().y) c.pop_back();
        contours.push_back(std::move(c));
    }
    return contours;
}

}  // namespace lumarel::bench
