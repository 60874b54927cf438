#include "chunk/huffman_coder.h"

#include "chunk/chunk_file.h"

#include "platform/byte_cursor.h"
#include "chunk/chunk_ids.h"
#include "platform/os.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>

namespace trevok {
namespace {

constexpr int kSymbols = 257;
constexpr int kEndSymbol = 256;
constexpr int kTableSize = 1 << kMaxCodeLength;
constexpr size_t kSymbolsOffset = 60;

struct SymbolCount {
    int32_t symbol;
    uint32_t count;
};

uint32_t Reverse(uint32_t code, int length)
{
    uint32_t r = 0;
    for (int i = 0; i < length; ++i)
        r |= ((code >> i) & 1u) << (length - 1 - i);
    return r;
}

// Symbols sorted by count, least frequent first. Ties put the end symbol first
// and then lower byte values, so the output is the same on every run.
std::array<SymbolCount, kSymbols> SortedCounts(const uint32_t counts[256])
{
    std::array<SymbolCount, kSymbols> sorted;
    for (int s = 0; s < 256; ++s)
        sorted[s] = {s, counts[s]};
    sorted[kEndSymbol] = {kEndSymbol, 0};
    std::stable_sort(sorted.begin(), sorted.end(), [](const SymbolCount& a, const SymbolCount& b) {
        if (a.count != b.count)
            return a.count < b.count;
        int ka = a.symbol == kEndSymbol ? -1 : a.symbol;
        int kb = b.symbol == kEndSymbol ? -1 : b.symbol;
        return ka < kb;
    });
    return sorted;
}

void HistogramFromSorted(const std::array<SymbolCount, kSymbols>& sorted, int32_t h[kMaxCodeLength + 1])
{
    // Huffman tree over a queue kept sorted by weight; a new node goes behind
    // every node of equal weight.
    struct Node {
        uint64_t weight;
        int left, right;
    };
    std::vector<Node> nodes;
    nodes.reserve(2 * kSymbols);
    std::vector<int> queue;
    for (int i = 0; i < kSymbols; ++i) {
        nodes.push_back({sorted[i].count, -1, -1});
        queue.push_back(i);
    }
    for (int step = 0; step < kSymbols - 1; ++step) {
        int a = queue[0], b = queue[1];
        queue.erase(queue.begin(), queue.begin() + 2);
        uint64_t w = nodes[a].weight + nodes[b].weight;
        nodes.push_back({w, a, b});
        auto at = std::upper_bound(queue.begin(), queue.end(), w,
                                   [&](uint64_t v, int n) { return v < nodes[n].weight; });
        queue.insert(at, static_cast<int>(nodes.size() - 1));
    }
    for (int l = 0; l <= kMaxCodeLength; ++l)
        h[l] = 0;
    std::vector<std::pair<int, int>> stack{{queue[0], 0}};
    while (!stack.empty()) {
        auto [n, depth] = stack.back();
        stack.pop_back();
        if (nodes[n].left < 0) {
            ++h[std::min(depth, kMaxCodeLength)];
            continue;
        }
        stack.push_back({nodes[n].left, depth + 1});
        stack.push_back({nodes[n].right, depth + 1});
    }

    // Limit to 11 bits: move codes from shorter lengths to 11 until the code fits.
    int64_t k = 0;
    for (int l = 0; l <= kMaxCodeLength; ++l)
        k += int64_t{h[l]} << (kMaxCodeLength - l);
    for (int l = kMaxCodeLength - 1; l >= 0 && k > kTableSize; --l) {
        int64_t e = (int64_t{1} << (kMaxCodeLength - l)) - 1;
        if (h[l] > 0 && e > 0) {
            int64_t m = std::min<int64_t>(h[l], (k - kTableSize + e - 1) / e);
            h[l] -= static_cast<int32_t>(m);
            h[kMaxCodeLength] += static_cast<int32_t>(m);
            k -= m * e;
        }
    }
    // Fill the slack by moving codes to shorter lengths until the code is complete.
    int64_t d = kTableSize - k;
    while (d > 0) {
        int64_t before = d;
        for (int t = 1; t <= kMaxCodeLength && d > 0; ++t) {
            for (int s = t + 1; s <= kMaxCodeLength; ++s) {
                int64_t g = (int64_t{1} << (kMaxCodeLength - t)) - (int64_t{1} << (kMaxCodeLength - s));
                if (d < g)
                    break;
                if (h[s] > 0) {
                    int64_t m = std::min<int64_t>(h[s], d / g);
                    h[t] += static_cast<int32_t>(m);
                    h[s] -= static_cast<int32_t>(m);
                    d -= m * g;
                }
            }
        }
        if (d == before)
            break; // cannot happen with 257 codes; guards the loop all the same
    }
}

class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}
    void Put(uint32_t bits, int n)
    {
        acc_ |= uint64_t{bits} << used_;
        used_ += n;
        if (used_ >= 32) {
            Word(static_cast<uint32_t>(acc_));
            acc_ >>= 32;
            used_ -= 32;
        }
    }
    void Flush()
    {
        if (used_ > 0)
            Word(static_cast<uint32_t>(acc_));
        acc_ = 0;
        used_ = 0;
    }

private:
    void Word(uint32_t w)
    {
        uint8_t b[4] = {static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w >> 16),
                        static_cast<uint8_t>(w >> 24)};
        out_.insert(out_.end(), b, b + 4);
    }
    std::vector<uint8_t>& out_;
    uint64_t acc_ = 0;
    int used_ = 0;
};

// Runs of whole codes per 12-bit window, so one lookup yields up to eight bytes.
// A window whose first code is undefined or the end code holds no run; the
// one-code step then reports it exactly as a code-by-code decoder would.
struct RunTable {
    static constexpr int kIndexBits = 12;
    static constexpr uint32_t kMask = (1u << kIndexBits) - 1;
    static constexpr int kMaxRun = 8;
    // A refill leaves at least 56 bits: four windows of 12.
    static constexpr int kLookups = 4;
    static_assert(kLookups * kIndexBits <= 56 && kIndexBits > kMaxCodeLength);
    static constexpr int64_t kWorthBuilding = 4096;

    uint64_t symbols[1 << kIndexBits];
    uint8_t count[1 << kIndexBits];
    uint8_t bits[1 << kIndexBits];

    // From the one-code table (length in the high byte: 0 none, 255 the end code).
    static std::unique_ptr<RunTable> Build(const std::array<uint16_t, kTableSize>& codes)
    {
        auto t = std::make_unique<RunTable>();
        for (uint32_t window = 0; window <= kMask; ++window) {
            uint64_t symbols = 0;
            int n = 0, used = 0;
            while (n < kMaxRun) {
                // Bits above the window read as zero; a code decided by them is left out.
                const uint16_t entry = codes[(window >> used) & (kTableSize - 1)];
                const int len = entry >> 8;
                if (len == 0 || len == 255 || used + len > kIndexBits)
                    break;
                symbols |= uint64_t{static_cast<uint8_t>(entry)} << (8 * n);
                ++n;
                used += len;
            }
            if constexpr (std::endian::native == std::endian::big)
                symbols = __builtin_bswap64(symbols);
            t->symbols[window] = symbols;
            t->count[window] = static_cast<uint8_t>(n);
            t->bits[window] = static_cast<uint8_t>(used);
        }
        return t;
    }
};

bool Fail(std::string* error, const char* what)
{
    if (error)
        *error = what;
    return false;
}

using CodeTable = std::array<uint16_t, kTableSize>;

struct Stream {
    const uint8_t* data;
    size_t length;
    uint64_t bits;
};

// A decoding position: `have` bits waiting in `acc`, `byte` the next stream byte
// to load, `produced` the next output index.
struct Lane {
    uint64_t acc = 0;
    int have = 0;
    size_t byte = 0;
    size_t produced = 0;

    uint64_t Position() const { return uint64_t{byte} * 8 - static_cast<uint64_t>(have); }

    // Whole 8-byte loads inside the stream: the load's address is known a
    // refill ahead, so it stays off the chain of lookups.
    bool CanLoadWord(const Stream& s) const { return byte + 8 <= s.length; }

    // To at least 56 bits; zeros past the stream's end.
    void Refill(const Stream& s)
    {
        if (CanLoadWord(s)) {
            LoadWord(s);
        } else {
            while (have <= 56) {
                uint64_t b = byte < s.length ? s.data[byte] : 0;
                ++byte;
                acc |= b << have;
                have += 8;
            }
        }
    }

    static Lane At(const Stream& s, uint64_t bit)
    {
        Lane l;
        l.byte = static_cast<size_t>(bit / 8);
        l.Refill(s);
        const int skip = static_cast<int>(bit % 8);
        l.acc >>= skip;
        l.have -= skip;
        return l;
    }

    // One code through the one-code table; false (nothing consumed) at an
    // undefined or end code. The caller refills.
    bool Code(const CodeTable& table, uint8_t* dst)
    {
        const uint16_t entry = table[acc & (kTableSize - 1)];
        const int len = entry >> 8;
        if (len == 0 || len == 255)
            return false;
        dst[produced++] = static_cast<uint8_t>(entry);
        acc >>= len;
        have -= len;
        return true;
    }

    // Refill and four run lookups. The caller checks CanLoadWord and leaves
    // RunTable::kLookups * kMaxRun bytes of room. False (stopped before it)
    // at a window whose first code is undefined or the end code.
    bool Runs(const Stream& s, const RunTable& runs, uint8_t* dst)
    {
        LoadWord(s);
        for (int k = 0; k < RunTable::kLookups; ++k)
            if (!Run(runs, dst))
                return false;
        return true;
    }

    void LoadWord(const Stream& s)
    {
        uint64_t v;
        std::memcpy(&v, s.data + byte, 8);
        if constexpr (std::endian::native == std::endian::big)
            v = __builtin_bswap64(v);
        acc |= v << have;
        byte += static_cast<size_t>((63 - have) >> 3);
        have |= 56;
    }

    // One run lookup; false (nothing consumed) at an undefined or end code.
    bool Run(const RunTable& runs, uint8_t* dst)
    {
        const uint32_t at = static_cast<uint32_t>(acc & RunTable::kMask);
        const int count = runs.count[at];
        if (count == 0)
            return false;
        std::memcpy(dst + produced, &runs.symbols[at], 8);
        produced += static_cast<size_t>(count);
        const int bits = runs.bits[at];
        acc >>= bits;
        have -= bits;
        return true;
    }
};

constexpr size_t kRunRoom = size_t{RunTable::kLookups} * RunTable::kMaxRun;

// Expands from `lane` to `outSize` bytes, reporting a damaged stream exactly
// where a code-by-code decoder would.
bool ExpandFrom(Lane lane, const Stream& stream, const CodeTable& table, const RunTable* runs, uint8_t* dst,
                size_t outSize, std::string* error)
{
    uint64_t consumed = lane.Position();
    while (lane.produced < outSize) {
        lane.Refill(stream);
        // Fast path: four runs of whole codes (at most 12 bits each) fit in what
        // was loaded, and each run's 8-byte store fits the output left.
        if (runs && outSize - lane.produced >= kRunRoom) {
            int k = 0;
            for (; k < RunTable::kLookups; ++k) {
                const uint32_t at = static_cast<uint32_t>(lane.acc & RunTable::kMask);
                const int count = runs->count[at];
                if (count == 0)
                    break; // an undefined or end code: the slow path says which
                std::memcpy(dst + lane.produced, &runs->symbols[at], 8);
                lane.produced += static_cast<size_t>(count);
                const int bits = runs->bits[at];
                consumed += static_cast<uint64_t>(bits);
                lane.acc >>= bits;
                lane.have -= bits;
            }
            if (consumed > stream.bits)
                return Fail(error, "bit stream runs past its stored length");
            if (k > 0)
                continue; // refill, so the one-code step below has its 55 bits
        }
        // Five codes of at most 11 bits fit in what was loaded.
        for (int k = 0; k < 5 && lane.produced < outSize; ++k) {
            uint16_t entry = table[lane.acc & (kTableSize - 1)];
            int len = entry >> 8;
            if (len == 0)
                return Fail(error, "bit stream holds a code the table does not define");
            if (len == 255)
                return Fail(error, "bit stream ends before the expanded length");
            consumed += static_cast<uint64_t>(len);
            if (consumed > stream.bits)
                return Fail(error, "bit stream runs past its stored length");
            dst[lane.produced++] = static_cast<uint8_t>(entry);
            lane.acc >>= len;
            lane.have -= len;
        }
    }
    return true;
}

// Each lookup waits for the one before (its shift comes from the table), so one
// position expands at the table's load latency. Several positions expand side
// by side instead: the stream is cut into kLanes stretches of bits and each
// later lane starts decoding mid-code. A Huffman code falls back into step
// within a few codes, so a lane's first kMarks code boundaries are noted, and
// the lane before it, once it reaches that stretch, steps code by code until
// it lands on one of them; from there the two decoded the same codes. Each
// lane writes into its own stretch of the output (with headroom) and is moved
// down behind the lane before it. Whatever a lane could not vouch for (no
// common boundary, full stretch, damaged stream) is left to the serial
// expansion from the last good position, which also gives any error.
constexpr int kLanes = 4;
constexpr int kMarks = 64;
constexpr size_t kSplitStreamBytes = 64 * 1024;

size_t LaneSlack(size_t outSize) { return kLanes * (outSize / 32 + 4 * 1024); }

Lane ExpandLanes(const Stream& stream, const CodeTable& table, const RunTable& runs, uint8_t* dst,
                 size_t outSize)
{
    const size_t margin = outSize / 32 + 4 * 1024;
    std::array<Lane, kLanes> lane;
    std::array<size_t, kLanes> begin{}, limit{};
    std::array<uint64_t, kLanes> stop{};
    std::array<std::array<uint64_t, kMarks + 1>, kLanes> marks;
    std::array<int, kLanes> markCount{};
    for (int i = 0; i < kLanes; ++i) {
        const uint64_t from = stream.bits * static_cast<uint64_t>(i) / kLanes;
        begin[i] = static_cast<size_t>(uint64_t{outSize} * (from / 8) / stream.length) + static_cast<size_t>(i) * margin;
        stop[i] = i + 1 < kLanes ? stream.bits * static_cast<uint64_t>(i + 1) / kLanes : stream.bits;
        // Four lookups take at most 48 bits: a lane stops short of the next one's start.
        stop[i] = stop[i] > 48 ? stop[i] - 48 : 0;
        lane[i] = Lane::At(stream, from);
        lane[i].produced = begin[i];
    }
    for (int i = 0; i + 1 < kLanes; ++i)
        limit[i] = begin[i + 1];
    limit[kLanes - 1] = outSize + kLanes * margin;
    for (int i = 1; i < kLanes; ++i) {
        Lane& l = lane[i];
        int n = 0;
        marks[i][0] = l.Position();
        while (n < kMarks) {
            l.Refill(stream);
            if (!l.Code(table, dst))
                break;
            marks[i][++n] = l.Position();
        }
        markCount[i] = n + 1;
    }

    auto canRun = [&](const Lane& l, int i) {
        return l.CanLoadWord(stream) && l.produced + kRunRoom <= limit[i] && l.Position() < stop[i];
    };
    // Plain locals, so the lanes' state stays in registers.
    static_assert(kLanes == 4);
    Lane a = lane[0], b = lane[1], c = lane[2], d = lane[3];
    // Rounds a lane can surely run: each takes at most 48 bits, 7 stream bytes
    // and kRunRoom bytes of output.
    auto rounds = [&](const Lane& l, int i) -> size_t {
        if (!canRun(l, i))
            return 0;
        const size_t room = (limit[i] - l.produced - kRunRoom) / kRunRoom + 1;
        const size_t bytes = (stream.length - 8 - l.byte) / 7 + 1;
        const size_t bits = static_cast<size_t>((stop[i] - l.Position() - 1) / 48) + 1;
        return std::min({room, bytes, bits});
    };
    // The lanes' lookups alternate, each lane stopping whole at a code it cannot run.
    bool running = true;
    while (running) {
        size_t n = std::min({rounds(a, 0), rounds(b, 1), rounds(c, 2), rounds(d, 3)});
        if (n == 0)
            break;
        for (; n > 0 && running; --n) {
            a.LoadWord(stream);
            b.LoadWord(stream);
            c.LoadWord(stream);
            d.LoadWord(stream);
            for (int k = 0; k < RunTable::kLookups && running; ++k)
                running = a.Run(runs, dst) && b.Run(runs, dst) && c.Run(runs, dst) && d.Run(runs, dst);
        }
    }
    lane = {a, b, c, d};
    for (int i = 0; i < kLanes; ++i) {
        Lane l = lane[i];
        while (canRun(l, i) && l.Runs(stream, runs, dst)) {
        }
        lane[i] = l;
    }

    // Join each lane to the one before it.
    for (int i = 1; i < kLanes; ++i) {
        Lane& prev = lane[i - 1];
        const auto& m = marks[i];
        int j = 0;
        for (;;) {
            const uint64_t at = prev.Position();
            while (j < markCount[i] && m[j] < at)
                ++j;
            if (j == markCount[i])
                return prev; // passed every mark: no common boundary
            if (m[j] == at)
                break;
            if (prev.produced >= limit[i - 1])
                return prev;
            prev.Refill(stream);
            if (!prev.Code(table, dst))
                return prev;
        }
        Lane& next = lane[i];
        const size_t from = begin[i] + static_cast<size_t>(j);
        const size_t bytes = next.produced - from;
        std::memmove(dst + prev.produced, dst + from, bytes);
        next.produced = prev.produced + bytes;
    }
    // Past outSize (a stream with codes after the expanded length) every byte
    // below it is already right, as the serial expansion would leave it.
    return lane[kLanes - 1];
}

} // namespace

void HuffmanCoder::CodeLengthHistogram(const uint32_t counts[256], int32_t histogram[kMaxCodeLength + 1])
{
    HistogramFromSorted(SortedCounts(counts), histogram);
}

std::vector<uint8_t> HuffmanCoder::Compress(std::span<const uint8_t> data)
{
    uint32_t counts[256] = {};
    for (uint8_t b : data)
        ++counts[b];
    auto sorted = SortedCounts(counts);
    int32_t h[kMaxCodeLength + 1];
    HistogramFromSorted(sorted, h);

    // Canonical codes, most frequent symbol first; held bit-reversed so the
    // first bit of a code is the first bit written.
    uint32_t code[kSymbols] = {};
    uint8_t length[kSymbols] = {};
    uint32_t next = 0;
    int prevLen = 0;
    int position = kSymbols - 1;
    bool first = true;
    for (int l = 1; l <= kMaxCodeLength; ++l) {
        for (int i = 0; i < h[l]; ++i, --position) {
            if (first) {
                next = 0;
                first = false;
            } else {
                next = (next + 1) << (l - prevLen);
            }
            prevLen = l;
            int sym = sorted[position].symbol;
            code[sym] = Reverse(next, l);
            length[sym] = static_cast<uint8_t>(l);
        }
    }

    // The stream can outgrow the input (up to 11 bits a byte), so the vector grows as needed.
    std::vector<uint8_t> image;
    image.reserve(kCompressedHeaderSize + data.size() + data.size() / 2 + 8);
    ByteWriter w(image);
    w.Bytes(chunk_id::kCompressedFile, 8);
    w.U32(0); // stream length, patched below
    w.U32(static_cast<uint32_t>(data.size()));
    for (int l = 1; l <= kMaxCodeLength; ++l)
        w.I32(h[l]);
    w.Zeros(256);
    for (int i = 1; i < kSymbols; ++i)
        image[kSymbolsOffset - 1 + i] = static_cast<uint8_t>(sorted[i].symbol & 0xFF);

    BitWriter bits(image);
    for (uint8_t b : data)
        bits.Put(code[b], length[b]);
    bits.Put(code[kEndSymbol], length[kEndSymbol]);
    bits.Flush();
    w.PatchU32(8, static_cast<uint32_t>(image.size() - kCompressedHeaderSize));
    return image;
}

namespace {

template <class Bytes>
bool DecompressInto(std::span<const uint8_t> image, Bytes& out, std::string* error)
{
    out.clear();
    if (image.size() < kCompressedHeaderSize)
        return Fail(error, "compressed header cut short");
    if (std::memcmp(image.data(), chunk_id::kCompressedFile, 8) != 0)
        return Fail(error, "not a compressed image");
    ByteReader r(image);
    r.Skip(8);
    int64_t streamLength = r.I32();
    int64_t expandedLength = r.I32();
    if (streamLength < 0 || static_cast<uint64_t>(streamLength) > image.size() - kCompressedHeaderSize)
        return Fail(error, "bit stream length exceeds the file");
    if (expandedLength < 0)
        return Fail(error, "negative expanded length");
    // Every symbol takes at least one bit: a longer output cannot be in the stream.
    if (expandedLength > streamLength * 8)
        return Fail(error, "expanded length exceeds what the stream can hold");

    int32_t h[kMaxCodeLength + 1] = {};
    int64_t total = 0, kraft = 0;
    for (int l = 1; l <= kMaxCodeLength; ++l) {
        h[l] = r.I32();
        if (h[l] < 0 || h[l] > kSymbols)
            return Fail(error, "code table: bad code count");
        total += h[l];
        kraft += int64_t{h[l]} << (kMaxCodeLength - l);
    }
    if (total != kSymbols)
        return Fail(error, "code table: code counts do not add up to 257");
    if (kraft > kTableSize)
        return Fail(error, "code table: more codes than 11 bits can hold");
    // No symbol is shorter than the shortest code: a tighter bound before allocating.
    int shortest = 1;
    while (shortest < kMaxCodeLength && h[shortest] == 0)
        ++shortest;
    if (expandedLength * shortest > streamLength * 8)
        return Fail(error, "expanded length exceeds what the stream can hold");

    // Entry: length in the high byte (0 = no code, 255 = end), symbol in the low byte.
    CodeTable table{};
    uint32_t next = 0;
    int prevLen = 0, index = 0;
    for (int l = 1; l <= kMaxCodeLength; ++l) {
        for (int i = 0; i < h[l]; ++i, ++index) {
            next = index == 0 ? 0 : (next + 1) << (l - prevLen);
            prevLen = l;
            uint16_t entry = index < 256 ? static_cast<uint16_t>(l << 8 | image[315 - index]) : uint16_t{255 << 8};
            for (uint32_t at = Reverse(next, l); at < kTableSize; at += 1u << l)
                table[at] = entry;
        }
    }

    const Stream stream{image.data() + kCompressedHeaderSize, static_cast<size_t>(streamLength),
                        static_cast<uint64_t>(streamLength) * 8};
    const size_t outSize = static_cast<size_t>(expandedLength);
    // Building the run table costs about as much as expanding a few kilobytes.
    const auto runs = expandedLength >= RunTable::kWorthBuilding ? RunTable::Build(table) : nullptr;
    const bool split = runs && stream.length >= kSplitStreamBytes;
    // Lanes write into their own stretches with some headroom; the surplus is cut off at the end.
    out.resize(outSize + (split ? LaneSlack(outSize) : 0));
    Lane lane;
    if (split)
        lane = ExpandLanes(stream, table, *runs, out.data(), outSize);
    if (!ExpandFrom(lane, stream, table, runs.get(), out.data(), outSize, error))
        return out.clear(), false;
    out.resize(outSize);
    return true;
}

} // namespace

bool HuffmanCoder::Decompress(std::span<const uint8_t> image, std::vector<uint8_t>& out, std::string* error)
{
    return DecompressInto(image, out, error);
}

bool HuffmanCoder::Decompress(std::span<const uint8_t> image, platform::UnfilledImage& out, std::string* error)
{
    return DecompressInto(image, out, error);
}

bool CompressFileTail(const std::filesystem::path& file, size_t offset)
{
    const auto bytes = platform::ReadWholeFile(file, kMaxChunkFileBytes);
    if (!bytes || offset > bytes->size())
        return false;
    const std::span<const uint8_t> tail(bytes->data() + offset, bytes->size() - offset);
    const std::vector<uint8_t> packed = HuffmanCoder::Compress(tail);
    if (packed.size() < kCompressedHeaderSize)
        return false;
    std::vector<uint8_t> out(bytes->begin(), bytes->begin() + static_cast<std::ptrdiff_t>(offset));
    out.insert(out.end(), packed.begin(), packed.end());
    return platform::WriteWholeFile(file, out.data(), out.size());
}

} // namespace trevok
