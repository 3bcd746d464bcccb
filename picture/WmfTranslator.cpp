#include "WmfTranslator.h"

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "EmfReader.h"

namespace orvelle {

namespace {

enum WmfFunction : std::uint16_t {
    kEof = 0x0000,
    kSaveDc = 0x001E,
    kCreatePalette = 0x00F7,
    kSetMapMode = 0x0103,
    kSetPolyFillMode = 0x0106,
    kRestoreDc = 0x0127,
    kSelectObject = 0x012D,
    kDibCreatePatternBrush = 0x0142,
    kDeleteObject = 0x01F0,
    kCreatePatternBrush = 0x01F9,
    kSetWindowOrg = 0x020B,
    kSetWindowExt = 0x020C,
    kSetViewportOrg = 0x020D,
    kSetViewportExt = 0x020E,
    kLineTo = 0x0213,
    kMoveTo = 0x0214,
    kCreatePenIndirect = 0x02FA,
    kCreateFontIndirect = 0x02FB,
    kCreateBrushIndirect = 0x02FC,
    kPolygon = 0x0324,
    kPolyline = 0x0325,
    kEllipse = 0x0418,
    kRectangle = 0x041B,
    kSetPixel = 0x041F,
    kPolyPolygon = 0x0538,
    kRoundRect = 0x061C,
    kCreateRegion = 0x06FF,
    kArc = 0x0817,
    kPie = 0x081A,
    kChord = 0x0830,
};

enum EmfType : std::uint32_t {
    kEmfHeader = 1,
    kEmfSetWindowExt = 9,
    kEmfSetWindowOrg = 10,
    kEmfSetViewportExt = 11,
    kEmfSetViewportOrg = 12,
    kEmfEof = 14,
    kEmfSetPixel = 15,
    kEmfSetMapMode = 17,
    kEmfSetPolyFillMode = 19,
    kEmfMoveTo = 27,
    kEmfSaveDc = 33,
    kEmfRestoreDc = 34,
    kEmfSelectObject = 37,
    kEmfCreatePen = 38,
    kEmfCreateBrush = 39,
    kEmfDeleteObject = 40,
    kEmfEllipse = 42,
    kEmfRectangle = 43,
    kEmfRoundRect = 44,
    kEmfArc = 45,
    kEmfChord = 46,
    kEmfPie = 47,
    kEmfLineTo = 54,
    kEmfPolygon16 = 86,
    kEmfPolyline16 = 87,
    kEmfPolyPolygon16 = 91,
};

constexpr int kMapIsotropic = 7;
constexpr int kMapAnisotropic = 8;
constexpr std::size_t kMaxSlots = 0xFFFF;
constexpr qsizetype kEmfHeaderSize = 108;
// The translated picture's reference device has a pixel of a hundredth of a
// millimetre, so the frame is its own size in device pixels.
constexpr int kDeviceMillimetres = 1000;
constexpr int kDevicePixels = kDeviceMillimetres * 100;

void Put16(QByteArray& out, std::uint16_t v)
{
    out.append(char(v & 0xFF)).append(char(v >> 8));
}

void Put32(QByteArray& out, std::uint32_t v)
{
    Put16(out, std::uint16_t(v & 0xFFFF));
    Put16(out, std::uint16_t(v >> 16));
}

// What an object slot holds: only pens and brushes reach the player.
enum class Slot { Free, Drawing, Other };

class Translator {
public:
    Translator(const QByteArray& wmf, const WmfFrame& frame) : wmf_(wmf), frame_(frame) {}

    QByteArray Run()
    {
        Emit(kEmfSetMapMode, {kMapAnisotropic});
        Emit(kEmfSetWindowOrg, {frame_.left, frame_.top});
        if (frame_.right != frame_.left && frame_.bottom != frame_.top)
            Emit(kEmfSetWindowExt, {frame_.right - frame_.left, frame_.bottom - frame_.top});
        Emit(kEmfSetViewportOrg, {0, 0});
        if (frame_.width != 0 && frame_.height != 0)
            Emit(kEmfSetViewportExt, {frame_.width, frame_.height});

        qsizetype offset = qsizetype(ReadU16(wmf_, 2)) * 2;
        while (offset + 6 <= wmf_.size()) {
            const std::uint64_t bytes = std::uint64_t(ReadU32(wmf_, offset)) * 2;
            const std::uint16_t function = ReadU16(wmf_, offset + 4);
            if (bytes < 6 || bytes > std::uint64_t(wmf_.size() - offset) || function == kEof)
                break;
            Translate(function, offset, qsizetype(bytes));
            offset += qsizetype(bytes);
        }
        Emit(kEmfEof, {0, 16, 20});
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
    std::uint32_t P32(int i) const
    {
        return std::uint32_t(std::uint16_t(P(i))) | std::uint32_t(std::uint16_t(P(i + 1))) << 16;
    }
    bool HasParameters(std::uint64_t count) const
    {
        return 6 + count * 2 <= std::uint64_t(size_);
    }

    void Emit(std::uint32_t type, std::initializer_list<std::int64_t> words)
    {
        QByteArray body;
        for (std::int64_t w : words)
            Put32(body, std::uint32_t(w));
        EmitRaw(type, body);
    }
    void EmitRaw(std::uint32_t type, QByteArray body)
    {
        if (body.size() % 4 != 0)
            body.append(4 - body.size() % 4, '\0');
        Put32(records_, type);
        Put32(records_, std::uint32_t(8 + body.size()));
        records_ += body;
    }

    // The lowest free slot, or none when the table is full.
    std::int64_t Allocate(Slot kind)
    {
        for (std::size_t i = 0; i < slots_.size(); ++i) {
            if (slots_[i] == Slot::Free) {
                slots_[i] = kind;
                return std::int64_t(i);
            }
        }
        if (slots_.size() >= kMaxSlots)
            return -1;
        slots_.push_back(kind);
        return std::int64_t(slots_.size() - 1);
    }

    // Points from parameter first on, x before y; count of them.
    void PutPoints(QByteArray& body, int first, int count) const
    {
        for (int i = 0; i < count * 2; ++i)
            Put16(body, std::uint16_t(P(first + i)));
    }

    void Poly(std::uint32_t type)
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
            total += std::uint16_t(P(1 + i));
        if (!HasParameters(1 + std::uint64_t(polys) + total * 2))
            return;
        QByteArray body(16, '\0');
        Put32(body, std::uint32_t(polys));
        Put32(body, std::uint32_t(total));
        for (int i = 0; i < polys; ++i)
            Put32(body, std::uint16_t(P(1 + i)));
        PutPoints(body, 1 + polys, int(total));
        EmitRaw(kEmfPolyPolygon16, body);
    }

    // Rectangles come as bottom, right, top, left from parameter first.
    void Box(std::uint32_t type, int first, std::initializer_list<std::int64_t> more = {})
    {
        QByteArray body;
        for (int i : {3, 2, 1, 0})
            Put32(body, std::uint32_t(std::int32_t(P(first + i))));
        for (std::int64_t w : more)
            Put32(body, std::uint32_t(w));
        EmitRaw(type, body);
    }

    void Translate(std::uint16_t function, qsizetype offset, qsizetype size)
    {
        offset_ = offset;
        size_ = size;
        switch (function) {
        case kSetMapMode:
            // The frame's mapping is anisotropic; a fixed mode would throw
            // away the window the picture was fitted to.
            if (P(0) == kMapIsotropic || P(0) == kMapAnisotropic)
                Emit(kEmfSetMapMode, {P(0)});
            return;
        case kSetWindowOrg: Emit(kEmfSetWindowOrg, {P(1), P(0)}); return;
        case kSetWindowExt: Emit(kEmfSetWindowExt, {P(1), P(0)}); return;
        case kSetViewportOrg: Emit(kEmfSetViewportOrg, {P(1), P(0)}); return;
        case kSetViewportExt: Emit(kEmfSetViewportExt, {P(1), P(0)}); return;
        case kSaveDc: Emit(kEmfSaveDc, {}); return;
        case kRestoreDc: Emit(kEmfRestoreDc, {P(0)}); return;
        case kSetPolyFillMode: Emit(kEmfSetPolyFillMode, {std::uint16_t(P(0))}); return;
        case kCreatePenIndirect: {
            const std::int64_t slot = Allocate(Slot::Drawing);
            if (slot >= 0)
                Emit(kEmfCreatePen, {slot + 1, std::uint16_t(P(0)), P(1), P(2), P32(3)});
            return;
        }
        case kCreateBrushIndirect: {
            const std::int64_t slot = Allocate(Slot::Drawing);
            if (slot >= 0)
                Emit(kEmfCreateBrush, {slot + 1, std::uint16_t(P(0)), P32(1), std::uint16_t(P(3))});
            return;
        }
        case kCreatePalette:
        case kCreatePatternBrush:
        case kDibCreatePatternBrush:
        case kCreateFontIndirect:
        case kCreateRegion: Allocate(Slot::Other); return;
        case kSelectObject: {
            const std::size_t index = std::uint16_t(P(0));
            if (index < slots_.size() && slots_[index] == Slot::Drawing)
                Emit(kEmfSelectObject, {std::int64_t(index) + 1});
            return;
        }
        case kDeleteObject: {
            const std::size_t index = std::uint16_t(P(0));
            if (index >= slots_.size())
                return;
            if (slots_[index] == Slot::Drawing)
                Emit(kEmfDeleteObject, {std::int64_t(index) + 1});
            slots_[index] = Slot::Free;
            return;
        }
        case kMoveTo: Emit(kEmfMoveTo, {P(1), P(0)}); return;
        case kLineTo: Emit(kEmfLineTo, {P(1), P(0)}); return;
        case kSetPixel: Emit(kEmfSetPixel, {P(3), P(2), P32(0)}); return;
        case kRectangle: Box(kEmfRectangle, 0); return;
        case kEllipse: Box(kEmfEllipse, 0); return;
        case kRoundRect: Box(kEmfRoundRect, 2, {P(1), P(0)}); return;
        case kArc:
        case kChord:
        case kPie: {
            const std::uint32_t type =
                function == kArc ? kEmfArc : function == kChord ? kEmfChord : kEmfPie;
            Box(type, 4, {P(3), P(2), P(1), P(0)});
            return;
        }
        case kPolygon: Poly(kEmfPolygon16); return;
        case kPolyline: Poly(kEmfPolyline16); return;
        case kPolyPolygon: PolyPolygon(); return;
        default: return;
        }
    }

    QByteArray Header() const
    {
        QByteArray h;
        Put32(h, kEmfHeader);
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
    std::vector<Slot> slots_;
    qsizetype offset_ = 0;
    qsizetype size_ = 0;
};

} // namespace

QByteArray TranslateWmf(const QByteArray& wmf, const WmfFrame& frame)
{
    return Translator(wmf, frame).Run();
}

} // namespace orvelle
