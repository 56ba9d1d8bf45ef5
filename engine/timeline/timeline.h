// Character dictionary, display lists and timelines (main and DefineSprite), the frame clock and
// the subset of frame actions that timeline animations use.
#pragma once

#include <cmath>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

#include "engine/raster/raster.h"
#include "engine/swf/filters.h"
#include "engine/sound/mixer.h"
#include "engine/swf/morph.h"
#include "engine/swf/place_object.h"
#include "engine/swf/records.h"
#include "engine/swf/swf_file.h"
#include "engine/text/device_fonts.h"
#include "engine/text/text_shapes.h"
#include "engine/timeline/drawing.h"
#include "engine/timeline/edit_field.h"
#include "engine/video/video.h"

namespace lumarel::engine::avm1 {
class Machine;
class Object;
}  // namespace lumarel::engine::avm1

namespace lumarel::engine::timeline {

// Limits that keep hostile movies bounded in memory and time.
constexpr int kMaxNesting = 32;               // sprite instances inside sprite instances
constexpr int kMaxDisplayObjects = 100000;    // across the whole display tree
constexpr int kMaxActionRunsPerTick = 256;    // DoAction blocks executed in one tick
constexpr long kMaxTagWorkPerTick = 1000000;  // control tags executed in one tick (gotos included)
constexpr long kMaxEdgesPerFrame = 8000000;   // shape edges drawn in one frame; the rest is left out

struct TimelineDef {
    std::vector<std::vector<swf::Tag>> frames;  // control tags and DoAction per frame, in order
    std::map<std::string, int> labels;          // lower-cased label -> frame
    int FrameCount() const { return static_cast<int>(frames.size()); }
    int FindLabel(const std::string& label) const;  // the frame of a label (any case), or -1
    bool button = false;                            // a button's up state: scripts see a Button
    std::optional<swf::Rect> scalingGrid;           // DefineScalingGrid: the centre of a 9-slice
    // The SoundStreamBlock body of each frame (empty where a frame has none); empty altogether
    // when the timeline has no stream sound. Kept apart from the control tags: blocks are fed
    // to the mixer ahead of the frame shown.
    std::vector<std::span<const uint8_t>> streamBlocks;
};

struct ShapeCharacter {
    swf::Rect bounds;
    raster::Shape shape;
    long edgeCount = 0;
    bool clipToBounds = false;  // edit fields: text running past the bounds is cut off there
    bool box = false;           // edit fields: a background and a 1-px border, either may be off
    bool boxBackground = true, boxBorder = true;
    raster::Rgba backgroundColor{255, 255, 255, 255}, borderColor{0, 0, 0, 255};
    std::shared_ptr<const text::EditTextDef> field;  // edit fields: what scripts can change
};
struct SpriteCharacter {
    TimelineDef timeline;
    std::shared_ptr<const std::vector<uint8_t>> storage;  // tag bytes the timeline owns (buttons)
};
// A morph shape: drawn at its place's ratio. The shape for the last ratio drawn is kept.
struct MorphCharacter {
    std::shared_ptr<const swf::MorphDefinition> morph;
    long edgeCount = 0;
    struct Cache {
        int ratio = -1;
        raster::Shape shape;
    };
    std::shared_ptr<Cache> cache = std::make_shared<Cache>();
    const raster::Shape& At(uint16_t ratio) const;
};
// An embedded video stream: drawn scaled to its size, at the frame its place's ratio names.
struct VideoCharacter {
    std::shared_ptr<const video::Stream> stream;
    std::shared_ptr<video::Playback> playback;  // the picture last shown, decoded on demand
};
using Character = std::variant<ShapeCharacter, SpriteCharacter, MorphCharacter, VideoCharacter>;

struct MovieDefinition {
    std::unordered_map<uint16_t, Character> dictionary;
    TimelineDef main;
    raster::Rgba background{255, 255, 255, 255};
    std::vector<std::string> warnings;  // definitions that were skipped, one line each
    // Set before BuildDefinition: texts are decoded by the movie's version, and edit fields
    // without embedded outlines take their glyphs from the device fonts (none: not drawn).
    int version = 10;
    std::shared_ptr<text::DeviceFontSource> deviceFonts;
    std::shared_ptr<const text::FontTable> fonts;  // embedded fonts, for fields laid out again
    // Decoded bitmaps by character id (undecodable ones are left out), and their pixel bytes.
    std::unordered_map<uint16_t, std::shared_ptr<const raster::Bitmap>> bitmaps;
    size_t bitmapBytes = 0;
    std::unordered_map<std::string, uint16_t> exports;   // ExportAssets: lower-cased linkage name -> id
    uint16_t FindExport(const std::string& name) const;  // 0 when nothing is exported by that name
    std::vector<std::span<const uint8_t>> sounds;        // DefineSound bodies, for the mixer
};
// Decoded bitmap pixels kept for one movie; bitmaps beyond it are not decoded (draw nothing).
constexpr size_t kMaxBitmapBytes = size_t(512) << 20;

// Builds dictionary and main timeline from the top-level tags. The tags' spans must stay valid
// as long as the definition is used.
void BuildDefinition(const std::vector<swf::Tag>& tags, MovieDefinition& out);
// Splits a tag list into frames at ShowFrame (control tags only; definitions are left out).
void BuildTimeline(const std::vector<swf::Tag>& tags, TimelineDef& out);

class Stage;
class Instance;

// Counts display objects so the whole tree stays within kMaxDisplayObjects.
class ObjectToken {
public:
    ObjectToken() = default;
    explicit ObjectToken(int* counter) : counter_(counter) {
        if (counter_) ++*counter_;
    }
    ObjectToken(ObjectToken&& o) noexcept : counter_(o.counter_) { o.counter_ = nullptr; }
    ObjectToken& operator=(ObjectToken&& o) noexcept {
        if (this != &o) {
            Release();
            counter_ = o.counter_;
            o.counter_ = nullptr;
        }
        return *this;
    }
    ObjectToken(const ObjectToken&) = delete;
    ObjectToken& operator=(const ObjectToken&) = delete;
    ~ObjectToken() { Release(); }

private:
    void Release() {
        if (counter_) --*counter_;
        counter_ = nullptr;
    }
    int* counter_ = nullptr;
};

using swf::ClipAction;
using swf::kClipEventEnterFrame;
using swf::kClipEventKeyPress;
using swf::kClipEventLoad;
using swf::kClipEventUnload;

// Depths: timeline tags place objects at 1..65535; scripts see those as depth - kScriptDepthOffset
// and make their own clips at 0..kMaxScriptDepth, above every timeline depth in use.
constexpr int32_t kScriptDepthOffset = 16384;
constexpr int32_t kMaxScriptDepth = 1048575;

struct DisplayObject {
    int32_t depth = 0;
    uint16_t characterId = 0;
    const Character* character = nullptr;
    raster::Matrix matrix;
    raster::ColorTransform cxform;
    uint16_t ratio = 0;
    std::string name;
    uint16_t clipDepth = 0;  // > 0: masks the objects up to this depth
    bool visible = true;     // scripts hide objects with _visible = false
    bool dynamic = false;    // made or moved by a script: timeline rebuilds leave it in place
    // Drawn as a group (offscreen, then composited) when it has filters or a blend mode (layer
    // included: alpha and erase inside it act on that group).
    std::shared_ptr<const std::vector<swf::Filter>> filters;
    raster::Blend blend = raster::Blend::Normal;
    bool cacheAsBitmap = false;
    std::optional<raster::Rgba> opaqueBackground;  // a solid box behind it, its bounds' size
    std::optional<swf::Rect> scrollRect;           // shows only this part of it (its own twips), moved to 0,0
    std::vector<ClipAction> clipActions;
    const uint8_t* placedBy = nullptr;       // the PlaceObject tag that created it
    std::shared_ptr<Instance> sprite;        // for sprite characters
    std::weak_ptr<Instance> mask;            // setMask: the clip whose shapes mask this one
    std::shared_ptr<const Character> owned;  // a character made at run time (attachBitmap)
    ObjectToken token;
};
using DisplayList = std::multimap<int32_t, DisplayObject>;

// One running timeline: the main movie or a sprite instance.
class Instance : public std::enable_shared_from_this<Instance> {
public:
    Instance(const TimelineDef* def, std::weak_ptr<Instance> parent, int nesting, long bornTick)
        : def_(def), parent_(std::move(parent)), nesting_(nesting), bornTick_(bornTick) {}

    int CurrentFrame() const { return frame_ < 0 ? 0 : frame_; }
    int FrameCount() const { return def_->FrameCount(); }
    bool Playing() const { return playing_; }
    void SetPlaying(bool p) { playing_ = p; }
    // In drawing order. Two objects can share a depth: a second one added there (not moved) goes
    // below the first, as in the player; the one found at a depth is the lowest there.
    const DisplayList& Objects() const { return list_; }
    const DisplayObject* At(int32_t depth) const {
        auto it = list_.lower_bound(depth);
        return it == list_.end() || it->first != depth ? nullptr : &it->second;
    }
    // The sprite instance placed under `name` (case-insensitive), or null.
    std::shared_ptr<Instance> Child(const std::string& name) const;
    std::shared_ptr<Instance> Parent() const { return parent_.lock(); }
    int Nesting() const { return nesting_; }
    // The movie whose characters it places: null for the stage's own, else one loaded into a clip.
    const MovieDefinition* Movie() const { return movie_; }
    // The script object standing for this timeline (made by the script machine on first use).
    avm1::Object* scriptObject = nullptr;
    // What scripts drew into the clip (drawing API), drawn below its children; null until used.
    std::unique_ptr<Drawing> drawing;
    bool isMask = false;  // setMask made it another clip's mask: not drawn itself
    // Set when this stands for an edit field (TextField) rather than a movie clip.
    std::unique_ptr<EditField> field;

private:
    friend class Stage;
    const TimelineDef* def_;
    std::weak_ptr<Instance> parent_;
    int nesting_;
    long bornTick_;
    const MovieDefinition* movie_ = nullptr;
    int level_ = 0;            // for a level's own timeline: its number (_levelN)
    uint32_t soundGroup_ = 0;  // the mixer group of its Sound objects (0 until one is made)
    // scale9Grid as a script set it (its own twips), in place of the symbol's; `scriptGrid_`
    // false: the symbol's own.
    bool scriptGrid_ = false;
    std::optional<swf::Rect> grid_;
    int frame_ = -1;
    bool playing_ = true;
    DisplayList list_;
    // Its stream sound: the head in force and the run of frames played since the last jump. The
    // blocks of the next frames are fed to the mixer before those frames show, so a slow frame
    // never starves the sound, and the frames can follow the sound's clock.
    struct StreamRun {
        const uint8_t* head = nullptr;  // the SoundStreamHead applied last
        uint64_t key = 0;               // the mixer's stream (0: no head yet)
        bool active = false;
        int start = 0;       // the frame the run began at
        long played = 0;     // frames moved on since, one at a time
        long fed = 0;        // frames from `start` on (wrapping at the end) whose blocks were fed
        uint64_t clock = 0;  // the stream's clock when the run began
    } stream_;
};

// An axis-aligned box, grown point by point.
struct Box {
    double xMin = INFINITY, yMin = INFINITY, xMax = -INFINITY, yMax = -INFINITY;
    bool Empty() const { return xMin > xMax; }
    void Add(double x, double y);
    void AddRect(const swf::Rect& r, const raster::Matrix& m);  // the corners of r under m
};
// The bounds of what one display object shows (its character, or its instance's contents) under
// `m` (its own matrix not included), and of everything an instance shows.
void AddObjectBounds(const DisplayObject& obj, const raster::Matrix& m, Box& box, int nesting = 0);
void AddBounds(const Instance& inst, const raster::Matrix& m, Box& box, int nesting = 0);
// Whether a point (twips, in the space `m` maps an instance's contents into) lies on a fill or
// stroke of what the instance shows; masks and hidden objects do not count.
bool HitsShapes(const Instance& inst, const raster::Matrix& m, double x, double y, int nesting = 0);

// Where scripts' output goes and what time it is for them.
struct ScriptEnv {
    std::function<void(const std::string&)> trace;
    std::function<void(const std::string& command, const std::string& args)> fsCommand;
    // Milliseconds since the movie started; when empty, frame n is at n * 1000 / frameRate.
    std::function<double()> clock;
    uint32_t seed = 1;  // for random()
    // Wall-clock time for Date (none: a fixed date plus the clock, in UTC).
    std::function<double()> utcNow;
    std::function<double(double utc)> localOffset;
    // Decoders for compressed sound (MP3); none: such sounds are silent.
    std::shared_ptr<sound::CompressedDecoderSource> soundDecoders;
    // Local files scripts load (XML, LoadVars): a name relative to the movie, false when refused.
    std::function<bool(const std::string& url, std::string& out)> readFile;
    // Stored shared objects and the movie's own name (see LoadOptions).
    std::function<bool(const std::string& name, std::vector<uint8_t>& out)> loadShared;
    std::function<bool(const std::string& name, std::span<const uint8_t> bytes)> saveShared;
    std::string movieName;
    double frameRate = 12;
    double stageWidth = 550, stageHeight = 400;  // pixels, as Stage.width and Stage.height give them
};

// The movie's running state: the root timeline, its display tree, the action queue and the
// script machine.
class Stage {
public:
    explicit Stage(const MovieDefinition& def, ScriptEnv env = {});
    ~Stage();
    Stage(const Stage&) = delete;
    Stage& operator=(const Stage&) = delete;

    // Shows frame 0 (control tags and actions), as after loading.
    void Start();
    // One movie frame: the root and every sprite instance (not created in this tick) move on by
    // one frame if playing, looping after their last frame; then the queued actions run.
    void Tick();

    raster::Quality quality = raster::Quality::High;  // the stage quality frames are drawn at
    // Groups (clips with filters or a blend mode) are kept as drawn and filtered, and shown again
    // from there while nothing that goes into them changed; false draws them anew every frame.
    // Either way the pictures are the same.
    bool groupCache = true;
    long GroupCacheHits() const { return groupCacheHits_; }  // groups shown from the cache so far
    // The movie's sound: event sounds started and stream blocks reached as frames play.
    sound::Mixer& Mixer() { return *mixer_; }
    // Ticks due now for the root to keep pace with its stream sound as the mixer plays it: more
    // than 1 when the frames fell behind the sound (the frames between are not drawn), 0 while
    // they are ahead of it; -1 without one, or while its clock stands still.
    int TicksDue();

    // _levelN: the root for 0, else a movie loaded into that level (made empty when `create`),
    // or null. Levels above 0 are drawn over the root, lowest first.
    Instance* Level(int n, bool create);
    void RemoveLevel(int n);  // unloadMovieNum: the level and its movie go
    static constexpr int kMaxLevel = 16000;

    Instance& Root() { return *root_; }
    const Instance& Root() const { return *root_; }
    raster::Rgba Background() const { return background_; }
    int ObjectCount() const { return objects_; }

    // Draws the display tree with `toDevice` (twips -> device pixels) as the root's matrix.
    void Render(raster::Renderer& r, const raster::Matrix& toDevice) const;

    // Moves `inst` to frame `target` (clamped) as Flash does: forward by running the control tags
    // of the frames in between, backward by rebuilding from frame 0. The target frame's actions
    // are queued.
    void GotoFrame(Instance& inst, int target);
    void RunQueuedActions();

    // Script-made clips. `depth` is a display-list depth (script depth + kScriptDepthOffset);
    // whatever stands there is replaced. Null when the character is no sprite or limits are hit.
    // `id` 0 makes an empty clip.
    std::shared_ptr<Instance> AttachClip(Instance& parent, uint16_t id, const std::string& name, int32_t depth);
    std::shared_ptr<Instance> DuplicateClip(Instance& clip, const std::string& name, int32_t depth);
    // createTextField: an empty dynamic field, w x h pixels at (x, y), in a serif device font.
    std::shared_ptr<Instance> AttachField(Instance& parent, const std::string& name, int32_t depth, double x, double y,
                                          double w, double h);
    // attachBitmap: a bitmap shown at `depth` in `parent`, scaled 1:1 (pixels drawn as they change).
    bool AttachBitmap(Instance& parent, std::shared_ptr<const raster::Bitmap> bitmap, int32_t depth, bool smooth);
    bool RemoveClip(Instance& clip);  // only clips at script depths (0 and up) can be removed
    // loadMovie: a local SWF or image file replaces the clip's contents once read, on a later
    // frame (false when the file cannot be read). unloadMovie empties the clip at once.
    bool LoadMovie(Instance& clip, const std::string& url);
    void UnloadMovie(Instance& clip);
    const MovieDefinition& MovieOf(const Instance& inst) const { return inst.movie_ ? *inst.movie_ : def_; }
    // Moves the clip to `depth`, trading places with whatever stands there.
    void SwapDepths(Instance& clip, int32_t depth);

private:
    void RunFrame(Instance& inst, int frame, bool queueActions);
    // Stream sound for a frame that has just landed: the next frame of a run keeps feeding ahead,
    // any other frame begins a new run. StopStreams ends the runs of stopped or gone timelines.
    void FollowStream(Instance& inst, int frame);
    void StopStreams();
    void ApplyTag(Instance& inst, const swf::Tag& t, bool queueActions);
    // Applies a decoded placement; `tagId` (the tag's bytes) tells the objects it creates apart.
    void Place(Instance& inst, const swf::PlaceObject& p, const uint8_t* tagId);
    void RenderGroup(raster::Renderer& r, const DisplayObject& obj, const raster::Matrix& world,
                     const raster::ColorTransform& c, long& edgeBudget) const;
    // Adds everything in the object's subtree that goes into its picture to `h` (things named by
    // address are kept alive in its pins); false when something there cannot be told apart that
    // way (video, bitmaps scripts draw into, clips masked from elsewhere).
    class GroupHash;
    bool HashObject(const DisplayObject& obj, GroupHash& h, bool top, int nesting) const;
    bool HashInstance(const Instance& inst, const DisplayObject& placed, GroupHash& h, int nesting) const;
    void DrawObject(raster::Renderer& r, const DisplayObject& obj, const raster::Matrix& world,
                    const raster::ColorTransform& c, bool defining, long& edgeBudget) const;
    // DrawObject with its opaque background and scroll rectangle, when it has them.
    void DrawPlaced(raster::Renderer& r, const DisplayObject& obj, const raster::Matrix& world,
                    const raster::ColorTransform& c, bool defining, long& edgeBudget) const;
    std::shared_ptr<Instance> Instantiate(Instance& parent, const Character* ch);
    std::shared_ptr<Instance> InstantiateField(Instance& parent, text::EditTextDef def, const ShapeCharacter* laidOut);
    void UpdateFields();  // bound variables shown, changed fields laid out again
    void FinishLoads();   // files asked for by loadMovie take their clips' place
    text::TextContext TextContextFor() const {
        return {def_.fonts.get(), def_.deviceFonts.get(), def_.version, nullptr};
    }
    void Advance(Instance& inst);
    void RunActions(const std::shared_ptr<Instance>& origin, std::span<const uint8_t> actions);
    // A fresh script-made object at `depth` (what stood there unloaded and gone), or null when the
    // depth is out of range or the tree is full.
    DisplayObject* ScriptSlot(Instance& parent, int32_t depth, const Character* ch, const std::string& name);
    void BindClass(const std::shared_ptr<Instance>& clip);  // a placed symbol's registered class
    // A clip leaving the tree: its unload handlers run once the change is done (RunRetired), so
    // they never run while a display list is being changed.
    void Retire(DisplayObject&& obj);
    void RunRetired();
    DisplayObject* PlacementOf(const Instance& inst);
    bool IsTop(const Instance& inst) const;  // the root or a level's timeline
    const DisplayObject* PlacementOf(const Instance& inst) const { return const_cast<Stage*>(this)->PlacementOf(inst); }
    // The matrix from the instance's space to the stage's (twips), the root's own one included.
    raster::Matrix StageMatrix(const Instance& inst) const;
    void AfterFrame();  // timers, the actions they queued, and the collector
    void EnterFrame();  // onEnterFrame handlers of every clip that has one
    void RenderList(raster::Renderer& r, const Instance& inst, const raster::Matrix& m,
                    const raster::ColorTransform& cx, bool clipDefinition, long& edgeBudget) const;

    struct QueuedAction {
        std::weak_ptr<Instance> target;
        std::span<const uint8_t> actions;
    };

    class Host;
    friend class Host;

    const MovieDefinition& def_;
    ScriptEnv env_;
    DisplayObject rootObject_;  // the root's own properties (_x, _alpha, ...) set by scripts
    int objects_ = 0;           // declared before root_: counts down as the tree is destroyed
    long tick_ = 0;
    long tagWork_ = 0;
    raster::Rgba background_;
    std::shared_ptr<Instance> root_;
    std::map<int, DisplayObject> levels_;  // _level1 and up; each holds its level's timeline
    std::deque<QueuedAction> queue_;
    std::set<const uint8_t*> initDone_;            // DoInitAction tags already run
    bool scripted_ = false;                        // a script has run or a clip has event handlers
    mutable raster::Matrix rootMatrix_;            // the root's own space to device pixels in the render under way
    mutable double stageScale_ = 1;                // device pixels per movie pixel in the render under way
    std::vector<std::weak_ptr<Instance>> fields_;  // every edit field made, for UpdateFields
    struct PendingLoad {
        std::weak_ptr<Instance> clip;
        std::string bytes;
    };
    std::vector<PendingLoad> pendingLoads_;
    std::vector<DisplayObject> retired_;  // left the tree; their unload handlers are still to run
    struct LoadedMovie {
        swf::SwfFile file;
        MovieDefinition definition;
    };
    std::vector<std::unique_ptr<LoadedMovie>> loaded_;  // movies loaded into clips, kept while the stage lives
    size_t loadedBytes_ = 0;
    uint32_t soundGroups_ = 0;                                             // mixer groups handed to clips so far
    uint64_t streamKeys_ = 0;                                              // mixer streams handed to timelines so far
    std::vector<std::pair<std::weak_ptr<Instance>, uint64_t>> streaming_;  // timelines with a stream, and its key
    uint64_t syncClock_ = 0;  // the root stream's clock at the last TicksDue
    int syncStalls_ = 0;      // TicksDue calls since that clock last moved
    // A group as last drawn and filtered (see RenderGroup), for the display object it is keyed by.
    struct CachedGroup {
        std::weak_ptr<Instance> sprite;  // the clip it was drawn for; none for a shape
        uint64_t key = 0;                // its subtree, colour, quality and filters, hashed
        raster::Matrix shifted;          // the matrix drawn with, less the group's place
        int width = 0, height = 0;
        long edges = 0;  // the edges of the frame's budget its drawing took
        std::shared_ptr<const raster::Bitmap> pixels;
        std::vector<std::shared_ptr<const void>> pins;  // what the key names by address, kept alive
        uint64_t render = 0;                            // the last render that showed it
    };
    static constexpr size_t kGroupCacheBytes = size_t(64) << 20;  // pixels kept at most
    mutable std::unordered_map<const DisplayObject*, CachedGroup> groups_;
    mutable size_t groupBytes_ = 0;
    mutable uint64_t renders_ = 0;
    mutable long groupCacheHits_ = 0;
    std::unique_ptr<Host> host_;
    std::unique_ptr<sound::Mixer> mixer_;
    std::unique_ptr<avm1::Machine> machine_;  // after root_: freed before the tree
};

}  // namespace lumarel::engine::timeline
