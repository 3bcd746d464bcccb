#pragma once

namespace orvelle {

// The JPEG library's message codes as the error boxes report them: the
// numbering of the library's classic releases, where the codes of the
// current library were renumbered as codes were added and dropped.
// JMSG_NOMESSAGE is 0 and the errors run from 1 (JERR_ARITH_NOTIMPL) to 71
// (JERR_XMS_WRITE). A code the classic list does not have is reported as
// 72 + the current library's own number, which stays clear of that range.
int ClassicJpegCode(int libraryCode);

// The first classic-numbered code free for the newer library codes.
inline constexpr int kFirstNewJpegCode = 72;

} // namespace orvelle
