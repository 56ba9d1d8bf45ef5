#include "engine/swf/swf_file.h"

#include <algorithm>
#include <cstring>

#include "engine/swf/bit_reader.h"
#include "engine/swf/inflate.h"

namespace lumarel::engine::swf {

const char* CompressionName(Compression c) {
    switch (c) {
        case Compression::None:
            return "none (FWS)";
        case Compression::Zlib:
            return "zlib (CWS)";
        case Compression::Lzma:
            return "LZMA (ZWS)";
    }
    return "?";
}

namespace {

// Inflates a zlib stream into out, producing at most `limit` bytes: a stream that would expand
// further is cut there, and one that breaks off gives what it held up to there.
bool Inflate(std::span<const uint8_t> in, size_t limit, std::vector<uint8_t>& out, std::string& error) {
    out.clear();
    ZInflater z;
    if (!z.Ok()) {
        error = "zlib initialisation failed";
        return false;
    }
    if (InflateBounded(z, in, limit, &out).status == InflateStatus::Error) {
        error = std::string("corrupt zlib data (") + (z.Message() ? z.Message() : "inflate error") + ")";
        return false;
    }
    return true;
}

#if defined(LUMAREL_HAVE_LZMA)
// SWF's LZMA body: 5 property bytes then the raw stream, without the 8-byte size field of the
// ".lzma" container. The size goes in as unknown (the SWF header's is only a hint), so the
// stream decodes up to its end marker or its last byte; at most `limit` bytes come out. The
// output buffer grows as data arrives, as for zlib.
bool InflateLzma(std::span<const uint8_t> props, std::span<const uint8_t> in, size_t limit, std::vector<uint8_t>& out,
                 std::string& error) {
    uint8_t hdr[13];
    std::memcpy(hdr, props.data(), 5);
    std::memset(hdr + 5, 0xFF, 8);
    LzmaDecoder decoder(uint64_t(256) << 20);
    lzma_stream& ls = decoder.Stream();
    if (!decoder.Ok()) {
        error = "LZMA initialisation failed";
        return false;
    }
    size_t produced = 0;
    out.resize(std::min(limit, std::max<size_t>(size_t(64) << 10, in.size() * 4)));
    ls.next_in = hdr;
    ls.avail_in = sizeof hdr;
    bool headerDone = false;
    lzma_ret rc = LZMA_OK;
    while (rc == LZMA_OK && produced < limit) {
        if (produced == out.size()) out.resize(std::min(limit, out.size() * 2));
        if (!headerDone && ls.avail_in == 0) {
            headerDone = true;
            ls.next_in = in.data();
            ls.avail_in = in.size();
        }
        ls.next_out = out.data() + produced;
        ls.avail_out = out.size() - produced;
        const size_t before = ls.avail_in + ls.avail_out;
        rc = lzma_code(&ls, headerDone && ls.avail_in == 0 ? LZMA_FINISH : LZMA_RUN);
        produced = out.size() - ls.avail_out;
        if (rc == LZMA_OK && ls.avail_in + ls.avail_out == before) break;  // no progress
    }
    out.resize(produced);
    if (rc != LZMA_OK && rc != LZMA_STREAM_END && rc != LZMA_BUF_ERROR) {
        error = rc == LZMA_MEMLIMIT_ERROR ? "LZMA dictionary too large" : "corrupt LZMA data";
        return false;
    }
    return true;
}
#endif

}  // namespace

bool ParseTags(std::span<const uint8_t> data, size_t baseOffset, std::vector<Tag>& tags, bool& sawEnd,
               std::string& error) {
    sawEnd = false;
    size_t pos = 0;
    while (pos < data.size()) {
        if (data.size() - pos < 2) {
            error = "tag header cut short at offset " + std::to_string(baseOffset + pos);
            return false;
        }
        const uint16_t codeAndLength = static_cast<uint16_t>(data[pos] | (data[pos + 1] << 8));
        const size_t start = pos;
        pos += 2;
        const uint16_t code = codeAndLength >> 6;
        size_t length = codeAndLength & 0x3F;
        if (length == 0x3F) {
            if (data.size() - pos < 4) {
                error = "long tag header cut short at offset " + std::to_string(baseOffset + start);
                return false;
            }
            length = static_cast<size_t>(data[pos]) | (static_cast<size_t>(data[pos + 1]) << 8) |
                     (static_cast<size_t>(data[pos + 2]) << 16) | (static_cast<size_t>(data[pos + 3]) << 24);
            pos += 4;
        }
        if (length > data.size() - pos) {
            error = TagName(code) + " tag at offset " + std::to_string(baseOffset + start) + " declares " +
                    std::to_string(length) + " bytes but only " + std::to_string(data.size() - pos) + " remain";
            return false;
        }
        if (code == tag::End) {
            sawEnd = true;
            return true;
        }
        tags.push_back(Tag{code, baseOffset + start, data.subspan(pos, length)});
        pos += length;
    }
    return true;
}

namespace {

bool CheckSignature(std::span<const uint8_t> file, Compression& compression, std::string& error) {
    if (file.size() < 8) {
        error = "file too short for a SWF header (" + std::to_string(file.size()) + " bytes)";
        return false;
    }
    const uint8_t sig0 = file[0];
    if (file[1] != 'W' || file[2] != 'S' || (sig0 != 'F' && sig0 != 'C' && sig0 != 'Z')) {
        error = "not a SWF file (bad signature)";
        return false;
    }
    compression = sig0 == 'F' ? Compression::None : sig0 == 'C' ? Compression::Zlib : Compression::Lzma;
    return true;
}

// The body (the movie after its eight-byte file header), decompressed: what the bytes hold, at
// most `limit` bytes. A stream that breaks off gives what it held up to there.
bool DecodeBody(std::span<const uint8_t> file, Compression compression, size_t limit, std::vector<uint8_t>& body,
                std::string& error) {
    switch (compression) {
        case Compression::None: {
            const size_t present = std::min(limit, file.size() - 8);
            body.assign(file.begin() + 8, file.begin() + 8 + static_cast<std::ptrdiff_t>(present));
            return true;
        }
        case Compression::Zlib:
            return Inflate(file.subspan(8), limit, body, error);
        case Compression::Lzma: {
#if defined(LUMAREL_HAVE_LZMA)
            // ZWS layout: "ZWS", version, uncompressed length (4), compressed length (4), LZMA
            // properties (5), raw LZMA data. The compressed length is a hint as well.
            if (file.size() < 17) {
                error = "file too short for an LZMA SWF header";
                return false;
            }
            const size_t packed = static_cast<size_t>(file[8]) | (static_cast<size_t>(file[9]) << 8) |
                                  (static_cast<size_t>(file[10]) << 16) | (static_cast<size_t>(file[11]) << 24);
            return InflateLzma(file.subspan(12, 5), file.subspan(17, std::min(packed, file.size() - 17)), limit, body,
                               error);
#else
            error = "LZMA-compressed (ZWS) movies are not supported in this build";
            return false;
#endif
        }
    }
    return false;
}

}  // namespace

bool LzmaSupported() {
#if defined(LUMAREL_HAVE_LZMA)
    return true;
#else
    return false;
#endif
}

bool ReadBodyPrefix(std::span<const uint8_t> file, size_t count, std::vector<uint8_t>& out, std::string& error) {
    out.clear();
    Compression compression = Compression::None;
    return CheckSignature(file, compression, error) && DecodeBody(file, compression, count, out, error);
}

bool DecodeSwf(std::span<const uint8_t> file, SwfFile& out, std::string& error) {
    out = SwfFile{};
    Header& h = out.header;
    if (!CheckSignature(file, h.compression, error)) return false;
    h.version = file[3];
    h.declaredLength = static_cast<uint32_t>(file[4]) | (static_cast<uint32_t>(file[5]) << 8) |
                       (static_cast<uint32_t>(file[6]) << 16) | (static_cast<uint32_t>(file[7]) << 24);
    // The declared length is a hint, not a verdict: streaming writers often put a guess there
    // (or the maximum). The body is what the bytes hold, up to the declared length where that
    // is shorter, never more than kMaxBodyBytes; the tag stream then decides what is usable.
    const size_t declaredBody = h.declaredLength >= 8 ? h.declaredLength - 8u : kMaxBodyBytes;
    if (!DecodeBody(file, h.compression, std::min(declaredBody, kMaxBodyBytes), out.body, error)) return false;

    BitReader r(out.body);
    const unsigned nbits = r.Ub(5);
    h.xmin = r.Sb(nbits);
    h.xmax = r.Sb(nbits);
    h.ymin = r.Sb(nbits);
    h.ymax = r.Sb(nbits);
    r.Align();
    const uint16_t rate = r.U16();
    h.frameCount = r.U16();
    if (!r.Ok()) {
        error = "movie header truncated";
        return false;
    }
    h.headerFrameRate = rate / 256.0;
    h.frameRate = rate == 0 ? kDefaultFrameRate : h.headerFrameRate;
    const size_t tagsAt = r.Pos();
    return ParseTags(std::span<const uint8_t>(out.body).subspan(tagsAt), tagsAt + 8, out.tags, out.sawEnd, error);
}

std::string TagName(uint16_t code) {
    switch (code) {
#define LUMAREL_TAG_NAME(n) \
    case tag::n:            \
        return #n;
        LUMAREL_TAG_NAME(End)
        LUMAREL_TAG_NAME(ShowFrame)
        LUMAREL_TAG_NAME(DefineShape)
        LUMAREL_TAG_NAME(PlaceObject)
        LUMAREL_TAG_NAME(RemoveObject)
        LUMAREL_TAG_NAME(DefineBits)
        LUMAREL_TAG_NAME(DefineButton)
        LUMAREL_TAG_NAME(JPEGTables)
        LUMAREL_TAG_NAME(SetBackgroundColor)
        LUMAREL_TAG_NAME(DefineFont)
        LUMAREL_TAG_NAME(DefineText)
        LUMAREL_TAG_NAME(DoAction)
        LUMAREL_TAG_NAME(DefineFontInfo)
        LUMAREL_TAG_NAME(DefineSound)
        LUMAREL_TAG_NAME(StartSound)
        LUMAREL_TAG_NAME(DefineButtonSound)
        LUMAREL_TAG_NAME(SoundStreamHead)
        LUMAREL_TAG_NAME(SoundStreamBlock)
        LUMAREL_TAG_NAME(DefineBitsLossless)
        LUMAREL_TAG_NAME(DefineBitsJPEG2)
        LUMAREL_TAG_NAME(DefineShape2)
        LUMAREL_TAG_NAME(DefineButtonCxform)
        LUMAREL_TAG_NAME(Protect)
        LUMAREL_TAG_NAME(PlaceObject2)
        LUMAREL_TAG_NAME(RemoveObject2)
        LUMAREL_TAG_NAME(DefineShape3)
        LUMAREL_TAG_NAME(DefineText2)
        LUMAREL_TAG_NAME(DefineButton2)
        LUMAREL_TAG_NAME(DefineBitsJPEG3)
        LUMAREL_TAG_NAME(DefineBitsLossless2)
        LUMAREL_TAG_NAME(DefineEditText)
        LUMAREL_TAG_NAME(DefineSprite)
        LUMAREL_TAG_NAME(ProductInfo)
        LUMAREL_TAG_NAME(FrameLabel)
        LUMAREL_TAG_NAME(SoundStreamHead2)
        LUMAREL_TAG_NAME(DefineMorphShape)
        LUMAREL_TAG_NAME(DefineFont2)
        LUMAREL_TAG_NAME(ExportAssets)
        LUMAREL_TAG_NAME(ImportAssets)
        LUMAREL_TAG_NAME(EnableDebugger)
        LUMAREL_TAG_NAME(DoInitAction)
        LUMAREL_TAG_NAME(DefineVideoStream)
        LUMAREL_TAG_NAME(VideoFrame)
        LUMAREL_TAG_NAME(DefineFontInfo2)
        LUMAREL_TAG_NAME(EnableDebugger2)
        LUMAREL_TAG_NAME(ScriptLimits)
        LUMAREL_TAG_NAME(SetTabIndex)
        LUMAREL_TAG_NAME(FileAttributes)
        LUMAREL_TAG_NAME(PlaceObject3)
        LUMAREL_TAG_NAME(ImportAssets2)
        LUMAREL_TAG_NAME(DefineFontAlignZones)
        LUMAREL_TAG_NAME(CSMTextSettings)
        LUMAREL_TAG_NAME(DefineFont3)
        LUMAREL_TAG_NAME(SymbolClass)
        LUMAREL_TAG_NAME(Metadata)
        LUMAREL_TAG_NAME(DefineScalingGrid)
        LUMAREL_TAG_NAME(DoABC)
        LUMAREL_TAG_NAME(DefineShape4)
        LUMAREL_TAG_NAME(DefineMorphShape2)
        LUMAREL_TAG_NAME(DefineSceneAndFrameLabelData)
        LUMAREL_TAG_NAME(DefineBinaryData)
        LUMAREL_TAG_NAME(DefineFontName)
        LUMAREL_TAG_NAME(StartSound2)
        LUMAREL_TAG_NAME(DefineBitsJPEG4)
        LUMAREL_TAG_NAME(DefineFont4)
#undef LUMAREL_TAG_NAME
        default:
            return "Unknown(" + std::to_string(code) + ")";
    }
}

}  // namespace lumarel::engine::swf
