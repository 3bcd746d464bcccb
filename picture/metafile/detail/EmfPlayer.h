#pragma once

#include <QByteArray>

#include "Graphic.h"

class QPainter;

namespace orvelle {

// Plays the records of a whole, already checked enhanced metafile onto the
// painter: the picture frame lands on (left, top, right − 1, bottom − 1) of
// rect, scaled independently in x and y, and only what the records draw is
// changed. Records the player does not know are passed over.
void PlayEnhancedMetafile(QPainter& painter, const QByteArray& data, const TRect& rect);

} // namespace orvelle
