#include "JpegDecoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

// jpeglib.h needs the definitions of stdio.h before it.
#include <jpeglib.h>
// jerror.h takes the library version from jpeglib.h.
#include <jerror.h>

#include "Bitmap.h"
#include "Errors.h"
#include "GrayDither.h"
#include "JpegMessages.h"
#include "JpegScanReach.h"

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
// At most this many output rows are asked for in one read.
constexpr JDIMENSION kRowsPerRead = 16;

// What the source supplies once the data has run out, so that a truncated
// file ends like a whole one.
constexpr JOCTET kEndOfImage[] = {0xFF, JPEG_EOI};

// Rows not decoded read as what a fresh work bitmap holds, as they always
// have: a decode that stops with an error leaves them so.
constexpr std::uint8_t kUndecoded = 0xFF;

// What rows past a file's data come out as: every block without data is
// decoded as all coefficients 0, which is this sample in every component.
constexpr std::uint8_t kEmptyBlockSample = CENTERJSAMPLE;

// Rows of MCUs decoded past the last one a file's scans can reach when the
// frame is shortened (ShortenedFrame below). Block smoothing looks two
// block rows away and upsampling one sample row, so the empty blocks after
// the data come out as the empty-block sample from the third row of MCUs
// on; the fourth, the shortened frame's last, is then made as in the whole
// frame although the frame's edge is copied from it.
constexpr std::int64_t kRowsOfMcusPastTheData = 4;

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
    // Whether the rows past the data may be told apart from the decoded
    // ones without decoding them (ReadRows), and, once the entropy decoder
    // has run into the end-of-image marker before the image was complete,
    // in which row of MCUs that was.
    bool tailKnowable;
    bool dataEnded;
    JDIMENSION dataEndedInRow;
    // The output rows with pixels written (or set to kUndecoded), and how
    // many of the last of them every later row repeats in turn (0: none).
    JDIMENSION rowsWritten;
    int repeatedRows;
    // A frame shortened to the rows its data can reach: the library is
    // given height in place of the two bytes at heightOffset, and the
    // image has claimedHeight rows all the same.
    bool shortened;
    std::size_t heightOffset;
    JOCTET height[2];
    JDIMENSION claimedHeight;
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
// decodes as far as the library gets, silently. The one thing noted is the
// entropy decoder running out of data at the end-of-image marker: from the
// next MCU on it leaves every block empty, up to the end of the image, for
// no restart can follow that marker.
void EmitMessage(j_common_ptr common, int level)
{
    Session& session = SessionOf(common);
    if (level != -1 || common->err->msg_code != JWRN_HIT_MARKER)
        return;
    if (session.info.unread_marker == JPEG_EOI) {
        session.dataEnded = true;
        session.dataEndedInRow = session.info.input_iMCU_row;
    } else {
        // Another marker: a restart after it may bring data back.
        session.dataEnded = false;
    }
}
void OutputMessage(j_common_ptr) {}

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr info)
{
    Session& session = SessionOf(info);
    if (session.delivered < session.size) {
        const JOCTET* from = session.data + session.delivered;
        std::size_t block = std::min(kBlockSize, session.size - session.delivered);
        if (session.shortened && session.delivered == session.heightOffset) {
            from = session.height;
            block = sizeof session.height;
        } else if (session.shortened && session.delivered < session.heightOffset) {
            block = std::min(block, session.heightOffset - session.delivered);
        }
        session.source.next_input_byte = from;
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
        // Quantized to gray levels by GrayDither, the library giving the
        // samples.
        info.quantize_colors = FALSE;
    } else if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
        info.out_color_space = JCS_CMYK;
    } else {
        // Pixel memory holds blue, green, red: the library writes that
        // order itself, so the rows need no second pass.
        info.out_color_space = JCS_EXT_BGR;
    }
    // Only a single Huffman-coded scan leaves the blocks past its data
    // empty: a progressive or multi-scan file is taken in whole before any
    // row comes out, and arithmetic decoding goes on making coefficients
    // out of the zero bits that follow the data. Four-component output
    // goes through a conversion of its own and is left out too.
    session.tailKnowable = !info.progressive_mode && !info.arith_code &&
                           !jpeg_has_multiple_scans(&info) && info.out_color_space != JCS_CMYK;
    // The picture's memory budget is the most one bitmap may take; what the
    // rows will need of it is set aside, and the library's own working
    // memory (the coefficients of a whole progressive image, which it holds
    // before a row comes out) must fit what is left. Past that it fails at
    // once, before taking any of it.
    const std::int64_t rows =
        RowStride(info.image_width, info.out_color_space == JCS_GRAYSCALE ? 8 : 24) *
        session.claimedHeight;
    info.mem->max_memory_to_use = long(std::max<std::int64_t>(PixelMemoryLimit() - rows, 1));
    jpeg_start_decompress(&info);
    return true;
}

// Whether rows [first, last), stride bytes apart, are all the same and each
// the empty-block sample all through: what the rows past the data are.
bool RowsLikeEmptyBlocks(const std::uint8_t* top, std::ptrdiff_t stride, JDIMENSION first,
                         JDIMENSION last, std::size_t rowBytes)
{
    const std::uint8_t* model = top + stride * std::ptrdiff_t(first);
    for (std::size_t i = 0; i < rowBytes; ++i) {
        if (model[i] != kEmptyBlockSample)
            return false;
    }
    for (JDIMENSION y = first + 1; y < last; ++y) {
        if (std::memcmp(model, top + stride * std::ptrdiff_t(y), rowBytes) != 0)
            return false;
    }
    return true;
}

// The grayscale rows' way to the bitmap: the library's samples into sample,
// then through dither; states holds the dither's state after each of the
// last two rows.
struct GrayRows {
    std::uint8_t* sample;
    GrayDither* dither;
    GrayDither* states[2];

    // Dithers the sample into row y. True when the rows from here on may
    // repeat the last two in turn: they may (mayRepeat), and the dithering's
    // state has come back to what it was two rows before.
    bool Dither(std::uint8_t* row, JDIMENSION y, bool mayRepeat) const
    {
        dither->Row(sample, row);
        GrayDither& twoBefore = *states[y % 2];
        if (mayRepeat && dither->SameStateAs(twoBefore))
            return true;
        twoBefore = *dither;
        return false;
    }
};

// Reads the output rows into the rows starting at top, stride bytes apart.
// Four-component output goes through cmykRow and grayscale through gray, one
// row at a time. Rows are set to kUndecoded before the library is asked for
// them, so a decode that fails half-way leaves them as they always were.
//
// The rows past a single scan's data are not decoded: once the data has
// ended at the end-of-image marker in MCU row k, every block from MCU row
// k + 1 on is empty, and the output rows from MCU row k + 2 on (the one
// between may still blend with real data through the upsampling) are all
// the empty-block sample. Once two MCU rows of them have come out and are
// seen to be exactly that, a colour image's later rows are left to be like
// the last; a grayscale image's, once the dithering's state has come back
// to what it was two rows before, to repeat the last two in turn. So the
// work follows the data instead of the size the header claims.
bool ReadRows(Session& session, std::uint8_t* top, std::ptrdiff_t stride, std::uint8_t* cmykRow,
              const GrayRows* gray)
{
    if (setjmp(session.jump) != 0)
        return false;
    jpeg_decompress_struct& info = session.info;
    const int width = static_cast<int>(info.output_width);
    const bool adobe = info.saw_Adobe_marker;
    const std::size_t rowBytes = std::size_t(width) * std::size_t(info.output_components);
    const JDIMENSION mcuRows = JDIMENSION(info.max_v_samp_factor * DCTSIZE);
    // Rows that follow one another in memory can be asked for several at a
    // time, which lets the library hand out a whole row group per call.
    const bool several = !cmykRow && !gray && stride > 0 && stride % 4 == 0;
    // Colour rows are looked at once an MCU row, whichever calls bring them;
    // grayscale rows, seen one by one, are counted as they come.
    JDIMENSION lookedAt = 0;
    JDIMENSION emptyRowsIn = 0;
    while (info.output_scanline < info.output_height) {
        const JDIMENSION y = info.output_scanline;
        const JDIMENSION empty = (session.dataEndedInRow + 2) * mcuRows;
        const bool pastData = session.tailKnowable && session.dataEnded && y >= empty;
        if (pastData && !gray && y / mcuRows != lookedAt) {
            lookedAt = y / mcuRows;
            if (y >= empty + 2 * mcuRows &&
                RowsLikeEmptyBlocks(top, stride, y - 2 * mcuRows, y, rowBytes)) {
                session.repeatedRows = 1;
                return true;
            }
        }
        JSAMPROW rows[kRowsPerRead];
        JDIMENSION wanted = 1;
        if (cmykRow) {
            rows[0] = cmykRow;
        } else if (gray) {
            rows[0] = gray->sample;
        } else {
            if (several)
                wanted = std::min(kRowsPerRead, info.output_height - y);
            for (JDIMENSION i = 0; i < wanted; ++i)
                rows[i] = top + stride * std::ptrdiff_t(y + i);
        }
        for (JDIMENSION i = 0; i < wanted; ++i)
            std::memset(top + stride * std::ptrdiff_t(y + i), kUndecoded, std::size_t(stride));
        session.rowsWritten = std::max(session.rowsWritten, y + wanted);
        // The source never suspends, so no rows means the library is stuck;
        // finishing then reports the missing rows.
        if (jpeg_read_scanlines(&info, rows, wanted) == 0)
            break;
        std::uint8_t* row = top + stride * std::ptrdiff_t(y);
        if (cmykRow)
            CmykRowToBgr(cmykRow, row, width, adobe);
        if (!gray)
            continue;
        emptyRowsIn = pastData && RowsLikeEmptyBlocks(gray->sample, 0, 0, 1, rowBytes)
                          ? emptyRowsIn + 1
                          : 0;
        if (gray->Dither(row, y, emptyRowsIn > 2 * mcuRows)) {
            session.repeatedRows = 2;
            return true;
        }
    }
    // A shortened frame's rows are all out, the last ones made of empty
    // blocks: a colour image's later rows are like its last, a grayscale
    // image's go on through the dithering until they repeat.
    if (!session.shortened || info.output_scanline < info.output_height)
        return true;
    if (!gray) {
        session.repeatedRows = 1;
        return true;
    }
    std::memset(gray->sample, kEmptyBlockSample, rowBytes);
    for (JDIMENSION y = info.output_height; y < session.claimedHeight; ++y) {
        session.rowsWritten = y + 1;
        if (gray->Dither(top + stride * std::ptrdiff_t(y), y, y >= info.output_height + 2)) {
            session.repeatedRows = 2;
            return true;
        }
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

// Whether the frame of a file whose header the library has read is worth
// shortening to the rows its data can reach, and to how many rows. Only
// where the library takes in every scan before a row comes out, or makes
// four-component rows: single scans of other kinds stop at their data's
// end by themselves (ReadRows). Arithmetic coding can code many blocks in
// a bit, so there the data bounds nothing.
std::optional<std::pair<JpegScanReach, JDIMENSION>> ShortenedFrame(
    jpeg_decompress_struct& info, const std::uint8_t* data, std::size_t size)
{
    const bool fourComponents =
        info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    if (info.arith_code ||
        !(info.progressive_mode || jpeg_has_multiple_scans(&info) || fourComponents))
        return std::nullopt;
    const std::optional<JpegScanReach> reach = ReachOfScans(data, size);
    if (!reach || reach->mcuRowsReached + kRowsOfMcusPastTheData >= reach->mcuRowsClaimed)
        return std::nullopt;
    const std::int64_t rows = (reach->mcuRowsReached + kRowsOfMcusPastTheData) * reach->rowsPerMcuRow;
    if (rows >= std::int64_t(info.image_height))
        return std::nullopt;
    return std::pair{*reach, JDIMENSION(rows)};
}

// Owns one session in ordinary code: destroys the decompressor on every
// way out and turns a failed step into EJPEG once it is destroyed.
class Decompressor {
public:
    Decompressor(const std::uint8_t* data, std::size_t size) { InitSession(session_, data, size); }
    // The same file with its frame shortened to height rows, the image
    // keeping claimedHeight.
    Decompressor(const std::uint8_t* data, std::size_t size, std::size_t heightOffset,
                 JDIMENSION height, JDIMENSION claimedHeight)
        : Decompressor(data, size)
    {
        session_.shortened = true;
        session_.heightOffset = heightOffset;
        session_.height[0] = JOCTET(height >> 8);
        session_.height[1] = JOCTET(height & 0xFF);
        session_.claimedHeight = claimedHeight;
    }
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
        // Memory the library was refused, or would have passed its budget
        // with, is a want of resources like any other.
        if (code == JERR_OUT_OF_MEMORY || code == JERR_NO_BACKING_STORE)
            throw EOutOfResources(OutOfResourcesText());
        throw EJPEG(JpegErrorText(ClassicJpegCode(code)));
    }

private:
    Session session_{};
};

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
    std::optional<Decompressor> whole(std::in_place, data, size);
    whole->Check(CreateAndReadHeader(whole->session()));
    whole->session().claimedHeight = whole->info().image_height;
    // A file whose data reaches only its first rows is decoded as far as
    // that, from a second reading of its header with the frame shortened,
    // instead of the library taking in and making every row it claims.
    std::optional<Decompressor> shortened;
    if (const auto frame = ShortenedFrame(whole->info(), data, size)) {
        const JDIMENSION claimed = whole->info().image_height;
        whole.reset();
        shortened.emplace(data, size, frame->first.heightOffset, frame->second, claimed);
        shortened->Check(CreateAndReadHeader(shortened->session()));
    }
    Decompressor& decompressor = shortened ? *shortened : *whole;
    Session& session = decompressor.session();
    decompressor.Check(StartDecompress(session));

    const jpeg_decompress_struct& info = decompressor.info();
    const int width = static_cast<int>(info.output_width);
    const int height = static_cast<int>(session.claimedHeight);
    const bool grayscale = info.out_color_space == JCS_GRAYSCALE;
    DibFormat format{width, height, false, grayscale ? 8 : 24, 0, 0, 0};
    const std::int64_t stride = RowStride(width, format.bitsPerPixel);
    PixelRows rows;
    // Memory for every row, committed only as rows are written: a file
    // that claims far more rows than its data fills costs only those.
    const std::int64_t bytes = stride > PixelMemoryLimit() / std::max(height, 1)
                                   ? PixelMemoryLimit() + 1
                                   : stride * height;
    rows.memory = PixelMemory::ForOverwrite(bytes);
    std::vector<std::uint8_t> cmykRow;
    if (info.out_color_space == JCS_CMYK)
        cmykRow = AllocatePixelMemory(std::int64_t(width) * 4);
    std::vector<std::uint8_t> graySample;
    std::optional<GrayDither> dither;
    std::optional<GrayDither> states[2];
    std::optional<GrayRows> gray;
    std::vector<BgrColour> palette;
    if (grayscale) {
        graySample = AllocatePixelMemory(width);
        dither.emplace(width);
        states[0].emplace(width);
        states[1].emplace(width);
        gray = GrayRows{graySample.data(), &*dither, {&*states[0], &*states[1]}};
        palette = dither->Palette();
    }

    const bool read = ReadRows(session, rows.memory.data(), static_cast<std::ptrdiff_t>(stride),
                               cmykRow.empty() ? nullptr : cmykRow.data(), gray ? &*gray : nullptr);
    // The rows never written read as the last written ones in turn when the
    // rest were seen to repeat them, and as kUndecoded otherwise.
    const int repeated = session.repeatedRows;
    const std::int64_t written =
        repeated > 0 && !session.shortened ? info.output_scanline : session.rowsWritten;
    rows.storedBytes = stride * written;
    if (written < height) {
        rows.tailRows = repeated > 0 ? repeated : 1;
        rows.tail = PixelMemory::ForOverwrite(stride * rows.tailRows);
        if (repeated > 0)
            std::memcpy(rows.tail.data(), rows.memory.data() + stride * (written - repeated),
                        std::size_t(stride * repeated));
        else
            std::memset(rows.tail.data(), kUndecoded, std::size_t(stride));
    }
    bitmap.Assign(format, std::move(palette), std::move(rows));
    decompressor.Check(read);
    // Finishing would report the rows not asked for; the data ended at the
    // end-of-image marker, so there is nothing after them to report. A
    // shortened frame's rows were all asked for.
    if (repeated == 0 || session.shortened)
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
