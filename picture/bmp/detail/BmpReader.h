#pragma once

#include <QByteArrayView>
#include <QIODevice>

#include "DibHeader.h"

class TBitmap;

namespace orvelle {

// Reads a BMP file from its start into the bitmap; throws the layer's errors.
// An empty file gives an empty bitmap.
void ReadBmp(QIODevice& file, TBitmap& into);

// Decodes a device-independent bitmap held in memory: info is the info
// header with the colour masks and colour table that follow it, pixels the
// pixel data. Pixel data shorter than the image leaves the rest 0. The
// bitmap is changed only when decoding succeeds.
void DecodeDib(QByteArrayView info, QByteArrayView pixels, TBitmap& into);

// The same for a header already parsed, which the caller may have adjusted
// (an icon's real height, a metafile band's rows).
void DecodeDib(const DibHeader& header, QByteArrayView pixels, TBitmap& into);

// How many bytes at the start of a DIB are its info header, colour masks and
// colour table, so the pixel data starts right after them; throws the
// layer's errors where the header is broken or they do not fit.
qsizetype DibInfoLength(QByteArrayView dib);

} // namespace orvelle
