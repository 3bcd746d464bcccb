#include <algorithm>
#include <array>

#include <QIcon>
#include <QImage>
#include <QTest>

#include "TestSupport.h"
#include "ToolPictures.h"

using orvelle::ToolPicture;

Q_DECLARE_METATYPE(ToolPicture)

namespace {

struct Census {
    bool transparent = false;
    bool opaque = false;
    bool saturated = false;  // some opaque pixel is not a shade of grey
    bool offPalette = false; // some pixel is half transparent or not a 16-colour one
};

Census Count(const QImage& picture)
{
    static constexpr std::array<QRgb, 16> kPalette{
        0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0x808080,
        0xc0c0c0, 0xff0000, 0x00ff00, 0xffff00, 0x0000ff, 0xff00ff, 0x00ffff, 0xffffff};
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    Census census;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) == 0) {
                census.transparent = true;
                continue;
            }
            census.opaque = true;
            if (qRed(pixel) != qGreen(pixel) || qGreen(pixel) != qBlue(pixel))
                census.saturated = true;
            if (qAlpha(pixel) != 255 ||
                std::find(kPalette.begin(), kPalette.end(), pixel & 0xffffff) == kPalette.end())
                census.offPalette = true;
        }
    }
    return census;
}

} // namespace

class TestToolPictures : public QObject {
    Q_OBJECT

private slots:
    void toolPicture_data();
    void toolPicture();
    void picturesAreDistinct();
    void programIcon_data();
    void programIcon();
    void brokenDrawing_data();
    void brokenDrawing();
    void greyedPictureIsEtched();
};

void TestToolPictures::toolPicture_data()
{
    QTest::addColumn<ToolPicture>("picture");
    QTest::newRow("AddFiles") << ToolPicture::AddFiles;
    QTest::newRow("AddFolder") << ToolPicture::AddFolder;
    QTest::newRow("DeleteFile") << ToolPicture::DeleteFile;
    QTest::newRow("Clear") << ToolPicture::Clear;
    QTest::newRow("Check") << ToolPicture::Check;
}

void TestToolPictures::toolPicture()
{
    QFETCH(ToolPicture, picture);
    const QIcon icon = orvelle::ToolButtonIcon(picture);
    QVERIFY(!icon.isNull());

    const QImage normal = icon.pixmap(QSize(16, 16), QIcon::Normal).toImage();
    QCOMPARE(normal.size(), QSize(16, 16));
    const Census drawn = Count(normal);
    QVERIFY(drawn.transparent);
    QVERIFY(drawn.opaque);
    // Crisp pixels in the 16 colours: a smoothed edge would blur at this size.
    QVERIFY(!drawn.offPalette);

    const QImage disabled = icon.pixmap(QSize(16, 16), QIcon::Disabled).toImage();
    QCOMPARE(disabled.size(), QSize(16, 16));
    QVERIFY(disabled != normal);
    const Census greyed = Count(disabled);
    QVERIFY(greyed.transparent);
    QVERIFY(greyed.opaque);
    QVERIFY(!greyed.saturated);
}

void TestToolPictures::picturesAreDistinct()
{
    const std::array pictures{ToolPicture::AddFiles, ToolPicture::AddFolder,
                              ToolPicture::DeleteFile, ToolPicture::Clear, ToolPicture::Check};
    for (std::size_t i = 0; i < pictures.size(); ++i)
        for (std::size_t j = i + 1; j < pictures.size(); ++j)
            QVERIFY(orvelle::ToolButtonIcon(pictures[i]).pixmap(16).toImage() !=
                    orvelle::ToolButtonIcon(pictures[j]).pixmap(16).toImage());
}

void TestToolPictures::programIcon_data()
{
    QTest::addColumn<int>("size");
    for (const int size : {16, 24, 32, 48, 64})
        QTest::addRow("%d", size) << size;
}

void TestToolPictures::programIcon()
{
    QFETCH(int, size);
    const QPixmap pixmap = orvelle::ProgramIconPixmap(size);
    QCOMPARE(pixmap.size(), QSize(size, size));
    const Census census = Count(pixmap.toImage());
    QVERIFY(census.transparent);
    QVERIFY(census.opaque);

    const QIcon icon = orvelle::ProgramIcon();
    QVERIFY(icon.availableSizes().contains(QSize(size, size)));
    QCOMPARE(icon.pixmap(QSize(size, size)).toImage(), pixmap.toImage());
}

void TestToolPictures::brokenDrawing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("size");
    QTest::newRow("empty file") << QByteArray() << 16;
    QTest::newRow("not XML") << QByteArray("GIF89a\x01\x00\x01\x00") << 16;
    const QByteArray svg("<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 16 16\"");
    QTest::newRow("cut short") << svg + "><path d=\"M0 0h4" << 16;
    QTest::newRow("no size") << svg + "/>" << 0;
}

void TestToolPictures::brokenDrawing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, size);
    const orvelle::test::Sandbox sandbox;
    const QString file = sandbox.WriteFile(QStringLiteral("a.svg"), bytes);
    QVERIFY(orvelle::RenderDrawing(file, size).isNull());
    QVERIFY(orvelle::RenderDrawing(sandbox(QStringLiteral("missing.svg")), 16).isNull());
}

void TestToolPictures::greyedPictureIsEtched()
{
    // A dark stroke with a white fill beside it and a red one below.
    QImage picture(4, 4, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    picture.setPixel(0, 0, qRgb(0, 0, 0));
    picture.setPixel(1, 0, qRgb(0, 0, 0));
    picture.setPixel(2, 0, qRgb(255, 255, 255));
    picture.setPixel(1, 1, qRgb(255, 0, 0));

    const QImage greyed = orvelle::GreyedPicture(picture).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(greyed.pixel(0, 0), qRgb(128, 128, 128));
    QCOMPARE(greyed.pixel(1, 0), qRgb(128, 128, 128));
    QCOMPARE(qAlpha(greyed.pixel(2, 0)), 0);           // light fill drops out
    QCOMPARE(greyed.pixel(1, 1), qRgb(128, 128, 128)); // ink wins over a highlight
    QCOMPARE(greyed.pixel(2, 1), qRgb(255, 255, 255)); // the stroke's highlight
    QCOMPARE(greyed.pixel(2, 2), qRgb(255, 255, 255)); // the red's highlight
    QCOMPARE(qAlpha(greyed.pixel(0, 1)), 0);
}

QTEST_MAIN(TestToolPictures)
#include "tst_ToolPictures.moc"
