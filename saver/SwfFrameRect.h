// The movie's frame size, read straight from the SWF header: the frame rectangle that follows
// the fixed eight-byte header, in twips (20 to a pixel).
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace lumarel::saver {

// The 17 file bytes at offsets 8..24: room for the largest rectangle (5 + 4 x 31 bits).
using SwfRectBytes = std::array<std::uint8_t, 17>;

// A file could not be opened or read; the message is the text the user sees.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
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
// offset 8 and closes the file again. Throws FileOpenError when the file cannot be opened and
// StreamReadError when fewer than 17 bytes follow offset 8; the file is closed in either case.
// Nothing else is checked: a compressed movie yields whatever its bytes happen to encode.
SwfRectBytes ReadSwfFrameRect(const std::string& path);

// Xmax and Ymax of the rectangle (not the differences to Xmin, Ymin), divided by 20, truncating.
int SwfFrameWidth(const SwfRectBytes& rect);
int SwfFrameHeight(const SwfRectBytes& rect);

}  // namespace lumarel::saver
