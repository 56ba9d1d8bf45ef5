// The movie's frame size, read straight from the SWF header: the frame rectangle that follows
// the fixed eight-byte header, in twips (20 to a pixel).
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/platform.h"

namespace lumarel::saver {

// The 17 bytes after the eight-byte file header (file offsets 8..24 of an uncompressed movie): room for the largest
// rectangle (5 + 4 x 31 bits).
using SwfRectBytes = std::array<std::uint8_t, 17>;

// A file could not be opened or read; the message is the text the user sees.
class FileError : public platform::UserError {
public:
    using platform::UserError::UserError;
};

// "ファイル <path> は開けません"
class FileOpenError : public FileError {
public:
    explicit FileOpenError(const std::string& path);
};

// "ストリームからの読み込みエラー"
class StreamReadError : public FileError {
public:
    StreamReadError();
};

// Opens `path` for reading while others may read but not write it, reads the 17 bytes from
// offset 8 and closes the file again. A compressed movie (zlib, and LZMA where the build has
// it) gives the first 17 bytes of its decompressed stream instead. Throws FileOpenError when
// the file cannot be opened and StreamReadError when fewer than 17 bytes follow offset 8 (or a
// compressed stream is too short or corrupt to yield them); the file is closed in either case.
// Nothing else is checked: any other 17 bytes yield two sizes.
SwfRectBytes ReadSwfFrameRect(const std::string& path);

// Xmax and Ymax of the rectangle (not the differences to Xmin, Ymin), divided by 20, truncating.
int SwfFrameWidth(const SwfRectBytes& rect);
int SwfFrameHeight(const SwfRectBytes& rect);

}  // namespace lumarel::saver
