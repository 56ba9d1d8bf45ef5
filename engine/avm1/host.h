// What the script machine needs from the rest of the player: the display tree (through opaque
// clip handles), the clock, randomness and where trace() and fscommand go. The machine reaches
// display objects only through this, so the timeline and the renderer never depend on it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/avm1/canvas.h"
#include "engine/avm1/value.h"

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
    virtual Clip Parent(const Clip& c) = 0;
    virtual Clip Child(const Clip& c, const std::string& name) = 0;  // a named child, or null
    virtual bool IsClip(const Clip& c) = 0;                          // still on the display tree
    virtual Value GetProperty(const Clip& c, ClipProp p) = 0;
    virtual void SetProperty(const Clip& c, ClipProp p, const Value& v) = 0;
    // Frames are 0-based; a frame past the end goes to the last one.
    virtual void GotoFrame(const Clip& c, int frame, bool play) = 0;
    virtual bool GotoLabel(const Clip& c, const std::string& label, bool play) = 0;
    virtual void SetPlaying(const Clip& c, bool playing) = 0;
    virtual std::string TargetPath(const Clip& c) = 0;  // "_level0.a.b"
    // The script object bound to the clip (created by the machine on first use; kept alive by it).
    virtual Object*& ScriptObject(const Clip& c) = 0;
    // The clip's drawing layer, made on first use; null when the clip cannot draw.
    virtual Canvas* CanvasOf(const Clip& /*c*/) { return nullptr; }

    virtual double Milliseconds() = 0;  // since the movie started
    // Wall-clock time for Date: milliseconds since 1970 (UTC), and the local time zone's offset
    // from UTC in milliseconds at a given UTC time (east positive).
    virtual double UtcNow() { return 946684800000.0 + Milliseconds(); }  // 2000-01-01 00:00 UTC on
    virtual double LocalOffset(double /*utc*/) { return 0; }
    virtual uint32_t Random() = 0;  // uniformly distributed 32-bit values
    virtual void Trace(const std::string& line) = 0;
    virtual void FsCommand(const std::string& command, const std::string& args) = 0;
};

}  // namespace lumarel::engine::avm1
