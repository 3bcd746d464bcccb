#include "JpegDecoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <type_traits>
#include <vector>

// jpeglib.h needs the definitions of stdio.h before it.
#include <jpeglib.h>
// jerror.h takes the library version from jpeglib.h.
#include <jerror.h>

#include "Bitmap.h"
#include "Errors.h"
#include "JpegMessages.h"

// The library reports a fatal error by calling the error manager's exit,
// which must not return. Ours jumps back with longjmp, and a longjmp that
// passed a C++ frame with destructors would skip them. So every sequence of
// library calls sits in a small plain function below that holds nothing
// but trivially destructible locals and sets its own jump target; it
// answers with true or false, and the error is turned into an exception
// only back in ordinary code, after the decompressor has been destroyed.

namespace orvelle {

namespace {

// The source hands the file's bytes to the library in blocks of this size.
constexpr std::size_t kBlockSize = 4096;
constexpr int kGrayLevels = 236;
// At most this many output rows are asked for in one read.
constexpr JDIMENSION kRowsPerRead = 16;

// What the source supplies once the data has run out, so that a truncated
// file ends like a whole one.
constexpr JOCTET kEndOfImage[] = {0xFF, JPEG_EOI};

// Everything one decompression works with, reached by the callbacks through
// the decompression object's client data. Zero-initialised, it can be
// destroyed whether or not the decompressor was ever created.
struct Session {
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    jpeg_source_mgr source;
    std::jmp_buf jump;
    const JOCTET* data;
    std::size_t size;
    std::size_t delivered;
};
static_assert(std::is_trivially_destructible_v<Session>);

Session& SessionOf(j_common_ptr info)
{
    return *static_cast<Session*>(info->client_data);
}

Session& SessionOf(j_decompress_ptr info)
{
    return *static_cast<Session*>(info->client_data);
}

void ErrorExit(j_common_ptr info)
{
    std::longjmp(SessionOf(info).jump, 1);
}

// Warnings and trace messages are of no use to anyone here: a damaged file
// decodes as far as the library gets, silently.
void EmitMessage(j_common_ptr, int) {}
void OutputMessage(j_common_ptr) {}

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr info)
{
    Session& session = SessionOf(info);
    if (session.delivered < session.size) {
        const std::size_t block = std::min(kBlockSize, session.size - session.delivered);
        session.source.next_input_byte = session.data + session.delivered;
        session.source.bytes_in_buffer = block;
        session.delivered += block;
        return TRUE;
    }
    if (session.delivered == 0)
        ERREXIT(info, JERR_INPUT_EMPTY);
    WARNMS(info, JWRN_JPEG_EOF);
    session.source.next_input_byte = kEndOfImage;
    session.source.bytes_in_buffer = sizeof kEndOfImage;
    return TRUE;
}

void SkipInputData(j_decompress_ptr info, long count)
{
    if (count <= 0)
        return;
    jpeg_source_mgr& source = SessionOf(info).source;
    while (static_cast<unsigned long>(count) > source.bytes_in_buffer) {
        count -= static_cast<long>(source.bytes_in_buffer);
        FillInputBuffer(info);
    }
    source.next_input_byte += count;
    source.bytes_in_buffer -= static_cast<std::size_t>(count);
}

void InitSession(Session& session, const std::uint8_t* data, std::size_t size)
{
    session.info.err = jpeg_std_error(&session.errors);
    session.errors.error_exit = ErrorExit;
    session.errors.emit_message = EmitMessage;
    session.errors.output_message = OutputMessage;
    session.info.client_data = &session;
    session.source.init_source = InitSource;
    session.source.fill_input_buffer = FillInputBuffer;
    session.source.skip_input_data = SkipInputData;
    session.source.resync_to_restart = jpeg_resync_to_restart;
    session.source.term_source = TermSource;
    session.data = data;
    session.size = size;
}

// Creates the decompressor and reads the markers up to the first scan.
bool CreateAndReadHeader(Session& session)
{
    if (setjmp(session.jump) != 0)
        return false;
    jpeg_create_decompress(&session.info);
    session.info.src = &session.source;
    jpeg_read_header(&session.info, TRUE);
    return true;
}

// Chooses the output and starts decompressing; afterwards the output size
// and, when quantizing, the colour map are known.
bool StartDecompress(Session& session)
{
    if (setjmp(session.jump) != 0)
        return false;
    jpeg_decompress_struct& info = session.info;
    info.scale_num = 1;
    info.scale_denom = 1;
    info.do_block_smoothing = TRUE;
    info.dct_method = JDCT_FLOAT;
    info.do_fancy_upsampling = TRUE;
    info.buffered_image = FALSE;
    if (info.out_color_space == JCS_GRAYSCALE) {
        info.quantize_colors = TRUE;
        info.desired_number_of_colors = kGrayLevels;
        info.dither_mode = JDITHER_FS;
    } else if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
        info.out_color_space = JCS_CMYK;
    } else {
        // Pixel memory holds blue, green, red: the library writes that
        // order itself, so the rows need no second pass.
        info.out_color_space = JCS_EXT_BGR;
    }
    jpeg_start_decompress(&info);
    return true;
}

// Reads every output row into the rows starting at top, stride bytes
// apart. Four-component output goes through cmykRow, one row at a time.
bool ReadRows(Session& session, std::uint8_t* top, std::ptrdiff_t stride, std::uint8_t* cmykRow)
{
    if (setjmp(session.jump) != 0)
        return false;
    jpeg_decompress_struct& info = session.info;
    const int width = static_cast<int>(info.output_width);
    const bool adobe = info.saw_Adobe_marker;
    // Rows that follow one another in memory can be asked for several at a
    // time, which lets the library hand out a whole row group per call.
    const bool several = !cmykRow && stride > 0 && stride % 4 == 0;
    while (info.output_scanline < info.output_height) {
        const JDIMENSION y = info.output_scanline;
        JSAMPROW rows[kRowsPerRead];
        JDIMENSION wanted = 1;
        if (cmykRow) {
            rows[0] = cmykRow;
        } else {
            if (several)
                wanted = std::min(kRowsPerRead, info.output_height - y);
            for (JDIMENSION i = 0; i < wanted; ++i)
                rows[i] = top + stride * std::ptrdiff_t(y + i);
        }
        // The source never suspends, so no rows means the library is stuck;
        // finishing then reports the missing rows.
        if (jpeg_read_scanlines(&info, rows, wanted) == 0)
            break;
        if (cmykRow)
            CmykRowToBgr(cmykRow, top + stride * std::ptrdiff_t(y), width, adobe);
    }
    return true;
}

bool FinishDecompress(Session& session)
{
    if (setjmp(session.jump) != 0)
        return false;
    jpeg_finish_decompress(&session.info);
    return true;
}

// Destroying never reports an error, and is harmless on a decompressor that
// was not created or is already destroyed.
void DestroyDecompress(Session& session)
{
    jpeg_destroy_decompress(&session.info);
}

// Owns one session in ordinary code: destroys the decompressor on every
// way out and turns a failed step into EJPEG once it is destroyed.
class Decompressor {
public:
    Decompressor(const std::uint8_t* data, std::size_t size) { InitSession(session_, data, size); }
    ~Decompressor() { DestroyDecompress(session_); }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    Session& session() noexcept { return session_; }
    jpeg_decompress_struct& info() noexcept { return session_.info; }

    void Check(bool succeeded)
    {
        if (succeeded)
            return;
        const int code = session_.errors.msg_code;
        DestroyDecompress(session_);
        throw EJPEG(JpegErrorText(ClassicJpegCode(code)));
    }

private:
    Session session_{};
};

std::vector<BgrColour> PaletteOf(const jpeg_decompress_struct& info)
{
    std::vector<BgrColour> palette(
        static_cast<std::size_t>(std::max(info.actual_number_of_colors, 0)));
    for (std::size_t i = 0; i < palette.size(); ++i) {
        if (info.out_color_components == 1) {
            const std::uint8_t gray = info.colormap[0][i];
            palette[i] = {gray, gray, gray};
        } else {
            palette[i] = {info.colormap[2][i], info.colormap[1][i], info.colormap[0][i]};
        }
    }
    return palette;
}

} // namespace

JpegHeader ReadJpegHeader(const std::uint8_t* data, std::size_t size)
{
    Decompressor decompressor(data, size);
    decompressor.Check(CreateAndReadHeader(decompressor.session()));
    const jpeg_decompress_struct& info = decompressor.info();
    return {static_cast<int>(info.image_width), static_cast<int>(info.image_height),
            info.jpeg_color_space == JCS_GRAYSCALE};
}

void DecodeJpeg(const std::uint8_t* data, std::size_t size, TBitmap& bitmap)
{
    Decompressor decompressor(data, size);
    Session& session = decompressor.session();
    decompressor.Check(CreateAndReadHeader(session));
    decompressor.Check(StartDecompress(session));

    const jpeg_decompress_struct& info = decompressor.info();
    const int width = static_cast<int>(info.output_width);
    const int height = static_cast<int>(info.output_height);
    const bool quantized = info.quantize_colors;
    bitmap.SetPixelFormat(quantized ? TPixelFormat::pf8bit : TPixelFormat::pf24bit);
    bitmap.SetSize(width, height);
    if (quantized)
        bitmap.SetPalette(PaletteOf(info));
    std::vector<std::uint8_t> cmykRow;
    if (info.out_color_space == JCS_CMYK)
        cmykRow = AllocatePixelMemory(std::int64_t(width) * 4);
    if (bitmap.Empty())
        return;

    std::uint8_t* top = bitmap.PixelRow(0);
    const std::ptrdiff_t stride =
        height > 1 ? bitmap.PixelRow(1) - top : static_cast<std::ptrdiff_t>(bitmap.Stride());
    decompressor.Check(ReadRows(session, top, stride, cmykRow.empty() ? nullptr : cmykRow.data()));
    decompressor.Check(FinishDecompress(session));
}

void CmykRowToBgr(const std::uint8_t* cmyk, std::uint8_t* bgr, int width, bool adobeInverted)
{
    const unsigned flip = adobeInverted ? 0 : 255;
    for (int x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        const unsigned c = cmyk[0] ^ flip;
        const unsigned m = cmyk[1] ^ flip;
        const unsigned y = cmyk[2] ^ flip;
        const unsigned k = cmyk[3] ^ flip;
        bgr[0] = static_cast<std::uint8_t>((y * k + 127) / 255);
        bgr[1] = static_cast<std::uint8_t>((m * k + 127) / 255);
        bgr[2] = static_cast<std::uint8_t>((c * k + 127) / 255);
    }
}

} // namespace orvelle
