#include "JpegMessages.h"

#include <cstddef>
#include <cstdio>
#include <string_view>

// jpeglib.h needs the definitions of stdio.h before it.
#include <jpeglib.h>
// jerror.h takes the library version from jpeglib.h.
#include <jerror.h>

namespace orvelle {

namespace {

// The classic error codes in their order; the position + 1 is the number.
constexpr std::string_view kClassicErrors[] = {
    "JERR_ARITH_NOTIMPL",
    "JERR_BAD_ALIGN_TYPE",
    "JERR_BAD_BUFFER_MODE",
    "JERR_BAD_COMPONENT_ID",
    "JERR_BAD_DCT_COEF",
    "JERR_BAD_DCTSIZE",
    "JERR_BAD_HUFF_TABLE",
    "JERR_BAD_IN_COLORSPACE",
    "JERR_BAD_J_COLORSPACE",
    "JERR_BAD_LENGTH",
    "JERR_BAD_LIB_VERSION",
    "JERR_BAD_MCU_SIZE",
    "JERR_BAD_POOL_ID",
    "JERR_BAD_PRECISION",
    "JERR_BAD_PROGRESSION",
    "JERR_BAD_PROG_SCRIPT",
    "JERR_BAD_SAMPLING",
    "JERR_BAD_SCAN_SCRIPT",
    "JERR_BAD_STATE",
    "JERR_BAD_STRUCT_SIZE",
    "JERR_BAD_VIRTUAL_ACCESS",
    "JERR_BUFFER_SIZE",
    "JERR_CANT_SUSPEND",
    "JERR_CCIR601_NOTIMPL",
    "JERR_COMPONENT_COUNT",
    "JERR_CONVERSION_NOTIMPL",
    "JERR_DAC_INDEX",
    "JERR_DAC_VALUE",
    "JERR_DHT_INDEX",
    "JERR_DQT_INDEX",
    "JERR_EMPTY_IMAGE",
    "JERR_EMS_READ",
    "JERR_EMS_WRITE",
    "JERR_EOI_EXPECTED",
    "JERR_FILE_READ",
    "JERR_FILE_WRITE",
    "JERR_FRACT_SAMPLE_NOTIMPL",
    "JERR_HUFF_CLEN_OVERFLOW",
    "JERR_HUFF_MISSING_CODE",
    "JERR_IMAGE_TOO_BIG",
    "JERR_INPUT_EMPTY",
    "JERR_INPUT_EOF",
    "JERR_MISMATCHED_QUANT_TABLE",
    "JERR_MISSING_DATA",
    "JERR_MODE_CHANGE",
    "JERR_NOTIMPL",
    "JERR_NOT_COMPILED",
    "JERR_NO_BACKING_STORE",
    "JERR_NO_HUFF_TABLE",
    "JERR_NO_IMAGE",
    "JERR_NO_QUANT_TABLE",
    "JERR_NO_SOI",
    "JERR_OUT_OF_MEMORY",
    "JERR_QUANT_COMPONENTS",
    "JERR_QUANT_FEW_COLORS",
    "JERR_QUANT_MANY_COLORS",
    "JERR_SOF_DUPLICATE",
    "JERR_SOF_NO_SOS",
    "JERR_SOF_UNSUPPORTED",
    "JERR_SOI_DUPLICATE",
    "JERR_SOS_NO_SOF",
    "JERR_TFILE_CREATE",
    "JERR_TFILE_READ",
    "JERR_TFILE_SEEK",
    "JERR_TFILE_WRITE",
    "JERR_TOO_LITTLE_DATA",
    "JERR_UNKNOWN_MARKER",
    "JERR_VIRTUAL_BUG",
    "JERR_WIDTH_OVERFLOW",
    "JERR_XMS_READ",
    "JERR_XMS_WRITE",
};
static_assert(std::size(kClassicErrors) + 1 == kFirstNewJpegCode);

struct LibraryMessage {
    int code;
    std::string_view name;
};

// The library's own codes with their symbolic names, taken from its message
// list so that the names, not the numbers, decide.
constexpr LibraryMessage kLibraryMessages[] = {
#define JMESSAGE(code, string) {code, #code},
#include <jerror.h>
#undef JMESSAGE
};

std::string_view LibraryName(int libraryCode)
{
    for (const LibraryMessage& message : kLibraryMessages) {
        if (message.code == libraryCode)
            return message.name;
    }
    return {};
}

} // namespace

int ClassicJpegCode(int libraryCode)
{
    if (libraryCode == JMSG_NOMESSAGE)
        return 0;
    const std::string_view name = LibraryName(libraryCode);
    for (std::size_t i = 0; i < std::size(kClassicErrors); ++i) {
        if (kClassicErrors[i] == name)
            return static_cast<int>(i) + 1;
    }
    return kFirstNewJpegCode + libraryCode;
}

} // namespace orvelle
