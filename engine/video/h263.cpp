#include "engine/video/h263.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace lumarel::engine::video {

namespace {

// Most-significant-bit-first reader; reads past the end yield zero bits and mark it overrun.
class Bits {
public:
    explicit Bits(std::span<const uint8_t> d) : data_(d) {}
    uint32_t Peek(int n) const {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            const size_t p = pos_ + size_t(i);
            const uint32_t bit = p / 8 < data_.size() ? (data_[p / 8] >> (7 - p % 8)) & 1u : 0u;
            v = (v << 1) | bit;
        }
        return v;
    }
    void Skip(int n) { pos_ += size_t(n); }
    uint32_t Read(int n) {
        const uint32_t v = Peek(n);
        Skip(n);
        return v;
    }
    int32_t ReadSigned(int n) {
        const uint32_t v = Read(n);
        const uint32_t sign = 1u << (n - 1);
        return static_cast<int32_t>(v ^ sign) - static_cast<int32_t>(sign);
    }
    bool Overrun() const { return pos_ > data_.size() * 8; }
    size_t Pos() const { return pos_; }
    void Seek(size_t p) { pos_ = p; }

private:
    std::span<const uint8_t> data_;
    size_t pos_ = 0;
};

// A prefix code, looked up by its next kMaxBits bits. Codes are given as (bits, length, value).
struct Code {
    uint16_t bits;
    uint8_t length;
    int16_t value;
};
template <int kMaxBits>
class Vlc {
public:
    explicit Vlc(std::span<const Code> codes) {
        table_.fill({0, -1});
        for (const Code& c : codes) {
            const int spare = kMaxBits - c.length;
            const uint32_t first = uint32_t(c.bits) << spare;
            for (uint32_t i = 0; i < (1u << spare); ++i) table_[first + i] = {c.length, c.value};
        }
    }
    // The value of the next code, or -1 (nothing read) when the bits are no code.
    int Read(Bits& b) const {
        const Entry& e = table_[b.Peek(kMaxBits)];
        if (e.value < 0) return -1;
        b.Skip(e.length);
        return e.value;
    }

private:
    struct Entry {
        uint8_t length;
        int16_t value;
    };
    std::array<Entry, (1u << kMaxBits)> table_;
};

// ITU-T H.263 table 7: MCBPC of intra pictures, value = type * 4 + CBPC (20: stuffing).
constexpr Code kMcbpcIntra[] = {{0b1, 1, 12},      {0b001, 3, 13},    {0b010, 3, 14},
                                {0b011, 3, 15},    {0b0001, 4, 16},   {0b000001, 6, 17},
                                {0b000010, 6, 18}, {0b000011, 6, 19}, {0b000000001, 9, 20}};
// Table 8: MCBPC of inter pictures, the same values (types 0 inter, 1 inter+Q, 2 inter 4V,
// 3 intra, 4 intra+Q).
constexpr Code kMcbpcInter[] = {{0b1, 1, 0},         {0b0011, 4, 1},       {0b0010, 4, 2},       {0b000101, 6, 3},
                                {0b011, 3, 4},       {0b0000111, 7, 5},    {0b0000110, 7, 6},    {0b000000101, 9, 7},
                                {0b010, 3, 8},       {0b0000101, 7, 9},    {0b0000100, 7, 10},   {0b00000101, 8, 11},
                                {0b00011, 5, 12},    {0b00000100, 8, 13},  {0b00000011, 8, 14},  {0b0000011, 7, 15},
                                {0b000100, 6, 16},   {0b000000100, 9, 17}, {0b000000011, 9, 18}, {0b000000010, 9, 19},
                                {0b000000001, 9, 20}};
// Table 12: CBPY as intra macroblocks code it (inter ones invert it); bit 3 is the first block.
constexpr Code kCbpy[] = {{0b0011, 4, 0},  {0b00101, 5, 1},  {0b00100, 5, 2},  {0b1001, 4, 3},
                          {0b00011, 5, 4}, {0b0111, 4, 5},   {0b000010, 6, 6}, {0b1011, 4, 7},
                          {0b00010, 5, 8}, {0b000011, 6, 9}, {0b0101, 4, 10},  {0b1010, 4, 11},
                          {0b0100, 4, 12}, {0b1000, 4, 13},  {0b0110, 4, 14},  {0b11, 2, 15}};
// Table 14: motion vector differences by magnitude in half pixels (a sign bit follows all but 0).
constexpr Code kMvd[] = {{0b1, 1, 0},
                         {0b01, 2, 1},
                         {0b001, 3, 2},
                         {0b0001, 4, 3},
                         {0b000011, 6, 4},
                         {0b0000101, 7, 5},
                         {0b0000100, 7, 6},
                         {0b0000011, 7, 7},
                         {0b000001011, 9, 8},
                         {0b000001010, 9, 9},
                         {0b000001001, 9, 10},
                         {0b0000010001, 10, 11},
                         {0b0000010000, 10, 12},
                         {0b0000001111, 10, 13},
                         {0b0000001110, 10, 14},
                         {0b0000001101, 10, 15},
                         {0b0000001100, 10, 16},
                         {0b0000001011, 10, 17},
                         {0b0000001010, 10, 18},
                         {0b0000001001, 10, 19},
                         {0b0000001000, 10, 20},
                         {0b0000000111, 10, 21},
                         {0b0000000110, 10, 22},
                         {0b0000000101, 10, 23},
                         {0b0000000100, 10, 24},
                         {0b00000000111, 11, 25},
                         {0b00000000110, 11, 26},
                         {0b00000000101, 11, 27},
                         {0b00000000100, 11, 28},
                         {0b00000000011, 11, 29},
                         {0b00000000010, 11, 30},
                         {0b000000000011, 12, 31},
                         {0b000000000010, 12, 32}};

// Table 16: transform coefficient events; value = last * 4096 + run * 64 + level (a sign bit
// follows), and kEscape for the escape code.
constexpr int kEscape = 8191;
constexpr int Ev(int last, int run, int level) { return last * 4096 + run * 64 + level; }
constexpr Code kTcoef[] = {{0b10, 2, Ev(0, 0, 1)},
                           {0b1111, 4, Ev(0, 0, 2)},
                           {0b010101, 6, Ev(0, 0, 3)},
                           {0b0010111, 7, Ev(0, 0, 4)},
                           {0b00011111, 8, Ev(0, 0, 5)},
                           {0b000100101, 9, Ev(0, 0, 6)},
                           {0b000100100, 9, Ev(0, 0, 7)},
                           {0b0000100001, 10, Ev(0, 0, 8)},
                           {0b0000100000, 10, Ev(0, 0, 9)},
                           {0b00000000111, 11, Ev(0, 0, 10)},
                           {0b00000000110, 11, Ev(0, 0, 11)},
                           {0b00000100000, 11, Ev(0, 0, 12)},
                           {0b110, 3, Ev(0, 1, 1)},
                           {0b010100, 6, Ev(0, 1, 2)},
                           {0b00011110, 8, Ev(0, 1, 3)},
                           {0b0000001111, 10, Ev(0, 1, 4)},
                           {0b00000100001, 11, Ev(0, 1, 5)},
                           {0b000001010000, 12, Ev(0, 1, 6)},
                           {0b1110, 4, Ev(0, 2, 1)},
                           {0b00011101, 8, Ev(0, 2, 2)},
                           {0b0000001110, 10, Ev(0, 2, 3)},
                           {0b000001010001, 12, Ev(0, 2, 4)},
                           {0b01101, 5, Ev(0, 3, 1)},
                           {0b000100011, 9, Ev(0, 3, 2)},
                           {0b0000001101, 10, Ev(0, 3, 3)},
                           {0b01100, 5, Ev(0, 4, 1)},
                           {0b000100010, 9, Ev(0, 4, 2)},
                           {0b000001010010, 12, Ev(0, 4, 3)},
                           {0b01011, 5, Ev(0, 5, 1)},
                           {0b0000001100, 10, Ev(0, 5, 2)},
                           {0b000001010011, 12, Ev(0, 5, 3)},
                           {0b010011, 6, Ev(0, 6, 1)},
                           {0b0000001011, 10, Ev(0, 6, 2)},
                           {0b000001010100, 12, Ev(0, 6, 3)},
                           {0b010010, 6, Ev(0, 7, 1)},
                           {0b0000001010, 10, Ev(0, 7, 2)},
                           {0b010001, 6, Ev(0, 8, 1)},
                           {0b0000001001, 10, Ev(0, 8, 2)},
                           {0b010000, 6, Ev(0, 9, 1)},
                           {0b0000001000, 10, Ev(0, 9, 2)},
                           {0b0010110, 7, Ev(0, 10, 1)},
                           {0b000001010101, 12, Ev(0, 10, 2)},
                           {0b0010101, 7, Ev(0, 11, 1)},
                           {0b0010100, 7, Ev(0, 12, 1)},
                           {0b00011100, 8, Ev(0, 13, 1)},
                           {0b00011011, 8, Ev(0, 14, 1)},
                           {0b000100001, 9, Ev(0, 15, 1)},
                           {0b000100000, 9, Ev(0, 16, 1)},
                           {0b000011111, 9, Ev(0, 17, 1)},
                           {0b000011110, 9, Ev(0, 18, 1)},
                           {0b000011101, 9, Ev(0, 19, 1)},
                           {0b000011100, 9, Ev(0, 20, 1)},
                           {0b000011011, 9, Ev(0, 21, 1)},
                           {0b000011010, 9, Ev(0, 22, 1)},
                           {0b00000100010, 11, Ev(0, 23, 1)},
                           {0b00000100011, 11, Ev(0, 24, 1)},
                           {0b000001010110, 12, Ev(0, 25, 1)},
                           {0b000001010111, 12, Ev(0, 26, 1)},
                           {0b0111, 4, Ev(1, 0, 1)},
                           {0b000011001, 9, Ev(1, 0, 2)},
                           {0b00000000101, 11, Ev(1, 0, 3)},
                           {0b001111, 6, Ev(1, 1, 1)},
                           {0b00000000100, 11, Ev(1, 1, 2)},
                           {0b001110, 6, Ev(1, 2, 1)},
                           {0b001101, 6, Ev(1, 3, 1)},
                           {0b001100, 6, Ev(1, 4, 1)},
                           {0b0010011, 7, Ev(1, 5, 1)},
                           {0b0010010, 7, Ev(1, 6, 1)},
                           {0b0010001, 7, Ev(1, 7, 1)},
                           {0b0010000, 7, Ev(1, 8, 1)},
                           {0b00011010, 8, Ev(1, 9, 1)},
                           {0b00011001, 8, Ev(1, 10, 1)},
                           {0b00011000, 8, Ev(1, 11, 1)},
                           {0b00010111, 8, Ev(1, 12, 1)},
                           {0b00010110, 8, Ev(1, 13, 1)},
                           {0b00010101, 8, Ev(1, 14, 1)},
                           {0b00010100, 8, Ev(1, 15, 1)},
                           {0b00010011, 8, Ev(1, 16, 1)},
                           {0b000011000, 9, Ev(1, 17, 1)},
                           {0b000010111, 9, Ev(1, 18, 1)},
                           {0b000010110, 9, Ev(1, 19, 1)},
                           {0b000010101, 9, Ev(1, 20, 1)},
                           {0b000010100, 9, Ev(1, 21, 1)},
                           {0b000010011, 9, Ev(1, 22, 1)},
                           {0b000010010, 9, Ev(1, 23, 1)},
                           {0b000010001, 9, Ev(1, 24, 1)},
                           {0b0000000111, 10, Ev(1, 25, 1)},
                           {0b0000000110, 10, Ev(1, 26, 1)},
                           {0b0000000101, 10, Ev(1, 27, 1)},
                           {0b0000000100, 10, Ev(1, 28, 1)},
                           {0b00000100100, 11, Ev(1, 29, 1)},
                           {0b00000100101, 11, Ev(1, 30, 1)},
                           {0b00000100110, 11, Ev(1, 31, 1)},
                           {0b00000100111, 11, Ev(1, 32, 1)},
                           {0b000001011000, 12, Ev(1, 33, 1)},
                           {0b000001011001, 12, Ev(1, 34, 1)},
                           {0b000001011010, 12, Ev(1, 35, 1)},
                           {0b000001011011, 12, Ev(1, 36, 1)},
                           {0b000001011100, 12, Ev(1, 37, 1)},
                           {0b000001011101, 12, Ev(1, 38, 1)},
                           {0b000001011110, 12, Ev(1, 39, 1)},
                           {0b000001011111, 12, Ev(1, 40, 1)},
                           {0b0000011, 7, kEscape}};

const Vlc<9>& McbpcIntra() {
    static const Vlc<9> v{kMcbpcIntra};
    return v;
}
const Vlc<9>& McbpcInter() {
    static const Vlc<9> v{kMcbpcInter};
    return v;
}
const Vlc<6>& Cbpy() {
    static const Vlc<6> v{kCbpy};
    return v;
}
const Vlc<12>& Mvd() {
    static const Vlc<12> v{kMvd};
    return v;
}
const Vlc<12>& Tcoef() {
    static const Vlc<12> v{kTcoef};
    return v;
}

constexpr uint8_t kZigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
                                 41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
                                 30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// The 8 x 8 inverse DCT of ITU-T H.263 annex A, in floating point, rounded to integers.
void InverseDct(const int (&in)[64], int (&out)[64]) {
    static const auto kBasis = [] {
        std::array<double, 64> c{};  // c[x * 8 + u] = C(u) / 2 * cos((2x + 1) u pi / 16)
        for (int x = 0; x < 8; ++x)
            for (int u = 0; u < 8; ++u)
                c[x * 8 + u] =
                    (u == 0 ? std::sqrt(0.5) : 1.0) / 2 * std::cos((2 * x + 1) * u * 3.14159265358979323846 / 16);
        return c;
    }();
    double tmp[64];
    for (int v = 0; v < 8; ++v)  // rows of coefficients into rows of samples
        for (int x = 0; x < 8; ++x) {
            double s = 0;
            for (int u = 0; u < 8; ++u) s += kBasis[x * 8 + u] * in[v * 8 + u];
            tmp[v * 8 + x] = s;
        }
    for (int x = 0; x < 8; ++x)
        for (int y = 0; y < 8; ++y) {
            double s = 0;
            for (int v = 0; v < 8; ++v) s += kBasis[y * 8 + v] * tmp[v * 8 + x];
            out[y * 8 + x] = static_cast<int>(std::lround(s));
        }
}

uint8_t Clip255(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

// Half-pel prediction of a size x size block at (x, y) in half pixels from a plane, with
// samples beyond its edges repeating the edge.
void Predict(const Plane& ref, int hx, int hy, int size, uint8_t* out) {
    const int x0 = hx >> 1, y0 = hy >> 1, fx = hx & 1, fy = hy & 1;
    auto at = [&ref](int x, int y) {
        return int(ref.At(std::clamp(x, 0, ref.width - 1), std::clamp(y, 0, ref.height - 1)));
    };
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const int a = at(x0 + x, y0 + y);
            int v = a;
            if (fx && fy) {
                v = (a + at(x0 + x + 1, y0 + y) + at(x0 + x, y0 + y + 1) + at(x0 + x + 1, y0 + y + 1) + 2) >> 2;
            } else if (fx) {
                v = (a + at(x0 + x + 1, y0 + y) + 1) >> 1;
            } else if (fy) {
                v = (a + at(x0 + x, y0 + y + 1) + 1) >> 1;
            }
            out[y * size + x] = static_cast<uint8_t>(v);
        }
}

class MacroblockReader {
public:
    MacroblockReader(Bits& bits, const H263Header& h, const YuvPicture* ref, YuvPicture& cur)
        : b_(bits), h_(h), ref_(ref), cur_(cur) {}

    bool Run() {
        const int mbw = cur_.y.width / 16, mbh = cur_.y.height / 16;
        std::vector<std::array<int, 2>> mvs(size_t(mbw) * mbh, {0, 0});
        int quant = h_.quantizer;
        for (int my = 0; my < mbh; ++my)
            for (int mx = 0; mx < mbw; ++mx) {
                const bool inter = h_.type != 0;
                int mcbpc;
                for (;;) {  // stuffing codes stand before a macroblock; each takes bits, so this ends
                    if (inter && b_.Read(1)) {
                        mcbpc = -2;  // not coded: the reference's macroblock as it stands
                        break;
                    }
                    mcbpc = (inter ? McbpcInter() : McbpcIntra()).Read(b_);
                    if (mcbpc != 20) break;
                    if (b_.Overrun()) return false;
                }
                if (b_.Overrun() || mcbpc == -1) return false;
                if (mcbpc == -2) {
                    CopyMacroblock(mx, my, 0, 0);
                    continue;
                }
                const int type = mcbpc / 4, cbpc = mcbpc % 4;
                if (type == 2) return false;  // four motion vectors: an optional mode, not in this format
                const bool intra = type >= 3;
                int cbpy = Cbpy().Read(b_);
                if (cbpy < 0) return false;
                if (!intra) cbpy = 15 - cbpy;
                if (type == 1 || type == 4) {
                    static constexpr int kDquant[4] = {-1, -2, 1, 2};
                    quant = std::clamp(quant + kDquant[b_.Read(2)], 1, 31);
                }
                int mv[2] = {0, 0};
                if (!intra) {
                    // Each component predicted by the median of the left, above and above-right
                    // vectors (the picture's edges as H.263 says), plus the coded difference,
                    // kept within [-16, 15.5] pixels.
                    auto vec = [&](int x, int y) -> std::array<int, 2> { return mvs[size_t(y) * mbw + x]; };
                    const std::array<int, 2> zero{0, 0};
                    const std::array<int, 2> left = mx > 0 ? vec(mx - 1, my) : zero;
                    std::array<int, 2> above = left, aboveRight = left;
                    if (my > 0) {
                        above = vec(mx, my - 1);
                        aboveRight = mx + 1 < mbw ? vec(mx + 1, my - 1) : zero;
                    }
                    for (int c = 0; c < 2; ++c) {
                        const int m = Mvd().Read(b_);
                        if (m < 0) return false;
                        const int d = m != 0 && b_.Read(1) ? -m : m;
                        const int a = left[c], bb = above[c], cc = aboveRight[c];
                        const int pred = std::max(std::min(a, bb), std::min(std::max(a, bb), cc));
                        int v = pred + d;
                        if (v < -32) v += 64;
                        if (v > 31) v -= 64;
                        mv[c] = v;
                    }
                    mvs[size_t(my) * mbw + mx] = {mv[0], mv[1]};
                    if (!ref_) return false;
                }
                for (int blk = 0; blk < 6; ++blk) {
                    const bool coded = blk < 4 ? (cbpy >> (3 - blk)) & 1 : (cbpc >> (5 - blk)) & 1;
                    if (!Block(mx, my, blk, intra, coded, quant, mv)) return false;
                }
                if (b_.Overrun()) return false;
            }
        return !b_.Overrun();
    }

private:
    // Where block `blk` of a macroblock lies, in its plane.
    Plane& PlaneOf(int blk, int mx, int my, int& x, int& y) {
        if (blk < 4) {
            x = mx * 16 + (blk & 1) * 8;
            y = my * 16 + (blk >> 1) * 8;
            return cur_.y;
        }
        x = mx * 8;
        y = my * 8;
        return blk == 4 ? cur_.cb : cur_.cr;
    }
    const Plane& RefPlane(int blk) const { return blk < 4 ? ref_->y : blk == 4 ? ref_->cb : ref_->cr; }

    void CopyMacroblock(int mx, int my, int mvx, int mvy) {
        for (int blk = 0; blk < 6; ++blk) {
            int x, y;
            Plane& p = PlaneOf(blk, mx, my, x, y);
            uint8_t pred[64];
            PredictBlock(blk, x, y, mvx, mvy, pred);
            for (int j = 0; j < 8; ++j) std::copy_n(pred + j * 8, 8, &p.samples[size_t(y + j) * p.width + x]);
        }
    }

    // The 8 x 8 prediction of a block at (x, y) in its plane from the luma vector (half pixels).
    void PredictBlock(int blk, int x, int y, int mvx, int mvy, uint8_t* out) const {
        if (blk >= 4) {
            // Chroma: the luma vector halved, quarter positions taken to the half between.
            mvx = (mvx >> 1) | (mvx & 1);
            mvy = (mvy >> 1) | (mvy & 1);
        }
        Predict(RefPlane(blk), x * 2 + mvx, y * 2 + mvy, 8, out);
    }

    bool Block(int mx, int my, int blk, bool intra, bool coded, int quant, const int (&mv)[2]) {
        int coef[64] = {};
        int i = 0;
        if (intra) {
            const int dc = static_cast<int>(b_.Read(8));
            if (dc == 0 || dc == 128) return false;
            coef[0] = (dc == 255 ? 128 : dc) * 8;
            i = 1;
        }
        if (coded) {
            for (;;) {
                const int ev = Tcoef().Read(b_);
                if (ev < 0) return false;
                int last, run, level;
                if (ev == kEscape) {
                    if (h_.version == 0) {
                        last = int(b_.Read(1));
                        run = int(b_.Read(6));
                        level = b_.ReadSigned(8);
                        if (level == 0 || level == -128) return false;
                    } else {
                        // Sorenson version 1: a flag picks a 7- or 11-bit level.
                        const bool wide = b_.Read(1);
                        last = int(b_.Read(1));
                        run = int(b_.Read(6));
                        level = b_.ReadSigned(wide ? 11 : 7);
                        if (level == 0) return false;
                    }
                } else {
                    last = ev >> 12;
                    run = (ev >> 6) & 63;
                    level = ev & 63;
                    if (b_.Read(1)) level = -level;
                }
                i += run;
                if (i > 63 || b_.Overrun()) return false;
                // Inverse quantization (H.263 6.2.1), clipped to 12 bits.
                const int mag = quant * (2 * std::abs(level) + 1) - (quant % 2 == 0 ? 1 : 0);
                coef[kZigzag[i]] = std::clamp(level < 0 ? -mag : mag, -2048, 2047);
                ++i;
                if (last) break;
            }
        }
        int x, y;
        Plane& p = PlaneOf(blk, mx, my, x, y);
        int res[64];
        InverseDct(coef, res);
        if (intra) {
            for (int j = 0; j < 8; ++j)
                for (int k = 0; k < 8; ++k) p.samples[size_t(y + j) * p.width + x + k] = Clip255(res[j * 8 + k]);
            return true;
        }
        uint8_t pred[64];
        PredictBlock(blk, x, y, mv[0], mv[1], pred);
        for (int j = 0; j < 8; ++j)
            for (int k = 0; k < 8; ++k) {
                const int r = coded ? std::clamp(res[j * 8 + k], -256, 255) : 0;
                p.samples[size_t(y + j) * p.width + x + k] = Clip255(pred[j * 8 + k] + r);
            }
        return true;
    }

    Bits& b_;
    const H263Header& h_;
    const YuvPicture* ref_;
    YuvPicture& cur_;
};

}  // namespace

bool ReadH263Header(std::span<const uint8_t> packet, H263Header& out, size_t& bitsRead) {
    out = {};
    Bits b(packet);
    if (b.Read(17) != 1) return false;  // picture start code
    out.version = static_cast<int>(b.Read(5));
    if (out.version > 1) return false;
    out.temporalReference = static_cast<int>(b.Read(8));
    static constexpr int kSizes[8][2] = {{0, 0},    {0, 0},     {352, 288}, {176, 144},
                                         {128, 96}, {320, 240}, {160, 120}, {0, 0}};
    const uint32_t size = b.Read(3);
    if (size == 0 || size == 1) {
        const int n = size == 0 ? 8 : 16;
        out.width = static_cast<int>(b.Read(n));
        out.height = static_cast<int>(b.Read(n));
    } else if (size == 7) {
        return false;
    } else {
        out.width = kSizes[size][0];
        out.height = kSizes[size][1];
    }
    out.type = static_cast<int>(b.Read(2));
    if (out.type == 3) return false;
    out.deblocking = b.Read(1) != 0;
    out.quantizer = static_cast<int>(b.Read(5));
    // Extra information bytes, each announced by a set flag.
    while (b.Read(1) && !b.Overrun()) b.Skip(8);
    if (b.Overrun() || out.width <= 0 || out.height <= 0 || out.width > kMaxSide || out.height > kMaxSide ||
        long(out.width) * out.height > kMaxPixels || out.quantizer == 0)
        return false;
    bitsRead = b.Pos();
    return true;
}

bool H263Decoder::IsKeyFrame(std::span<const uint8_t> packet) const {
    H263Header h;
    size_t bits;
    return ReadH263Header(packet, h, bits) && h.type == 0;
}

bool H263Decoder::Decode(std::span<const uint8_t> packet) {
    H263Header h;
    size_t start;
    if (!ReadH263Header(packet, h, start)) return false;
    const YuvPicture* ref = nullptr;
    if (h.type != 0) {
        ref = reference_.get();
        if (!ref || ref->width != h.width || ref->height != h.height) return false;
    }
    auto cur = std::make_shared<YuvPicture>();
    cur->width = h.width;
    cur->height = h.height;
    const int mbw = (h.width + 15) / 16, mbh = (h.height + 15) / 16;
    cur->y = {mbw * 16, mbh * 16, std::vector<uint8_t>(size_t(mbw) * mbh * 256)};
    cur->cb = {mbw * 8, mbh * 8, std::vector<uint8_t>(size_t(mbw) * mbh * 64)};
    cur->cr = cur->cb;
    Bits b(packet);
    b.Seek(start);
    MacroblockReader reader(b, h, ref, *cur);
    if (!reader.Run()) return false;
    current_ = cur;
    if (h.type != 2) reference_ = std::move(cur);  // disposable pictures are never predicted from
    return true;
}

void H263Decoder::Reset() {
    current_.reset();
    reference_.reset();
}

bool H263Decoder::Picture(raster::Bitmap& out) const {
    if (!current_) return false;
    const YuvPicture& p = *current_;
    out.width = p.width;
    out.height = p.height;
    out.pixels.resize(size_t(p.width) * p.height);
    // BT.601 limited range (Y 16..235, Cb/Cr 16..240), 16.16 fixed point; chroma per 2 x 2 pixels.
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const int yy = (int(p.y.At(x, y)) - 16) * 76309;
            const int cb = int(p.cb.At(x >> 1, y >> 1)) - 128, cr = int(p.cr.At(x >> 1, y >> 1)) - 128;
            const int r = (yy + 104597 * cr + 32768) >> 16;
            const int g = (yy - 25675 * cb - 53279 * cr + 32768) >> 16;
            const int bl = (yy + 132201 * cb + 32768) >> 16;
            out.pixels[size_t(y) * p.width + x] =
                0xff000000u | uint32_t(Clip255(r)) << 16 | uint32_t(Clip255(g)) << 8 | Clip255(bl);
        }
    return true;
}

std::unique_ptr<Decoder> MakeH263Decoder() { return std::make_unique<H263Decoder>(); }

}  // namespace lumarel::engine::video
