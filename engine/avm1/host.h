// What the script machine needs from the rest of the player: the display tree (through opaque
// clip handles), the clock, randomness and where trace() and fscommand go. The machine reaches
// display objects only through this, so the timeline and the renderer never depend on it.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "engine/avm1/canvas.h"
#include "engine/avm1/value.h"
#include "engine/swf/filters.h"

namespace lumarel::engine::avm1 {

// A display object as the host knows it; null or expired when the clip is gone.
using Clip = std::shared_ptr<void>;

// Properties by the index GetProperty/SetProperty use.
enum class ClipProp : int {
    X = 0,
    Y,
    XScale,
    YScale,
    CurrentFrame,
    TotalFrames,
    Alpha,
    Visible,
    Width,
    Height,
    Rotation,
    Target,
    FramesLoaded,
    Name,
    DropTarget,
    Url,
    HighQuality,
    FocusRect,
    SoundBufTime,
    Quality,
    XMouse,
    YMouse,
    Count
};
// A clip property index from a name such as "_x" (case-insensitive), or -1.
int ClipPropIndex(const std::string& name);

class Host {
public:
    virtual ~Host() = default;

    virtual Clip Root() = 0;
    // _levelN (0: the root): null when no movie stands there and `create` is false.
    virtual Clip Level(int n, bool /*create*/) { return n == 0 ? Root() : nullptr; }
    virtual void RemoveLevel(int /*n*/) {}
    virtual Clip Parent(const Clip& c) = 0;
    virtual Clip Child(const Clip& c, const std::string& name) = 0;  // a named child, or null
    virtual bool IsClip(const Clip& c) = 0;                          // still on the display tree
    virtual Value GetProperty(const Clip& c, ClipProp p) = 0;
    virtual void SetProperty(const Clip& c, ClipProp p, const Value& v) = 0;
    // Frames are 0-based; a frame past the end goes to the last one.
    virtual void GotoFrame(const Clip& c, int frame, bool play) = 0;
    virtual bool GotoLabel(const Clip& c, const std::string& label, bool play) = 0;
    virtual void SetPlaying(const Clip& c, bool playing) = 0;
    // call(): runs the actions of a frame (a number from 1 or a label) without going there.
    virtual void CallFrame(const Clip& /*c*/, const std::string& /*frame*/) {}
    virtual std::string TargetPath(const Clip& c) = 0;  // "_level0.a.b"
    // The script object bound to the clip (created by the machine on first use; kept alive by it).
    virtual Object*& ScriptObject(const Clip& c) = 0;
    // Clips made and arranged by scripts. Depths are as scripts see them: timeline objects sit at
    // -16383 and up, script-made clips at 0..1048575. A new clip replaces what stood at its depth.
    // `symbol` is an exported linkage name; empty makes an empty clip.
    virtual Clip CreateClip(const Clip& /*parent*/, const std::string& /*symbol*/, const std::string& /*name*/,
                            int /*depth*/) {
        return nullptr;
    }
    virtual Clip DuplicateClip(const Clip& /*c*/, const std::string& /*name*/, int /*depth*/) { return nullptr; }
    virtual bool RemoveClip(const Clip& /*c*/) { return false; }
    virtual bool Depth(const Clip& /*c*/, int& /*depth*/) { return false; }
    virtual void SwapDepths(const Clip& /*c*/, int /*depth*/) {}
    virtual Clip AtDepth(const Clip& /*parent*/, int /*depth*/) { return nullptr; }
    virtual int NextHighestDepth(const Clip& /*parent*/) { return 0; }
    // The exported linkage name of the clip's symbol, or empty.
    virtual std::string Symbol(const Clip& /*c*/) { return ""; }
    // The clip's bounds in `space`'s coordinates (pixels); false when it shows nothing.
    struct Rect {
        double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    };
    virtual bool Bounds(const Clip& /*c*/, const Clip& /*space*/, Rect& /*out*/) { return false; }
    // A point from the clip's coordinates to the stage's (pixels), or back.
    virtual void LocalToGlobal(const Clip& /*c*/, double& /*x*/, double& /*y*/) {}
    virtual void GlobalToLocal(const Clip& /*c*/, double& /*x*/, double& /*y*/) {}
    // Whether the stage point (pixels) lies inside the clip's shapes (not just its bounds).
    virtual bool HitShape(const Clip& /*c*/, double /*x*/, double /*y*/) { return false; }

    // The clip's matrix (twips) and colour transform, its own or concatenated up to the stage.
    virtual bool GetMatrix(const Clip& /*c*/, bool /*concatenated*/, raster::Matrix& /*out*/) { return false; }
    virtual void SetMatrix(const Clip& /*c*/, const raster::Matrix& /*m*/) {}
    virtual bool GetColor(const Clip& /*c*/, bool /*concatenated*/, raster::ColorTransform& /*out*/) { return false; }
    virtual void SetColor(const Clip& /*c*/, const raster::ColorTransform& /*cx*/) {}

    // Text fields: display objects scripts reach like clips, with their own properties.
    virtual bool IsTextField(const Clip& /*c*/) { return false; }
    virtual bool IsButton(const Clip& /*c*/) { return false; }
    // How much room text takes in a format (TextFormat.getTextExtent), in pixels; wrapped at
    // `wrapWidth` when it is positive.
    struct TextMeasure {
        std::string face;
        double size = 12;
        bool bold = false, italic = false;
        double width = 0, height = 0, ascent = 0, descent = 0;
    };
    virtual bool MeasureText(const std::string& /*text*/, double /*wrapWidth*/, TextMeasure& /*m*/) { return false; }
    virtual Clip CreateTextField(const Clip& /*parent*/, const std::string& /*name*/, int /*depth*/, double /*x*/,
                                 double /*y*/, double /*width*/, double /*height*/) {
        return nullptr;
    }
    // A field's property by its script name ("text", "textWidth", ...); undefined when it has
    // none. Set returns false for names it does not know.
    virtual Value FieldGet(const Clip& /*c*/, const std::string& /*name*/) { return Value(); }
    virtual bool FieldSet(const Clip& /*c*/, const std::string& /*name*/, const Value& /*v*/) { return false; }
    // An entry of the text format ("size", "color", ...) of the field's characters [begin, end)
    // (0, kWholeField: the field's own); null where the characters differ.
    static constexpr size_t kWholeField = ~size_t(0);
    virtual Value FormatGet(const Clip& /*c*/, size_t /*begin*/, size_t /*end*/, const std::string& /*k*/) {
        return Value();
    }
    virtual bool FormatSet(const Clip& /*c*/, size_t /*begin*/, size_t /*end*/, const std::string& /*k*/,
                           const Value& /*v*/) {
        return false;
    }

    // Flash 8 display settings: the blend mode as SWF numbers it (1 normal .. 14 hardlight) and
    // the bitmap-caching flag.
    virtual int BlendMode(const Clip& /*c*/) { return 1; }
    virtual void SetBlendMode(const Clip& /*c*/, int /*mode*/) {}
    virtual void SetFilters(const Clip& /*c*/, std::vector<swf::Filter> /*filters*/) {}
    // setMask: `mask`'s shapes show only that part of the clip, and `mask` is not drawn itself
    // (null: no mask).
    virtual void SetMask(const Clip& /*c*/, const Clip& /*mask*/) {}
    // scrollRect (pixels in the clip's space; null: none) and opaqueBackground (0xRRGGBB; null: none).
    virtual void SetScrollRect(const Clip& /*c*/, const Rect* /*r*/) {}
    // scale9Grid (pixels, in the clip's space); null: none.
    virtual void SetScale9Grid(const Clip& /*c*/, const Rect* /*r*/) {}
    virtual void SetOpaqueBackground(const Clip& /*c*/, const uint32_t* /*rgb*/) {}
    virtual bool CacheAsBitmap(const Clip& /*c*/) { return false; }
    virtual void SetCacheAsBitmap(const Clip& /*c*/, bool /*on*/) {}

    // Bitmaps made by scripts (BitmapData). DrawClip draws the clip as it shows now into `into`
    // under `m` (the clip's twips to the bitmap's pixels) and `cx`, over what is there.
    virtual void DrawClip(const Clip& /*c*/, raster::Bitmap& /*into*/, const raster::Matrix& /*m*/,
                          const raster::ColorTransform& /*cx*/, bool /*smooth*/) {}
    // A bitmap of the movie's library by linkage name (BitmapData.loadBitmap); null when none.
    virtual std::shared_ptr<const raster::Bitmap> LibraryBitmap(const std::string& /*name*/) { return nullptr; }
    // attachBitmap: the clip shows `bitmap` at `depth` (script depths); later changes to the
    // pixels show too.
    virtual bool AttachBitmap(const Clip& /*c*/, std::shared_ptr<const raster::Bitmap> /*bitmap*/, int /*depth*/,
                              bool /*smooth*/) {
        return false;
    }
    // loadMovie: a local SWF or image replaces the clip's contents on a later frame (false when
    // the file cannot be read); unloadMovie empties the clip.
    virtual bool LoadMovie(const Clip& /*c*/, const std::string& /*url*/) { return false; }
    virtual void UnloadMovie(const Clip& /*c*/) {}
    // The bytes of a local file named relative to the movie (XML.load, LoadVars.load); false
    // when it cannot be read, is outside the movie's folder or is no local file at all.
    virtual bool ReadFile(const std::string& /*url*/, std::string& /*out*/) { return false; }
    // Stored shared-object records (SharedObject), named "<path>/<object name>": a record's bytes,
    // or false when there is none; saving no bytes removes the record. False when nothing can be
    // read or stored. MovieName is the path a movie's objects are kept under unless it names one.
    virtual bool LoadShared(const std::string& /*name*/, std::vector<uint8_t>& /*out*/) { return false; }
    virtual bool SaveShared(const std::string& /*name*/, std::span<const uint8_t> /*bytes*/) { return false; }
    virtual std::string MovieName() { return ""; }

    // Sound objects. A group is the sound of one clip (made on first use); group 0 is the
    // movie's whole sound. A library sound (by linkage name) starts `offset` seconds in and
    // plays `loops` times; stopping with no name stops all of a group's sounds.
    virtual uint32_t SoundGroup(const Clip& /*c*/) { return 0; }
    virtual bool StartLibrarySound(const std::string& /*linkage*/, double /*offset*/, int /*loops*/,
                                   uint32_t /*group*/) {
        return false;
    }
    virtual void StopSounds(uint32_t /*group*/, const std::string& /*linkage*/) {}
    // Volume and the channel mix (percent: left to left, left to right, right to right, right to left).
    virtual void SetSoundTransform(uint32_t /*group*/, int /*volume*/, int /*ll*/, int /*lr*/, int /*rr*/, int /*rl*/) {
    }

    // The clip's drawing layer, made on first use; null when the clip cannot draw.
    virtual Canvas* CanvasOf(const Clip& /*c*/) { return nullptr; }

    virtual double Milliseconds() = 0;  // since the movie started
    // Wall-clock time for Date: milliseconds since 1970 (UTC), and the local time zone's offset
    // from UTC in milliseconds at a given UTC time (east positive).
    virtual double UtcNow() { return 946684800000.0 + Milliseconds(); }  // 2000-01-01 00:00 UTC on
    virtual double LocalOffset(double /*utc*/) { return 0; }
    // The movie's stage size in pixels (Stage.width, Stage.height: the scale mode shows all).
    virtual double StageWidth() { return 550; }
    virtual double StageHeight() { return 400; }
    virtual uint32_t Random() = 0;  // uniformly distributed 32-bit values
    virtual void Trace(const std::string& line) = 0;
    virtual void FsCommand(const std::string& command, const std::string& args) = 0;
};

}  // namespace lumarel::engine::avm1
