#include "RleDecoder.h"

#include <algorithm>

namespace orvelle {

namespace {

// Escape codes: a zero count followed by one of these.
constexpr unsigned kEndOfLine = 0;
constexpr unsigned kEndOfBitmap = 1;
constexpr unsigned kDelta = 2;

class RlePainter {
public:
    RlePainter(const std::vector<BgrColour>& palette, const RleTarget& target)
        : palette_(palette), target_(target)
    {
    }

    bool Finished() const noexcept { return y_ >= target_.height; }
    // Rows from the bottom up to the highest one written.
    int RowsReached() const noexcept { return int(reached_); }

    // Pixels past the row end are dropped rather than wrapped onto the
    // next row; only an end-of-line code or a delta moves to another row.
    void Put(unsigned index)
    {
        if (x_ < target_.width && y_ < target_.height) {
            const BgrColour c = index < palette_.size() ? palette_[index] : BgrColour{};
            std::uint8_t* p = target_.bits + target_.stride * y_ + x_ * 3;
            p[0] = c.blue;
            p[1] = c.green;
            p[2] = c.red;
            reached_ = std::max(reached_, y_ + 1);
        }
        ++x_;
    }

    void NextLine()
    {
        x_ = 0;
        ++y_;
    }

    void Move(unsigned right, unsigned up)
    {
        x_ += right;
        y_ += up;
    }

private:
    const std::vector<BgrColour>& palette_;
    const RleTarget& target_;
    // 64 bits: a long run of deltas cannot overflow them.
    std::int64_t x_ = 0;
    std::int64_t y_ = 0;
    std::int64_t reached_ = 0;
};

// The index of pixel i of a group: one a byte, or two a byte, high nibble
// first.
unsigned IndexOf(RleEncoding encoding, unsigned byte, unsigned i)
{
    if (encoding == RleEncoding::Rle8)
        return byte;
    return i % 2 == 0 ? byte >> 4 : byte & 0x0F;
}

} // namespace

int ExpandRle(RleEncoding encoding, QByteArrayView data, const std::vector<BgrColour>& palette,
              const RleTarget& target)
{
    RlePainter painter(palette, target);
    const qsizetype size = data.size();
    auto byteAt = [&](qsizetype at) { return unsigned(static_cast<std::uint8_t>(data[at])); };

    qsizetype at = 0;
    while (!painter.Finished() && at + 2 <= size) {
        const unsigned count = byteAt(at);
        const unsigned value = byteAt(at + 1);
        at += 2;
        if (count > 0) {
            // An encoded run: count pixels of one index (RLE4: two
            // indices taking turns).
            for (unsigned i = 0; i < count; ++i)
                painter.Put(IndexOf(encoding, value, i));
            continue;
        }
        switch (value) {
        case kEndOfLine:
            painter.NextLine();
            break;
        case kEndOfBitmap:
            return painter.RowsReached();
        case kDelta:
            if (at + 2 > size)
                return painter.RowsReached();
            painter.Move(byteAt(at), byteAt(at + 1));
            at += 2;
            break;
        default: {
            // An absolute run of value pixels, padded to a 16-bit boundary.
            const qsizetype bytes =
                encoding == RleEncoding::Rle8 ? qsizetype(value) : qsizetype(value + 1) / 2;
            for (unsigned i = 0; i < value; ++i) {
                const qsizetype from = at + (encoding == RleEncoding::Rle8 ? i : i / 2);
                if (from >= size)
                    return painter.RowsReached();
                painter.Put(IndexOf(encoding, byteAt(from), i));
            }
            at += bytes + bytes % 2;
            break;
        }
        }
    }
    return painter.RowsReached();
}

} // namespace orvelle
