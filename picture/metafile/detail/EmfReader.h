#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include <QByteArray>

#include "EmfHeader.h"
#include "EmfRecords.h"

namespace orvelle {

// a × b / c with a 64-bit intermediate, rounded to the nearest integer with
// halves away from zero. A zero divisor gives 0 (a size, never a fault).
int MulDiv(int a, int b, int c);

// Little-endian fields of metafile bytes; a field that does not lie wholly
// inside the data reads as 0, so a reader can never step outside it.
std::uint32_t ReadU32(const QByteArray& data, qsizetype offset);
std::int32_t ReadI32(const QByteArray& data, qsizetype offset);
std::uint16_t ReadU16(const QByteArray& data, qsizetype offset);
std::int16_t ReadI16(const QByteArray& data, qsizetype offset);
float ReadF32(const QByteArray& data, qsizetype offset);

// The " EMF" signature of the enhanced-metafile header record.
constexpr std::uint32_t kEmfSignature = 0x464D4520;

// SaveDC keeps at most this many states, so a file of nothing but saves
// cannot eat the memory; saves beyond it are passed over.
inline constexpr std::size_t kMaxSavedStates = 4096;

// Which of depth saved states RestoreDC(which) brings back: a negative
// value counts back from the latest, a positive one is the state's number
// from 1. None when that state does not exist.
std::optional<std::size_t> RestoredState(std::int32_t which, std::size_t depth);

// Whether the bytes start like an enhanced metafile (more than 100 bytes,
// header record type, signature at byte 40).
bool LooksLikeEmf(const QByteArray& data);
EmfHeader ReadEmfHeader(const QByteArray& data);

// Walks the records of a whole enhanced metafile: each record at least 8
// bytes, a multiple of 4 and inside the data, the first the header and the
// walk ending on the end-of-file record, every object index inside the
// table. False when anything is off.
bool EmfRecordsValid(const QByteArray& data);

// Whether the object index a record refers to lies inside the object table
// of the given number of handles: creation into slots 1 … handles − 1,
// selection and deletion of a slot below handles or of a stock object
// (high bit set). True for records without an object index.
bool EmfObjectIndexValid(std::uint32_t type, const QByteArray& data, qsizetype offset,
                         std::uint32_t size, std::uint32_t handles);

// The records of a Windows metafile starting at offset (its 18-byte header,
// then records of at least 3 words each, inside the data, up to the
// end record). False when anything is off.
bool WmfRecordsValid(const QByteArray& data, qsizetype offset);

} // namespace orvelle
