#include "WmfTranslator.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

#include <QString>

#include "BmpReader.h"
#include "EmfFonts.h"
#include "EmfReader.h"
#include "EmfRecords.h"
#include "Errors.h"

namespace orvelle {

namespace {

enum WmfFunction : std::uint16_t {
    kEof = 0x0000,
    kSaveDc = 0x001E,
    kCreatePalette = 0x00F7,
    kSetBkMode = 0x0102,
    kSetMapMode = 0x0103,
    kSetRop2 = 0x0104,
    kSetPolyFillMode = 0x0106,
    kSetStretchBltMode = 0x0107,
    kRestoreDc = 0x0127,
    kInvertRegion = 0x012A,
    kPaintRegion = 0x012B,
    kSelectClipRegion = 0x012C,
    kSelectObject = 0x012D,
    kSetTextAlign = 0x012E,
    kDibCreatePatternBrush = 0x0142,
    kDeleteObject = 0x01F0,
    kCreatePatternBrush = 0x01F9,
    kSetBkColor = 0x0201,
    kSetTextColor = 0x0209,
    kSetTextJustification = 0x020A,
    kSetWindowOrg = 0x020B,
    kSetWindowExt = 0x020C,
    kSetViewportOrg = 0x020D,
    kSetViewportExt = 0x020E,
    kOffsetWindowOrg = 0x020F,
    kOffsetViewportOrg = 0x0211,
    kLineTo = 0x0213,
    kMoveTo = 0x0214,
    kOffsetClipRegion = 0x0220,
    kFillRegion = 0x0228,
    kCreatePenIndirect = 0x02FA,
    kCreateFontIndirect = 0x02FB,
    kCreateBrushIndirect = 0x02FC,
    kPolygon = 0x0324,
    kPolyline = 0x0325,
    kScaleWindowExt = 0x0410,
    kScaleViewportExt = 0x0412,
    kExcludeClipRect = 0x0415,
    kIntersectClipRect = 0x0416,
    kEllipse = 0x0418,
    kRectangle = 0x041B,
    kSetPixel = 0x041F,
    kFrameRegion = 0x0429,
    kTextOut = 0x0521,
    kPolyPolygon = 0x0538,
    kRoundRect = 0x061C,
    kPatBlt = 0x061D,
    kCreateRegion = 0x06FF,
    kArc = 0x0817,
    kPie = 0x081A,
    kChord = 0x0830,
    kBitBlt = 0x0922,
    kDibBitBlt = 0x0940,
    kExtTextOut = 0x0A32,
    kStretchBlt = 0x0B23,
    kDibStretchBlt = 0x0B41,
    kSetDibToDev = 0x0D33,
    kStretchDib = 0x0F43,
};

// How a 32-bit field of an enhanced record is made from the WMF record's
// 16-bit parameters: one of them, signed or not, or a pair of them holding a
// 32-bit value (a colour), low word first.
enum class From : std::uint8_t { Signed, Unsigned, Pair };

struct Field {
    From from;
    std::uint8_t parameter;
};

// A signed parameter, an unsigned one and a pair from parameter i on.
constexpr Field S(int i)
{
    return {From::Signed, std::uint8_t(i)};
}
constexpr Field W(int i)
{
    return {From::Unsigned, std::uint8_t(i)};
}
constexpr Field L(int i)
{
    return {From::Pair, std::uint8_t(i)};
}

// A WMF record that is the enhanced one with its parameters in another
// order: WMF stores them last argument first, so points come as y, x and
// boxes as bottom, right, top, left.
struct Reordered {
    std::uint16_t function;
    EmfRecord type;
    std::array<Field, 8> fields;
    std::size_t count;

    constexpr Reordered(std::uint16_t f, EmfRecord t, std::initializer_list<Field> list)
        : function(f), type(t), fields{}, count(list.size())
    {
        std::copy(list.begin(), list.end(), fields.begin());
    }
};

constexpr auto kReordered = std::to_array<Reordered>({
    {kSetWindowExt, EmfRecord::SetWindowExtEx, {S(1), S(0)}},
    {kSetViewportExt, EmfRecord::SetViewportExtEx, {S(1), S(0)}},
    {kScaleWindowExt, EmfRecord::ScaleWindowExtEx, {S(3), S(2), S(1), S(0)}},
    {kScaleViewportExt, EmfRecord::ScaleViewportExtEx, {S(3), S(2), S(1), S(0)}},
    {kSetPolyFillMode, EmfRecord::SetPolyFillMode, {W(0)}},
    {kSetRop2, EmfRecord::SetRop2, {W(0)}},
    {kSetStretchBltMode, EmfRecord::SetStretchBltMode, {W(0)}},
    {kSetTextColor, EmfRecord::SetTextColor, {L(0)}},
    {kSetBkColor, EmfRecord::SetBkColor, {L(0)}},
    {kSetBkMode, EmfRecord::SetBkMode, {W(0)}},
    {kSetTextAlign, EmfRecord::SetTextAlign, {W(0)}},
    {kSetTextJustification, EmfRecord::SetTextJustification, {S(1), S(0)}},
    {kOffsetClipRegion, EmfRecord::OffsetClipRgn, {S(1), S(0)}},
    {kMoveTo, EmfRecord::MoveToEx, {S(1), S(0)}},
    {kLineTo, EmfRecord::LineTo, {S(1), S(0)}},
    {kSetPixel, EmfRecord::SetPixelV, {S(3), S(2), L(0)}},
    {kIntersectClipRect, EmfRecord::IntersectClipRect, {S(3), S(2), S(1), S(0)}},
    {kExcludeClipRect, EmfRecord::ExcludeClipRect, {S(3), S(2), S(1), S(0)}},
    {kRectangle, EmfRecord::Rectangle, {S(3), S(2), S(1), S(0)}},
    {kEllipse, EmfRecord::Ellipse, {S(3), S(2), S(1), S(0)}},
    // The box, then the corner ellipse's width and height.
    {kRoundRect, EmfRecord::RoundRect, {S(5), S(4), S(3), S(2), S(1), S(0)}},
    // The box, then the start and end points of the arc.
    {kArc, EmfRecord::Arc, {S(7), S(6), S(5), S(4), S(3), S(2), S(1), S(0)}},
    {kChord, EmfRecord::Chord, {S(7), S(6), S(5), S(4), S(3), S(2), S(1), S(0)}},
    {kPie, EmfRecord::Pie, {S(7), S(6), S(5), S(4), S(3), S(2), S(1), S(0)}},
});

constexpr int kMapIsotropic = 7;
constexpr int kMapAnisotropic = 8;
// The enhanced header counts its handles in 16 bits, slot 0 included.
constexpr std::size_t kMaxSlots = 0xFFFE;
// Regions of more rectangles clip to their bounding box: the exact clip is
// built from one exclusion per gap, which grows with bands × rectangles.
constexpr std::size_t kMaxRegionRects = 256;
constexpr qsizetype kEmfHeaderSize = 108;
// The translated picture's reference device has a pixel of a hundredth of a
// millimetre, so the frame is its own size in device pixels.
constexpr int kDeviceMillimetres = 1000;
constexpr int kDevicePixels = kDeviceMillimetres * 100;

constexpr std::uint32_t kPatCopy = 0x00F00021;
constexpr std::uint32_t kRgnCopy = 5;
constexpr std::uint16_t kEtoOpaque = 0x0002;
constexpr std::uint16_t kEtoClipped = 0x0004;
constexpr std::uint32_t kOneFloat = 0x3F800000; // 1.0f

void Put16(QByteArray& out, std::uint16_t v)
{
    out.append(char(v & 0xFF)).append(char(v >> 8));
}

void Put32(QByteArray& out, std::uint32_t v)
{
    Put16(out, std::uint16_t(v & 0xFFFF));
    Put16(out, std::uint16_t(v >> 16));
}

// What an object slot holds. Pens, brushes and fonts reach the player;
// regions stay in the translator, which turns their selection into clipping.
enum class Slot { Free, Drawing, Region, Other };

// A rectangle of a region, right and bottom edges left out.
struct Span {
    int left;
    int top;
    int right;
    int bottom;
};

struct SlotEntry {
    Slot kind = Slot::Free;
    std::vector<Span> rects;
};

// The origins the translator shadows, since enhanced files have no record
// that moves an origin by an offset.
struct Origins {
    std::int64_t windowX = 0;
    std::int64_t windowY = 0;
    std::int64_t viewportX = 0;
    std::int64_t viewportY = 0;
};

// Where a device-independent bitmap lies in a record: its info (header,
// masks and colour table) and then its bits.
struct DibPart {
    QByteArray info;
    QByteArray bits;
};

class Translator {
public:
    Translator(const QByteArray& wmf, const WmfFrame& frame) : wmf_(wmf), frame_(frame)
    {
        tableSize_ = std::min<std::size_t>(ReadU16(wmf_, 10), kMaxSlots);
    }

    QByteArray Run()
    {
        Emit(EmfRecord::SetMapMode, {kMapAnisotropic});
        origins_.windowX = frame_.left;
        origins_.windowY = frame_.top;
        Emit(EmfRecord::SetWindowOrgEx, {frame_.left, frame_.top});
        if (frame_.right != frame_.left && frame_.bottom != frame_.top)
            Emit(EmfRecord::SetWindowExtEx,
                 {frame_.right - frame_.left, frame_.bottom - frame_.top});
        Emit(EmfRecord::SetViewportOrgEx, {0, 0});
        if (frame_.width != 0 && frame_.height != 0)
            Emit(EmfRecord::SetViewportExtEx, {frame_.width, frame_.height});

        qsizetype offset = qsizetype(ReadU16(wmf_, 2)) * 2;
        while (offset + 6 <= wmf_.size()) {
            const std::uint64_t bytes = std::uint64_t(ReadU32(wmf_, offset)) * 2;
            const std::uint16_t function = ReadU16(wmf_, offset + 4);
            if (bytes < 6 || bytes > std::uint64_t(wmf_.size() - offset) || function == kEof)
                break;
            Translate(function, offset, qsizetype(bytes));
            if (invalid_)
                return {};
            offset += qsizetype(bytes);
        }
        Emit(EmfRecord::Eof, {0, 16, 20});
        return Header() + records_;
    }

private:
    // The i-th 16-bit parameter of the record being translated; parameters
    // past its end read as 0.
    std::int16_t P(int i) const
    {
        const qsizetype at = 6 + qsizetype(i) * 2;
        return at + 2 <= size_ ? ReadI16(wmf_, offset_ + at) : 0;
    }
    std::uint16_t U(int i) const { return std::uint16_t(P(i)); }
    std::uint32_t P32(int i) const { return std::uint32_t(U(i)) | std::uint32_t(U(i + 1)) << 16; }
    // A byte of the parameters, counted from the first one.
    std::uint8_t Byte(qsizetype at) const
    {
        return 6 + at < size_ ? std::uint8_t(wmf_[offset_ + 6 + at]) : 0;
    }
    bool HasParameters(std::uint64_t count) const { return 6 + count * 2 <= std::uint64_t(size_); }
    // The parameter bytes from byte at to the end of the record.
    QByteArray ParameterBytes(qsizetype at, qsizetype count) const
    {
        if (at < 0 || count < 0 || 6 + at > size_ || count > size_ - 6 - at)
            return {};
        return wmf_.mid(offset_ + 6 + at, count);
    }

    void Emit(EmfRecord type, std::initializer_list<std::int64_t> words)
    {
        QByteArray body;
        for (std::int64_t w : words)
            Put32(body, std::uint32_t(w));
        EmitRaw(type, body);
    }
    void EmitRaw(EmfRecord type, QByteArray body)
    {
        if (body.size() % 4 != 0)
            body.append(4 - body.size() % 4, '\0');
        Put32(records_, RecordNumber(type));
        Put32(records_, std::uint32_t(8 + body.size()));
        records_ += body;
    }

    // The lowest free slot of the file's object table; a file that makes
    // more objects than its header declares is damaged.
    std::optional<std::size_t> Allocate(Slot kind)
    {
        for (std::size_t i = 0; i < slots_.size(); ++i) {
            if (slots_[i].kind == Slot::Free) {
                slots_[i] = SlotEntry{kind, {}};
                return i;
            }
        }
        if (slots_.size() >= tableSize_) {
            invalid_ = true;
            return std::nullopt;
        }
        slots_.push_back(SlotEntry{kind, {}});
        return slots_.size() - 1;
    }

    // The slot an index names; an index outside the table makes the file invalid.
    SlotEntry* SlotAt(std::size_t index)
    {
        if (index >= tableSize_) {
            invalid_ = true;
            return nullptr;
        }
        return index < slots_.size() ? &slots_[index] : &freeSlot_;
    }

    // Points from parameter first on, x before y; count of them.
    void PutPoints(QByteArray& body, int first, int count) const
    {
        for (int i = 0; i < count * 2; ++i)
            Put16(body, U(first + i));
    }

    void Poly(EmfRecord type)
    {
        const int count = P(0);
        if (count <= 0 || !HasParameters(1 + std::uint64_t(count) * 2))
            return;
        QByteArray body(16, '\0');
        Put32(body, std::uint32_t(count));
        PutPoints(body, 1, count);
        EmitRaw(type, body);
    }

    void PolyPolygon()
    {
        const int polys = P(0);
        if (polys <= 0 || !HasParameters(1 + std::uint64_t(polys)))
            return;
        std::uint64_t total = 0;
        for (int i = 0; i < polys; ++i)
            total += U(1 + i);
        if (!HasParameters(1 + std::uint64_t(polys) + total * 2))
            return;
        QByteArray body(16, '\0');
        Put32(body, std::uint32_t(polys));
        Put32(body, std::uint32_t(total));
        for (int i = 0; i < polys; ++i)
            Put32(body, U(1 + i));
        PutPoints(body, 1 + polys, int(total));
        EmitRaw(EmfRecord::PolyPolygon16, body);
    }

    // The enhanced record of a reordered WMF record; false for any other record.
    bool EmitReordered(std::uint16_t function)
    {
        const auto entry = std::ranges::find(kReordered, function, &Reordered::function);
        if (entry == kReordered.end())
            return false;
        QByteArray body;
        for (std::size_t i = 0; i < entry->count; ++i) {
            const Field field = entry->fields[i];
            switch (field.from) {
            case From::Signed:
                Put32(body, std::uint32_t(std::int32_t(P(field.parameter))));
                break;
            case From::Unsigned:
                Put32(body, U(field.parameter));
                break;
            case From::Pair:
                Put32(body, P32(field.parameter));
                break;
            }
        }
        EmitRaw(entry->type, body);
        return true;
    }

    void EmitWindowOrg() { Emit(EmfRecord::SetWindowOrgEx, {origins_.windowX, origins_.windowY}); }
    void EmitViewportOrg()
    {
        Emit(EmfRecord::SetViewportOrgEx, {origins_.viewportX, origins_.viewportY});
    }

    void SaveDc()
    {
        Emit(EmfRecord::SaveDC, {});
        // The player passes over saves beyond its limit; the shadowed
        // origins must follow it exactly.
        if (saved_.size() < kMaxSavedStates)
            saved_.push_back(origins_);
    }

    void RestoreDc(std::int16_t which)
    {
        Emit(EmfRecord::RestoreDC, {which});
        const std::optional<std::size_t> target = RestoredState(which, saved_.size());
        if (!target)
            return;
        origins_ = saved_[*target];
        saved_.resize(*target);
    }

    // The 8-bit logical font, widened to the enhanced file's LOGFONTW.
    void CreateFont()
    {
        const std::optional<std::size_t> slot = Allocate(Slot::Drawing);
        if (!slot)
            return;
        QByteArray body;
        Put32(body, std::uint32_t(*slot + 1));
        for (int i = 0; i < 5; ++i)
            Put32(body, std::uint32_t(std::int32_t(P(i))));
        for (qsizetype i = 10; i < 18; ++i)
            body.append(char(Byte(i)));
        QByteArray face;
        for (qsizetype i = 18; i < 18 + 32 && 6 + i < size_ && Byte(i) != 0; ++i)
            face.append(char(Byte(i)));
        const QString name = DecodeCharSetText(face, Byte(13), {}).left(31);
        for (QChar c : name)
            Put16(body, c.unicode());
        body.append((32 - name.size()) * 2, '\0');
        EmitRaw(EmfRecord::ExtCreateFontIndirectW, body);
    }

    // ExtTextOutA with the 8-bit string as it is and 32-bit spacing.
    void EmitText(int x, int y, std::uint16_t options, const Span* rect, const QByteArray& text,
                  const std::vector<std::int32_t>& dx)
    {
        constexpr std::uint32_t fixed = 76;
        const auto chars = std::uint32_t(text.size());
        const std::uint32_t padded = (chars + 3) / 4 * 4;
        QByteArray body(16, '\0'); // bounds, unknown without playing
        for (std::uint32_t v : {1U, 0U, 0U})
            Put32(body, v); // graphics mode, x and y scale
        Put32(body, std::uint32_t(x));
        Put32(body, std::uint32_t(y));
        Put32(body, chars);
        Put32(body, fixed);
        Put32(body, options);
        for (int v : {rect ? rect->left : 0, rect ? rect->top : 0, rect ? rect->right : 0,
                      rect ? rect->bottom : 0})
            Put32(body, std::uint32_t(v));
        Put32(body, dx.empty() ? 0 : fixed + padded);
        body += text;
        body.append(qsizetype(padded - chars), '\0');
        for (std::int32_t d : dx)
            Put32(body, std::uint32_t(d));
        EmitRaw(EmfRecord::ExtTextOutA, body);
    }

    void TextOut()
    {
        const int length = U(0);
        const int words = (length + 1) / 2;
        if (!HasParameters(1 + std::uint64_t(words) + 2))
            return;
        EmitText(P(2 + words), P(1 + words), 0, nullptr, ParameterBytes(2, length), {});
    }

    void ExtTextOut()
    {
        const int length = P(2);
        const std::uint16_t options = U(3);
        if (length < 0 || !HasParameters(4))
            return;
        int at = 4;
        std::optional<Span> rect;
        if (options & (kEtoOpaque | kEtoClipped)) {
            rect = Span{P(4), P(5), P(6), P(7)};
            at += 4;
        }
        const int words = (length + 1) / 2;
        if (!HasParameters(std::uint64_t(at) + std::uint64_t(words)))
            return;
        const QByteArray text = ParameterBytes(qsizetype(at) * 2, length);
        // The spacing is there when the record has room for it.
        std::vector<std::int32_t> dx;
        if (HasParameters(std::uint64_t(at) + std::uint64_t(words) + std::uint64_t(length))) {
            for (int i = 0; i < length; ++i)
                dx.push_back(P(at + words + i));
        }
        EmitText(P(1), P(0), options, rect ? &*rect : nullptr, text, dx);
    }

    // The bitmap from parameter byte at to the end of the record, split into
    // its info and its bits; nothing when its header does not fit.
    std::optional<DibPart> Dib(qsizetype at, std::uint16_t usage) const
    {
        // Colour tables of palette indices have no palette to refer to here:
        // such bitmaps draw nothing.
        const qsizetype available = size_ - 6 - at;
        if (usage != 0 || available <= 0)
            return std::nullopt;
        const QByteArray dib = ParameterBytes(at, available);
        qsizetype infoBytes = 0;
        try {
            infoBytes = DibInfoLength(dib);
        } catch (const Exception&) {
            return std::nullopt;
        }
        return DibPart{dib.left(infoBytes), dib.mid(infoBytes)};
    }

    // BitBlt and StretchBlt: destination, operation and, with a bitmap, its source.
    void EmitBlit(int x, int y, int width, int height, std::uint32_t rop, int sx = 0, int sy = 0,
                  const DibPart* dib = nullptr, std::optional<std::pair<int, int>> source = {})
    {
        QByteArray body(16, '\0');
        for (int v : {x, y, width, height})
            Put32(body, std::uint32_t(v));
        Put32(body, rop);
        Put32(body, std::uint32_t(sx));
        Put32(body, std::uint32_t(sy));
        for (std::uint32_t v : {kOneFloat, 0U, 0U, kOneFloat, 0U, 0U})
            Put32(body, v);
        Put32(body, 0xFFFFFF); // background colour of the source
        Put32(body, 0);        // its colours are real colours
        const std::uint32_t infoAt = 8 + 92 + (source ? 8 : 0);
        const std::uint32_t infoBytes = dib ? std::uint32_t(dib->info.size()) : 0;
        for (std::uint32_t v : {dib ? infoAt : 0U, infoBytes, dib ? infoAt + infoBytes : 0U,
                                dib ? std::uint32_t(dib->bits.size()) : 0U})
            Put32(body, v);
        if (source) {
            Put32(body, std::uint32_t(source->first));
            Put32(body, std::uint32_t(source->second));
        }
        if (dib)
            body += dib->info + dib->bits;
        EmitRaw(source ? EmfRecord::StretchBlt : EmfRecord::BitBlt, body);
    }

    // The device-dependent bitmap (Bitmap16) from parameter byte at to the
    // end of the record, as a top-down DIB of the same bits: two-colour
    // bitmaps draw their 0 bits black and their 1 bits white, and those of
    // 16, 24 and 32 bits a pixel are stored as a DIB's plain pixels are.
    // Bitmaps of 4 and 8 bits a pixel index the recording device's palette,
    // which the file does not hold: they draw nothing, as do bitmaps of
    // more than one plane or whose rows are not all there.
    std::optional<DibPart> Bitmap16(qsizetype at) const
    {
        const qsizetype available = size_ - 6 - at;
        if (available < 10)
            return std::nullopt;
        const QByteArray bitmap = ParameterBytes(at, available);
        const std::int64_t width = ReadI16(bitmap, 2);
        const std::int64_t height = ReadI16(bitmap, 4);
        const std::int64_t rowBytes = ReadI16(bitmap, 6);
        const int planes = std::uint8_t(bitmap[8]);
        const int bits = std::uint8_t(bitmap[9]);
        if (width <= 0 || height <= 0 || planes != 1 ||
            (bits != 1 && bits != 16 && bits != 24 && bits != 32))
            return std::nullopt;
        const std::int64_t used = (width * bits + 7) / 8;
        if (rowBytes < used || rowBytes * height > available - 10)
            return std::nullopt;
        DibPart dib;
        for (std::uint32_t v : {40U, std::uint32_t(width), std::uint32_t(-height)})
            Put32(dib.info, v);
        Put16(dib.info, 1);
        Put16(dib.info, std::uint16_t(bits));
        const std::uint32_t colours = bits == 1 ? 2 : 0;
        for (std::uint32_t v : {0U, 0U, 0U, 0U, colours, 0U})
            Put32(dib.info, v);
        if (bits == 1) {
            Put32(dib.info, 0x000000);
            Put32(dib.info, 0xFFFFFF);
        }
        // DIB rows end on a 4-byte boundary, a Bitmap16's on a 2-byte one.
        const std::int64_t stride = (width * bits + 31) / 32 * 4;
        for (std::int64_t y = 0; y < height; ++y) {
            QByteArray row = bitmap.mid(qsizetype(10 + y * rowBytes), qsizetype(used));
            row.append(qsizetype(stride - used), '\0');
            dib.bits += row;
        }
        return dib;
    }

    // META_BITBLT, META_STRETCHBLT and their DIB forms; the forms without a
    // bitmap, told by their length, fill with a raster operation alone.
    void BlockBlit(std::uint16_t function)
    {
        const bool stretch = function == kDibStretchBlt || function == kStretchBlt;
        const qsizetype bare = qsizetype((function >> 8) + 3) * 2;
        const std::uint32_t rop = P32(0);
        if (size_ == bare) {
            const int d = stretch ? 7 : 5; // destination height after a reserved word
            EmitBlit(P(d + 3), P(d + 2), P(d + 1), P(d), rop);
            return;
        }
        const int s = stretch ? 2 : 0; // source size words before the source position
        const int d = s + 4;
        const qsizetype at = qsizetype(d + 4) * 2;
        const std::optional<DibPart> dib =
            function == kBitBlt || function == kStretchBlt ? Bitmap16(at) : Dib(at, 0);
        if (!dib)
            return;
        if (stretch)
            EmitBlit(P(d + 3), P(d + 2), P(d + 1), P(d), rop, P(s + 3), P(s + 2), &*dib,
                     std::pair<int, int>{P(3), P(2)});
        else
            EmitBlit(P(d + 3), P(d + 2), P(d + 1), P(d), rop, P(s + 3), P(s + 2), &*dib);
    }

    // StretchDIBits and SetDIBitsToDevice share their leading fields.
    QByteArray DibFields(std::initializer_list<int> placeAndSource, const DibPart& dib,
                         std::uint32_t usage, std::uint32_t fixed) const
    {
        QByteArray body(16, '\0');
        for (int v : placeAndSource)
            Put32(body, std::uint32_t(v));
        const auto infoBytes = std::uint32_t(dib.info.size());
        for (std::uint32_t v :
             {fixed, infoBytes, fixed + infoBytes, std::uint32_t(dib.bits.size()), usage})
            Put32(body, v);
        return body;
    }

    void StretchDib()
    {
        const std::uint16_t usage = U(2);
        const std::optional<DibPart> dib = Dib(22, usage);
        if (!dib)
            return;
        QByteArray body = DibFields({P(10), P(9), P(6), P(5), P(4), P(3)}, *dib, usage, 80);
        Put32(body, P32(0));
        Put32(body, std::uint32_t(std::int32_t(P(8))));
        Put32(body, std::uint32_t(std::int32_t(P(7))));
        EmitRaw(EmfRecord::StretchDIBits, body + dib->info + dib->bits);
    }

    void SetDibToDevice()
    {
        const std::uint16_t usage = U(0);
        const std::optional<DibPart> dib = Dib(18, usage);
        if (!dib)
            return;
        QByteArray body = DibFields({P(8), P(7), P(4), P(3), P(6), P(5)}, *dib, usage, 76);
        Put32(body, U(2));
        Put32(body, U(1));
        EmitRaw(EmfRecord::SetDIBitsToDevice, body + dib->info + dib->bits);
    }

    void DibPatternBrush()
    {
        const std::optional<std::size_t> slot = Allocate(Slot::Drawing);
        if (!slot)
            return;
        const std::uint16_t usage = U(1);
        const std::optional<DibPart> dib = Dib(4, usage);
        QByteArray body;
        Put32(body, std::uint32_t(*slot + 1));
        Put32(body, usage);
        const std::uint32_t infoBytes = dib ? std::uint32_t(dib->info.size()) : 0;
        for (std::uint32_t v : {dib ? 32U : 0U, infoBytes, dib ? 32U + infoBytes : 0U,
                                dib ? std::uint32_t(dib->bits.size()) : 0U})
            Put32(body, v);
        if (dib)
            body += dib->info + dib->bits;
        EmitRaw(EmfRecord::CreateDIBPatternBrushPt, body);
    }

    // A region's scans: each a band from top to bottom holding left-right
    // pairs. Whatever runs past the record or is malformed ends the list.
    std::vector<Span> RegionRects() const
    {
        std::vector<Span> rects;
        const int scans = U(5);
        int at = 11;
        for (int scan = 0; scan < scans; ++scan) {
            const int count = U(at);
            if (count % 2 != 0 || !HasParameters(std::uint64_t(at) + 3 + std::uint64_t(count) + 1))
                break;
            const int top = P(at + 1);
            const int bottom = P(at + 2);
            for (int i = 0; i < count; i += 2) {
                const int left = P(at + 3 + i);
                const int right = P(at + 4 + i);
                if (left < right && top < bottom)
                    rects.push_back({left, top, right, bottom});
            }
            at += 3 + count + 1;
        }
        return rects;
    }

    // A region as the clip, in logical units at the time of selection:
    // reset, clip to its bounding box, then take out every part of the box
    // that no rectangle covers, band by band.
    void SelectClipRegion(const SlotEntry* slot)
    {
        Emit(EmfRecord::ExtSelectClipRgn, {0, kRgnCopy});
        if (slot == nullptr || slot->kind != Slot::Region || slot->rects.empty())
            return;
        const std::vector<Span>& rects = slot->rects;
        Span box = rects.front();
        for (const Span& r : rects)
            box = {std::min(box.left, r.left), std::min(box.top, r.top),
                   std::max(box.right, r.right), std::max(box.bottom, r.bottom)};
        Emit(EmfRecord::IntersectClipRect, {box.left, box.top, box.right, box.bottom});
        if (rects.size() > kMaxRegionRects)
            return;
        std::vector<int> edges;
        for (const Span& r : rects) {
            edges.push_back(r.top);
            edges.push_back(r.bottom);
        }
        std::sort(edges.begin(), edges.end());
        edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
        for (std::size_t e = 0; e + 1 < edges.size(); ++e) {
            const int top = edges[e];
            const int bottom = edges[e + 1];
            std::vector<std::pair<int, int>> covered;
            for (const Span& r : rects)
                if (r.top <= top && r.bottom >= bottom)
                    covered.emplace_back(r.left, r.right);
            std::sort(covered.begin(), covered.end());
            int x = box.left;
            for (const auto& [left, right] : covered) {
                if (left > x)
                    Emit(EmfRecord::ExcludeClipRect, {x, top, left, bottom});
                x = std::max(x, right);
            }
            if (x < box.right)
                Emit(EmfRecord::ExcludeClipRect, {x, top, box.right, bottom});
        }
    }

    // Fills a region's rectangles with the brush selected, or with the
    // given one for the span of this record only.
    void FillRegion(const SlotEntry* region, std::optional<std::size_t> brush)
    {
        if (region == nullptr || region->kind != Slot::Region)
            return;
        if (brush) {
            // The player passes over saves beyond its limit: no brush can be
            // put back then, so nothing is drawn.
            if (saved_.size() >= kMaxSavedStates)
                return;
            Emit(EmfRecord::SaveDC, {});
            Emit(EmfRecord::SelectObject, {std::int64_t(*brush) + 1});
        }
        for (const Span& r : region->rects)
            EmitBlit(r.left, r.top, r.right - r.left, r.bottom - r.top, kPatCopy);
        if (brush)
            Emit(EmfRecord::RestoreDC, {-1});
    }

    // SetMapMode: the frame's mapping is anisotropic; a fixed mode would
    // throw away the window the picture was fitted to.
    void SetMapMode()
    {
        if (P(0) == kMapIsotropic || P(0) == kMapAnisotropic)
            Emit(EmfRecord::SetMapMode, {P(0)});
    }

    // SetWindowOrg, OffsetWindowOrg and their viewport twins (y, x): the
    // shadowed origin moves, and the enhanced file is told where it lands.
    void MoveOrigin(bool window, bool offset)
    {
        std::int64_t& x = window ? origins_.windowX : origins_.viewportX;
        std::int64_t& y = window ? origins_.windowY : origins_.viewportY;
        x = (offset ? x : 0) + P(1);
        y = (offset ? y : 0) + P(0);
        window ? EmitWindowOrg() : EmitViewportOrg();
    }

    void CreatePen()
    {
        if (const auto slot = Allocate(Slot::Drawing))
            Emit(EmfRecord::CreatePen, {std::int64_t(*slot) + 1, U(0), P(1), P(2), P32(3)});
    }

    void CreateBrush()
    {
        if (const auto slot = Allocate(Slot::Drawing))
            Emit(EmfRecord::CreateBrushIndirect, {std::int64_t(*slot) + 1, U(0), P32(1), U(3)});
    }

    void CreateRegion()
    {
        if (const auto slot = Allocate(Slot::Region))
            slots_[*slot].rects = RegionRects();
    }

    // Pens, brushes and fonts are selected in the enhanced file; a region
    // becomes the clip.
    void SelectObject()
    {
        const std::size_t index = U(0);
        const SlotEntry* slot = SlotAt(index);
        if (slot != nullptr && slot->kind == Slot::Drawing)
            Emit(EmfRecord::SelectObject, {std::int64_t(index) + 1});
        else if (slot != nullptr && slot->kind == Slot::Region)
            SelectClipRegion(slot);
    }

    void DeleteObject()
    {
        const std::size_t index = U(0);
        SlotEntry* slot = SlotAt(index);
        if (slot == nullptr || index >= slots_.size())
            return;
        if (slot->kind == Slot::Drawing)
            Emit(EmfRecord::DeleteObject, {std::int64_t(index) + 1});
        *slot = SlotEntry{};
    }

    void SelectClip()
    {
        // Index 0 of a file without objects stands for no region at all.
        const std::size_t index = U(0);
        SelectClipRegion(index == 0 && tableSize_ == 0 ? nullptr : SlotAt(index));
    }

    void FillRegionRecord()
    {
        // The brush comes first, the region second; files written the
        // other way round are recognised by what the two slots hold.
        std::size_t region = U(1);
        std::size_t brush = U(0);
        const SlotEntry* r = SlotAt(region);
        const SlotEntry* b = SlotAt(brush);
        if (r == nullptr || b == nullptr)
            return;
        if (r->kind != Slot::Region && b->kind == Slot::Region) {
            std::swap(region, brush);
            std::swap(r, b);
        }
        if (b->kind == Slot::Drawing)
            FillRegion(r, brush);
    }

    void Translate(std::uint16_t function, qsizetype offset, qsizetype size)
    {
        offset_ = offset;
        size_ = size;
        if (EmitReordered(function))
            return;
        switch (function) {
        case kSetMapMode:
            SetMapMode();
            return;
        case kSetWindowOrg:
        case kOffsetWindowOrg:
            MoveOrigin(true, function == kOffsetWindowOrg);
            return;
        case kSetViewportOrg:
        case kOffsetViewportOrg:
            MoveOrigin(false, function == kOffsetViewportOrg);
            return;
        case kSaveDc:
            SaveDc();
            return;
        case kRestoreDc:
            RestoreDc(P(0));
            return;
        case kCreatePenIndirect:
            CreatePen();
            return;
        case kCreateBrushIndirect:
            CreateBrush();
            return;
        case kCreateFontIndirect:
            CreateFont();
            return;
        case kDibCreatePatternBrush:
            DibPatternBrush();
            return;
        case kCreateRegion:
            CreateRegion();
            return;
        case kCreatePalette:
        case kCreatePatternBrush:
            Allocate(Slot::Other);
            return;
        case kSelectObject:
            SelectObject();
            return;
        case kDeleteObject:
            DeleteObject();
            return;
        case kSelectClipRegion:
            SelectClip();
            return;
        case kPaintRegion:
            FillRegion(SlotAt(U(0)), std::nullopt);
            return;
        case kFillRegion:
            FillRegionRecord();
            return;
        case kPolygon:
            Poly(EmfRecord::Polygon16);
            return;
        case kPolyline:
            Poly(EmfRecord::Polyline16);
            return;
        case kPolyPolygon:
            PolyPolygon();
            return;
        case kTextOut:
            TextOut();
            return;
        case kExtTextOut:
            ExtTextOut();
            return;
        case kPatBlt:
            EmitBlit(P(5), P(4), P(3), P(2), P32(0));
            return;
        case kBitBlt:
        case kStretchBlt:
        case kDibBitBlt:
        case kDibStretchBlt:
            BlockBlit(function);
            return;
        case kStretchDib:
            StretchDib();
            return;
        case kSetDibToDev:
            SetDibToDevice();
            return;
        default:
            return;
        }
    }

    QByteArray Header() const
    {
        QByteArray h;
        Put32(h, RecordNumber(EmfRecord::Header));
        Put32(h, std::uint32_t(kEmfHeaderSize));
        for (int i = 0; i < 4; ++i)
            Put32(h, 0); // bounds, unknown without playing
        for (int v : {0, 0, frame_.width, frame_.height})
            Put32(h, std::uint32_t(v));
        Put32(h, kEmfSignature);
        Put32(h, 0x10000);
        Put32(h, std::uint32_t(kEmfHeaderSize + records_.size()));
        Put32(h, 0);
        Put16(h, std::uint16_t(slots_.size() + 1));
        Put16(h, 0);
        for (int i = 0; i < 3; ++i)
            Put32(h, 0); // description, palette entries
        for (int v : {kDevicePixels, kDevicePixels, kDeviceMillimetres, kDeviceMillimetres})
            Put32(h, std::uint32_t(v));
        h.append(kEmfHeaderSize - h.size(), '\0');
        return h;
    }

    const QByteArray& wmf_;
    WmfFrame frame_;
    QByteArray records_;
    std::size_t tableSize_ = 0;
    std::vector<SlotEntry> slots_;
    // What an index inside the table but past the slots made so far names.
    SlotEntry freeSlot_;
    Origins origins_;
    std::vector<Origins> saved_;
    bool invalid_ = false;
    qsizetype offset_ = 0;
    qsizetype size_ = 0;
};

} // namespace

QByteArray TranslateWmf(const QByteArray& wmf, const WmfFrame& frame)
{
    return Translator(wmf, frame).Run();
}

} // namespace orvelle
