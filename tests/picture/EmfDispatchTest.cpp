#include <cstdint>

#include <gtest/gtest.h>

#include <QByteArray>
#include <QImage>
#include <QPainter>

#include "EmfContext.h"
#include "EmfRecords.h"
#include "TestSupport.h"

using orvelle::EmfFamily;
using orvelle::EmfRecord;

namespace {

// The player's table says which family plays a record; each family's own
// entry says which records it knows. A record routed to a family that does
// not know it, or known by a family it is not routed to, is never drawn.
TEST(EmfDispatch, EachFamilyKnowsExactlyTheRecordsRoutedToIt)
{
    orvelle::test::EnsureGuiApplication();
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    orvelle::DcState state;
    // A record of zeros: every family passes over what it cannot draw.
    const QByteArray bytes(256, '\0');
    const orvelle::RecordView r{bytes, 0, bytes.size()};
    for (std::uint32_t number = 0; number <= 300; ++number) {
        const EmfRecord type{number};
        const EmfFamily family = orvelle::EmfFamilyOf(type);
        orvelle::EmfDrawing dc{painter,        QTransform(), QPen(), QBrush(),
                               state.position, false,        state,  QTransform()};
        EXPECT_EQ(orvelle::PlayShapeRecord(type, r, dc), family == EmfFamily::Shape) << number;
        EXPECT_EQ(orvelle::PlayPathRecord(type, r, dc), family == EmfFamily::Path) << number;
        EXPECT_EQ(orvelle::PlayBitmapRecord(type, r, dc), family == EmfFamily::Bitmap) << number;
        EXPECT_EQ(orvelle::PlayTextRecord(type, r, dc), family == EmfFamily::Text) << number;
    }
}

} // namespace
