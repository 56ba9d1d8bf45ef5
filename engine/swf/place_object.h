// PlaceObject, PlaceObject2 and PlaceObject3 decoded into one record: what the tag gives, each
// field present or not, so the timeline applies a placement without reading bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/raster/raster.h"
#include "engine/swf/filters.h"

namespace lumarel::engine::swf {

// onClipEvent handlers of a placed sprite: the events (the placement's flag bits) and the actions.
struct ClipAction {
    uint32_t events = 0;
    std::span<const uint8_t> actions;
};
constexpr uint32_t kClipEventLoad = 0x01, kClipEventEnterFrame = 0x02, kClipEventUnload = 0x04;
constexpr uint32_t kClipEventKeyPress = 0x20000;

struct PlaceObject {
    uint16_t depth = 0;
    // PlaceObject2/3: the object at the depth is changed (no character) or replaced (a character)
    // rather than a new one added.
    bool move = false;
    std::optional<uint16_t> characterId;
    std::optional<raster::Matrix> matrix;
    std::optional<raster::ColorTransform> cxform;
    std::optional<uint16_t> ratio;
    std::optional<std::string> name;
    std::optional<uint16_t> clipDepth;
    // PlaceObject3 only. The class name is the string an image placement or a named class carries.
    std::optional<std::string> className;
    std::optional<std::vector<Filter>> filters;  // given empty: the object's filters are cleared
    std::optional<raster::Blend> blend;          // unknown modes are Normal
    std::optional<bool> cacheAsBitmap;
    std::optional<bool> visible;
    std::optional<raster::Rgba> background;
    std::vector<ClipAction> clipActions;  // PlaceObject2/3 with CLIPACTIONS; up to the first bad record
};

// Decodes the body of a PlaceObject (code 4), PlaceObject2 (26) or PlaceObject3 (70) tag;
// `swfVersion` decides the width of the clip event flags. False, and the placement is to change
// nothing, when the fields up to the clip depth are cut short. PlaceObject3's extras after them
// read as zero when cut short, and CLIPACTIONS are then left out.
bool DecodePlaceObject(uint16_t code, std::span<const uint8_t> data, int swfVersion, PlaceObject& out);

}  // namespace lumarel::engine::swf
