#include "JpegScanReach.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

// The markers are read here, beside the library, because the library says
// how far a scan's data goes only by decoding all of it: the point is to
// know before that how many rows are worth decoding. Where this reading and
// the library's could differ, it gives no answer and the whole frame is
// decoded.

namespace orvelle {

namespace {

// The marker codes read: the byte after 0xFF.
enum Marker : unsigned {
    kTem = 0x01,
    kSof0 = 0xC0,
    kSof2 = 0xC2,
    kDht = 0xC4,
    kRst0 = 0xD0,
    kRst7 = 0xD7,
    kSoi = 0xD8,
    kEoi = 0xD9,
    kSos = 0xDA,
    kDqt = 0xDB,
    kDnl = 0xDC,
    kDri = 0xDD,
    kApp0 = 0xE0,
    kApp15 = 0xEF,
    kCom = 0xFE,
    // Codes below this are no markers a scan's data ends at: with restarts,
    // the library passes over them to the next marker and decodes on.
    kFirstFrameMarker = 0xC0,
};

// The longest run of empty blocks one code of a progressive AC scan gives:
// a run code with 14 extra bits.
constexpr std::int64_t kLongestEmptyRun = (std::int64_t(1) << 15) - 1;
constexpr int kMaxComponentsInScan = 4;

struct Component {
    unsigned id = 0;
    int h = 1;
    int v = 1;
};

struct Frame {
    std::size_t heightOffset = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
    bool progressive = false;
    std::vector<Component> components;
    int hMax = 1;
    int vMax = 1;

    std::int64_t McuRows() const { return CeilDiv(height, 8 * vMax); }
    static std::int64_t CeilDiv(std::int64_t a, std::int64_t b) { return (a + b - 1) / b; }
};

class MarkerReader {
public:
    MarkerReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool StartsWithSoi()
    {
        if (size_ < 2 || data_[0] != 0xFF || data_[1] != kSoi)
            return false;
        at_ = 2;
        return true;
    }

    // The next marker's code, passing over what the library passes over
    // before one (bytes other than 0xFF, fill bytes, stuffed zeros);
    // nothing once the data ends.
    std::optional<unsigned> NextMarker()
    {
        for (;;) {
            while (at_ < size_ && data_[at_] != 0xFF)
                ++at_;
            while (at_ < size_ && data_[at_] == 0xFF)
                ++at_;
            if (at_ >= size_)
                return std::nullopt;
            const unsigned code = data_[at_++];
            if (code != 0)
                return code;
        }
    }

    // A segment's body after its two length bytes; nothing when the data
    // ends inside it or its length is less than its own two bytes.
    std::optional<std::pair<const std::uint8_t*, std::size_t>> Segment()
    {
        if (size_ - at_ < 2)
            return std::nullopt;
        const std::size_t length = std::size_t(data_[at_]) << 8 | data_[at_ + 1];
        if (length < 2 || size_ - at_ < length)
            return std::nullopt;
        const std::uint8_t* body = data_ + at_ + 2;
        at_ += length;
        return std::pair{body, length - 2};
    }

    std::size_t Offset(const std::uint8_t* p) const { return std::size_t(p - data_); }

    // A scan's entropy-coded data up to the marker that ends it (left to be
    // read next) or the end: its bytes, and the restart markers among them.
    void ScanData(std::int64_t& bytes, std::int64_t& restarts)
    {
        while (at_ < size_) {
            if (data_[at_] != 0xFF) {
                ++bytes;
                ++at_;
                continue;
            }
            std::size_t code = at_ + 1;
            while (code < size_ && data_[code] == 0xFF)
                ++code;
            if (code >= size_) {
                bytes += std::int64_t(code - at_);
                at_ = code;
                return;
            }
            const unsigned c = data_[code];
            if (c >= kRst0 && c <= kRst7) {
                ++restarts;
            } else if (c < kFirstFrameMarker) {
                // A stuffed zero is a data byte 0xFF; the rest are passed over.
                bytes += std::int64_t(code + 1 - at_);
            } else {
                return;
            }
            at_ = code + 1;
        }
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

std::optional<Frame> ReadFrame(const MarkerReader& reader, const std::uint8_t* body,
                               std::size_t length)
{
    if (length < 6)
        return std::nullopt;
    Frame frame;
    frame.heightOffset = reader.Offset(body + 1);
    frame.height = body[1] << 8 | body[2];
    frame.width = body[3] << 8 | body[4];
    const std::size_t count = body[5];
    if (frame.height == 0 || frame.width == 0 || count == 0 || length != 6 + 3 * count)
        return std::nullopt;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* c = body + 6 + 3 * i;
        const Component component{c[0], c[1] >> 4, c[1] & 15};
        if (component.h < 1 || component.h > 4 || component.v < 1 || component.v > 4)
            return std::nullopt;
        for (const Component& other : frame.components)
            if (other.id == component.id)
                return std::nullopt;
        frame.components.push_back(component);
        frame.hMax = std::max(frame.hMax, component.h);
        frame.vMax = std::max(frame.vMax, component.v);
    }
    return frame;
}

// The rows of MCUs one scan's data can reach, given its header.
std::optional<std::int64_t> ScanReach(const Frame& frame, const std::uint8_t* body,
                                      std::size_t length, std::int64_t bytes,
                                      std::int64_t restarts, std::int64_t restartInterval)
{
    if (length < 1)
        return std::nullopt;
    const std::size_t count = body[0];
    if (count < 1 || count > kMaxComponentsInScan || length != 4 + 2 * count)
        return std::nullopt;
    std::array<const Component*, kMaxComponentsInScan> members{};
    for (std::size_t i = 0; i < count; ++i) {
        const auto found =
            std::find_if(frame.components.begin(), frame.components.end(),
                         [id = body[1 + 2 * i]](const Component& c) { return c.id == id; });
        if (found == frame.components.end() ||
            std::find(members.begin(), members.begin() + std::ptrdiff_t(i), &*found) !=
                members.begin() + std::ptrdiff_t(i))
            return std::nullopt;
        members[i] = &*found;
    }
    const bool acScan = body[1 + 2 * count] > 0;
    // A sequential scan codes a block's DC difference and at least an end
    // of block; a progressive DC scan, a difference or a bit.
    const bool sequential = !frame.progressive;

    // A scan of several components goes MCU by MCU; a scan of one, block by
    // block of that component.
    std::int64_t unitsPerRow = 0;
    std::int64_t blocksPerUnit = 0;
    int unitRowsPerMcuRow = 1;
    if (count > 1) {
        unitsPerRow = Frame::CeilDiv(frame.width, 8 * frame.hMax);
        for (std::size_t i = 0; i < count; ++i)
            blocksPerUnit += members[i]->h * members[i]->v;
    } else {
        const Component& c = *members[0];
        unitsPerRow = Frame::CeilDiv(Frame::CeilDiv(frame.width * c.h, frame.hMax), 8);
        blocksPerUnit = 1;
        unitRowsPerMcuRow = c.v;
    }

    // A block costs at least a bit, or in a run of empty ones a bit a
    // kLongestEmptyRun blocks; the unit the data runs out in is decoded
    // from zero bits. Restarts begin each interval anew, restartInterval
    // units apart, and one with data takes a restart marker of its own.
    const std::int64_t bits = bytes * 8;
    const std::int64_t bitsPerUnit = blocksPerUnit * (sequential ? 2 : 1);
    const std::int64_t byData = acScan ? bits * kLongestEmptyRun + 1 : bits / bitsPerUnit + 1;
    std::int64_t units = byData;
    if (restartInterval > 0)
        units = std::min((restarts + 1) * restartInterval, restarts * restartInterval + byData);
    const std::int64_t unitRows = Frame::CeilDiv(units, unitsPerRow);
    return std::min(Frame::CeilDiv(unitRows, unitRowsPerMcuRow), frame.McuRows());
}

} // namespace

std::optional<JpegScanReach> ReachOfScans(const std::uint8_t* data, std::size_t size)
{
    MarkerReader reader(data, size);
    if (!reader.StartsWithSoi())
        return std::nullopt;
    std::optional<Frame> frame;
    std::int64_t restartInterval = 0;
    std::int64_t reached = 0;
    bool ended = false;
    while (!ended) {
        const std::optional<unsigned> code = reader.NextMarker();
        // The data ends here, as at the end-of-image marker the library
        // supplies then.
        if (!code)
            break;
        const unsigned c = *code;
        if (c == kEoi)
            break;
        if ((c >= kRst0 && c <= kRst7) || c == kTem)
            continue;
        const bool known = c == kSof0 || c == kSof0 + 1 || c == kSof2 || c == kDht || c == kSos ||
                           c == kDqt || c == kDnl || c == kDri || c == kCom ||
                           (c >= kApp0 && c <= kApp15);
        if (!known)
            return std::nullopt;
        const auto segment = reader.Segment();
        if (!segment) {
            // Cut inside a segment: the library reads the end-of-image
            // marker it supplies as the rest, and no scan data follows.
            ended = true;
            continue;
        }
        const auto [body, length] = *segment;
        if (c >= kSof0 && c <= kSof2) {
            if (frame)
                return std::nullopt;
            frame = ReadFrame(reader, body, length);
            if (!frame)
                return std::nullopt;
            frame->progressive = c == kSof2;
        } else if (c == kDri) {
            if (length != 2)
                return std::nullopt;
            restartInterval = body[0] << 8 | body[1];
        } else if (c == kSos) {
            if (!frame)
                return std::nullopt;
            std::int64_t bytes = 0;
            std::int64_t restarts = 0;
            reader.ScanData(bytes, restarts);
            const std::optional<std::int64_t> scan =
                ScanReach(*frame, body, length, bytes, restarts, restartInterval);
            if (!scan)
                return std::nullopt;
            reached = std::max(reached, *scan);
        }
    }
    if (!frame)
        return std::nullopt;
    return JpegScanReach{frame->heightOffset, reached, frame->McuRows(), 8 * frame->vMax};
}

} // namespace orvelle
