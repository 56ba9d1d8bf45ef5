// zlib and LZMA decoder streams held for their lifetime, and the one bounded inflate that every
// zlib reader in the engine goes through (movie bodies, bitmaps, PNG checks, screen video).
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#if defined(LUMAREL_HAVE_LZMA)
#include <lzma.h>
#endif

namespace lumarel::engine::swf {

// An inflate stream: a zlib stream, or with `raw` a bare deflate stream (no header, no check).
class ZInflater {
public:
    explicit ZInflater(bool raw = false) : ok_(inflateInit2(&z_, raw ? -MAX_WBITS : MAX_WBITS) == Z_OK) {}
    ~ZInflater() {
        if (ok_) inflateEnd(&z_);
    }
    ZInflater(const ZInflater&) = delete;
    ZInflater& operator=(const ZInflater&) = delete;

    bool Ok() const { return ok_; }  // false: zlib could not set the stream up
    // The history a raw stream goes on from. False when the stream refuses it.
    bool SetDictionary(std::span<const uint8_t> dictionary) {
        return ok_ && inflateSetDictionary(&z_, dictionary.data(), static_cast<uInt>(dictionary.size())) == Z_OK;
    }
    z_stream& Stream() { return z_; }
    const char* Message() const { return z_.msg; }  // zlib's reason for the last error, or null

private:
    z_stream z_{};
    bool ok_;
};

#if defined(LUMAREL_HAVE_LZMA)
// An ".lzma" (LZMA_Alone) decoder whose dictionary may take at most `memoryLimit` bytes.
class LzmaDecoder {
public:
    explicit LzmaDecoder(uint64_t memoryLimit) : ok_(lzma_alone_decoder(&s_, memoryLimit) == LZMA_OK) {}
    ~LzmaDecoder() { lzma_end(&s_); }
    LzmaDecoder(const LzmaDecoder&) = delete;
    LzmaDecoder& operator=(const LzmaDecoder&) = delete;

    bool Ok() const { return ok_; }
    lzma_stream& Stream() { return s_; }

private:
    lzma_stream s_ = LZMA_STREAM_INIT;
    bool ok_;
};
#endif

enum class InflateStatus {
    StreamEnd,  // the stream's end was reached
    InputEnd,   // the input ran out first: a stream cut short, or one that stops at a flush
    Limit,      // `limit` bytes came out; the stream may hold more
    Error,      // corrupt data (or a dictionary asked for); ZInflater::Message() says why
};
struct InflateResult {
    InflateStatus status = InflateStatus::StreamEnd;
    size_t produced = 0;  // bytes that came out, whatever the status
};

// Inflates `in` through `z`, appending at most `limit` bytes to `out` (null: the bytes are only
// counted). `out` grows as output arrives, so data that merely claims a large size costs little.
// The stream can be fed on with further calls (its state is in `z`).
InflateResult InflateBounded(ZInflater& z, std::span<const uint8_t> in, size_t limit, std::vector<uint8_t>* out);

// A zlib stream inflated into exactly `expected` bytes: false (and `out` empty) when it is
// corrupt or yields fewer; output beyond `expected` is never written.
bool InflateExact(std::span<const uint8_t> zdata, size_t expected, std::vector<uint8_t>& out);

}  // namespace lumarel::engine::swf
