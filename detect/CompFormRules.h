#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

#include "Errors.h"
#include "Graphic.h"

namespace orvelle {

// The length of the file in bytes, opened for reading only. The whole 64-bit
// length: a file of 2 GiB or more shows its true size. Throws EInOutError.
double SizeOfFile(const QString& path);

// The five detail lines of a shown file.
QString NameLine(const QString& path);
// Digits grouped by the locale's separator, "byte" straight after.
QString SizeLine(double bytes, const QLocale& locale);
// The time as the packed format keeps it: seconds in steps of two.
QDateTime PackedTime(const QDateTime& local);
// The packed local time; the date alone at exactly midnight.
QString TimeLine(const QDateTime& lastWrite, const QLocale& locale);
QString WidthLine(int width);
QString HeightLine(int height);

// The question Save As asks before it replaces another file of that name.
QString OverwriteQuestion(const QString& path);

// Where a picture is drawn in fit mode: at its own size when it fits, shrunk
// with its aspect kept otherwise, anchored at the top-left corner. The
// factors are x87 extended quotients stored as doubles, the products
// truncated, so a fitted side may come out one pixel short of the box.
TRect FitRect(int pictureWidth, int pictureHeight, int boxWidth, int boxHeight);

} // namespace orvelle
