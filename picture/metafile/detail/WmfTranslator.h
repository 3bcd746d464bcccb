#pragma once

#include <QByteArray>

namespace orvelle {

// Where a placeable Windows metafile's picture lies: its box in the file's
// logical units and the frame it fills, in hundredths of a millimetre.
struct WmfFrame {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width = 0;
    int height = 0;
};

// Translates the 16-bit records of a Windows metafile (starting with its
// 18-byte header) into a whole enhanced metafile the same player draws. The
// picture's window lands on the frame with an anisotropic mapping: the box
// is the window until the records set their own. Objects take the lowest
// free slot of a table as large as the header declares, palettes, regions
// and fonts included, so the records' indices keep meaning what they meant;
// records the player has no use for (escapes, palettes, flood fills) are
// left out. Translation ends at the end record or at the first record that
// does not lie wholly inside the data. Empty when the records are invalid:
// an object made while the table is full, or an object index outside it.
QByteArray TranslateWmf(const QByteArray& wmf, const WmfFrame& frame);

} // namespace orvelle
