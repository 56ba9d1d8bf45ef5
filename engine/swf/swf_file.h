// SWF container: the eight-byte file header, decompression of CWS (zlib) and ZWS (LZMA) bodies,
// the movie header (stage RECT, frame rate, frame count) and the tag stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace lumarel::engine::swf {

enum class Compression { None, Zlib, Lzma };
const char* CompressionName(Compression c);

// Largest body (the movie after its first eight bytes) this reader inflates or accepts.
constexpr size_t kMaxBodyBytes = size_t(64) << 20;

struct Tag {
    uint16_t code = 0;
    size_t offset = 0;  // offset of the tag header within the body
    std::span<const uint8_t> data;
};

// Frame rate used when the header gives 0 frames per second.
constexpr double kDefaultFrameRate = 12.0;

struct Header {
    uint8_t version = 0;
    Compression compression = Compression::None;
    uint32_t declaredLength = 0;                     // file length field (uncompressed size incl. header)
    int32_t xmin = 0, xmax = 0, ymin = 0, ymax = 0;  // stage RECT, twips
    double frameRate = kDefaultFrameRate;            // frames per second (header value, or the default for 0)
    double headerFrameRate = 0;                      // as stored (8.8)
    uint16_t frameCount = 0;                         // as stored
};

struct SwfFile {
    Header header;
    std::vector<uint8_t> body;  // decompressed bytes after the 8-byte file header
    std::vector<Tag> tags;      // top-level tags, spans into body, up to and excluding End
    bool sawEnd = false;
};

// Decodes header and tag stream. On failure returns false and sets `error` to a one-line reason.
bool DecodeSwf(std::span<const uint8_t> file, SwfFile& out, std::string& error);

// The first `count` bytes of a file's body (what follows the eight-byte file header),
// decompressed as its signature says; fewer when the file holds fewer. False with a reason for
// a file that is no SWF, corrupt compressed data, or LZMA in a build without it.
bool ReadBodyPrefix(std::span<const uint8_t> file, size_t count, std::vector<uint8_t>& out, std::string& error);

// Whether this build decodes LZMA-compressed (ZWS) movies.
bool LzmaSupported();

// Splits a tag stream (top level or a sprite's) into tags. Stops at End. Returns false with a
// reason when a tag header or body runs past the data. `sawEnd` tells whether End was seen.
bool ParseTags(std::span<const uint8_t> data, size_t baseOffset, std::vector<Tag>& tags, bool& sawEnd,
               std::string& error);

// Name of a tag code for listings ("DefineShape3", "Unknown(77)").
std::string TagName(uint16_t code);

namespace tag {
enum : uint16_t {
    End = 0,
    ShowFrame = 1,
    DefineShape = 2,
    PlaceObject = 4,
    RemoveObject = 5,
    DefineBits = 6,
    DefineButton = 7,
    JPEGTables = 8,
    SetBackgroundColor = 9,
    DefineFont = 10,
    DefineText = 11,
    DoAction = 12,
    DefineFontInfo = 13,
    DefineSound = 14,
    StartSound = 15,
    DefineButtonSound = 17,
    SoundStreamHead = 18,
    SoundStreamBlock = 19,
    DefineBitsLossless = 20,
    DefineBitsJPEG2 = 21,
    DefineShape2 = 22,
    DefineButtonCxform = 23,
    Protect = 24,
    PlaceObject2 = 26,
    RemoveObject2 = 28,
    DefineShape3 = 32,
    DefineText2 = 33,
    DefineButton2 = 34,
    DefineBitsJPEG3 = 35,
    DefineBitsLossless2 = 36,
    DefineEditText = 37,
    DefineSprite = 39,
    ProductInfo = 41,
    FrameLabel = 43,
    SoundStreamHead2 = 45,
    DefineMorphShape = 46,
    DefineFont2 = 48,
    ExportAssets = 56,
    ImportAssets = 57,
    EnableDebugger = 58,
    DoInitAction = 59,
    DefineVideoStream = 60,
    VideoFrame = 61,
    DefineFontInfo2 = 62,
    EnableDebugger2 = 64,
    ScriptLimits = 65,
    SetTabIndex = 66,
    FileAttributes = 69,
    PlaceObject3 = 70,
    ImportAssets2 = 71,
    DefineFontAlignZones = 73,
    CSMTextSettings = 74,
    DefineFont3 = 75,
    SymbolClass = 76,
    Metadata = 77,
    DefineScalingGrid = 78,
    DoABC = 82,
    DefineShape4 = 83,
    DefineMorphShape2 = 84,
    DefineSceneAndFrameLabelData = 86,
    DefineBinaryData = 87,
    DefineFontName = 88,
    StartSound2 = 89,
    DefineBitsJPEG4 = 90,
    DefineFont4 = 91,
};
}  // namespace tag

}  // namespace lumarel::engine::swf
