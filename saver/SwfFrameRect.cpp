#include "saver/SwfFrameRect.h"

#include <algorithm>
#include <vector>

#include "engine/swf/swf_file.h"
#include "platform/platform.h"

namespace lumarel::saver {

namespace {

namespace pf = lumarel::platform;

constexpr std::ptrdiff_t kRectOffset = 8;
// Bytes read from the start of a file. 17 bytes of rectangle come out of far fewer compressed
// bytes, but a zlib stream may open with a block of Huffman tables first.
constexpr std::size_t kHeadBytes = 64 * 1024;

class FileGuard {
public:
    FileGuard(pf::FileSystem& files, pf::FileHandle handle) : files_(files), handle_(handle) {}
    ~FileGuard() { files_.Close(handle_); }
    FileGuard(const FileGuard&) = delete;
    FileGuard& operator=(const FileGuard&) = delete;

private:
    pf::FileSystem& files_;
    pf::FileHandle handle_;
};

int FieldWidth(const SwfRectBytes& rect) { return rect[0] >> 3; }

// `count` bits (at most 31) from bit position `first`, most significant first; position p is
// bit 7 - p % 8 of byte p / 8.
std::uint32_t UnsignedBits(const SwfRectBytes& rect, int first, int count) {
    std::uint32_t value = 0;
    for (int p = first; p < first + count; ++p) {
        const unsigned bit = (rect[static_cast<std::size_t>(p / 8)] >> (7 - p % 8)) & 1u;
        value = (value << 1) | bit;
    }
    return value;
}

}  // namespace

FileOpenError::FileOpenError(const std::string& path) : FileError("ファイル " + path + " は開けません") {}

StreamReadError::StreamReadError() : FileError("ストリームからの読み込みエラー") {}

SwfRectBytes ReadSwfFrameRect(const std::string& path) {
    pf::FileSystem* files = pf::Current().files;
    const pf::FileHandle handle = files != nullptr ? files->OpenShareRead(path) : 0;
    if (handle == 0) throw FileOpenError(path);
    FileGuard guard(*files, handle);

    // The start of the file: enough for the rectangle of any movie, compressed or not.
    std::vector<std::uint8_t> head(kHeadBytes);
    if (files->Seek(handle, 0) < 0) throw StreamReadError();
    std::size_t total = 0;
    while (total < head.size()) {
        const long wanted = static_cast<long>(head.size() - total);
        const long got = files->Read(handle, head.data() + total, wanted);
        if (got <= 0 || got > wanted) break;
        total += static_cast<std::size_t>(got);
    }
    head.resize(total);

    SwfRectBytes rect{};
    // A compressed movie (CWS; ZWS where this build decodes LZMA) keeps its rectangle in the
    // compressed stream: only as much of it is decoded as the rectangle needs.
    const bool compressed = head.size() >= 8 && head[1] == 'W' && head[2] == 'S' &&
                            (head[0] == 'C' || (head[0] == 'Z' && engine::swf::LzmaSupported()));
    if (compressed) {
        std::vector<std::uint8_t> body;
        std::string error;
        if (!engine::swf::ReadBodyPrefix(head, rect.size(), body, error) || body.size() < rect.size()) {
            throw StreamReadError();
        }
        std::copy(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(rect.size()), rect.begin());
        return rect;
    }
    if (head.size() < kRectOffset + rect.size()) throw StreamReadError();
    std::copy(head.begin() + kRectOffset, head.begin() + kRectOffset + static_cast<std::ptrdiff_t>(rect.size()),
              rect.begin());
    return rect;
}

int SwfFrameWidth(const SwfRectBytes& rect) {
    const int n = FieldWidth(rect);
    return static_cast<int>(UnsignedBits(rect, n + 5, n) / 20);
}

int SwfFrameHeight(const SwfRectBytes& rect) {
    const int n = FieldWidth(rect);
    return static_cast<int>(UnsignedBits(rect, 3 * n + 5, n) / 20);
}

}  // namespace lumarel::saver
