#include <cstdint>

#include "EmfContext.h"

namespace orvelle {

Font ReadFontRecord(const RecordView& r)
{
    Font f;
    f.height = r.I32(12);
    return f;
}

bool PlayTextRecord(std::uint32_t, const RecordView&, EmfDrawing&)
{
    return false;
}

} // namespace orvelle
