#include <ostream>

#include <gtest/gtest.h>

#include <QFile>

#include "Bitmap.h"
#include "Errors.h"
#include "ExpectError.h"
#include "FormatRegistry.h"
#include "Picture.h"
#include "RowName.h"
#include "TestSupport.h"

using orvelle::test::Sandbox;
using orvelle::test::ExpectError;
using orvelle::test::RowName;

namespace {

const QByteArray kTinyBmp =
    orvelle::test::Bmp24(3, 2, [](int x, int y) { return unsigned(0x102030 + x + 16 * y); });

QString KindOf(const QString& path)
{
    TPicture picture;
    picture.LoadFile(path);
    return QString::fromLatin1(picture.Graphic()->ClassName());
}

} // namespace

TEST(FormatRegistry, HoldsTheSixFormatsInOrder)
{
    const auto& entries = orvelle::FormatRegistry::Instance().Entries();
    QStringList extensions;
    for (const auto& e : entries)
        extensions << e.extension;
    EXPECT_EQ(extensions, (QStringList{"wmf", "emf", "ico", "bmp", "jpeg", "jpg"}));
    EXPECT_EQ(entries[1].description, QStringLiteral("エンハンス メタファイル"));
    EXPECT_EQ(entries[4].description, QStringLiteral("JPEG イメージファイル"));
}

TEST(Picture, ChoosesTheKindByExtensionAloneInAnyCase)
{
    Sandbox box;
    for (const char* name : {"a.JPG", "a.Jpeg", "a.jpg"}) {
        const QString path = box.WriteFile(QString::fromLatin1(name));
        EXPECT_EQ(KindOf(path), QStringLiteral("TJPEGImage")) << name; // empty: loads as 0 × 0
    }
    EXPECT_EQ(KindOf(box.WriteFile(QStringLiteral("写真.BmP"), kTinyBmp)),
              QStringLiteral("TBitmap"));

    // Content does not decide: JPEG bytes named .bmp are an invalid bitmap.
    const QString jpegAsBmp = box.WriteFile(QStringLiteral("j.bmp"),
                                            QByteArray("\xFF\xD8\xFF\xE0", 4) + QByteArray(40, '\0'));
    TPicture picture;
    ExpectError<EInvalidGraphic>([&] { picture.LoadFile(jpegAsBmp); },
                                 QStringLiteral("ビットマップイメージが不正です"));
}

namespace {

struct UnknownKind {
    const char* what;
    const char* name; // inside the sandbox, with the folder my.pics
    bool written;     // or left missing
    const char* shown;
};

const UnknownKind kUnknownKinds[] = {
    {"JPE", "a.jpe", true, "jpe"},
    {"PNG in capitals", "a.PNG", true, "PNG"},
    {"GIF", "a.gif", true, "gif"},
    {"TIFF", "a.tif", true, "tif"},
    {"no extension in a dotted folder", "my.pics/photo", true, ""},
    // The extension is judged before the file is opened.
    {"missing file", "missing.xyz", false, "xyz"},
};

void PrintTo(const UnknownKind& row, std::ostream* out)
{
    *out << row.what << ": " << row.name;
}

class UnknownExtension : public ::testing::TestWithParam<UnknownKind> {};

} // namespace

TEST_P(UnknownExtension, NamesTheExtensionAsWritten)
{
    const UnknownKind& row = GetParam();
    Sandbox box;
    box.MakeDir(QStringLiteral("my.pics"));
    const QString name = QString::fromLatin1(row.name);
    const QString path = row.written ? box.WriteFile(name) : box(name);
    TPicture picture;
    ExpectError<EInvalidGraphic>([&] { picture.LoadFile(path); },
                                 QStringLiteral("拡張子 .%1 の画像形式は処理できません")
                                     .arg(QString::fromLatin1(row.shown)));
}

INSTANTIATE_TEST_SUITE_P(Picture, UnknownExtension, ::testing::ValuesIn(kUnknownKinds),
                         [](const ::testing::TestParamInfo<UnknownKind>& info) {
                             return RowName(info.index, info.param.what);
                         });

TEST(Picture, FilesThatCannotBeOpenedNameThePath)
{
    Sandbox box;
    const QString missing = box(QStringLiteral("gone.bmp"));
    const QString folder = box.MakeDir(QStringLiteral("folder.jpg"));
    for (const QString& path : {missing, folder}) {
        SCOPED_TRACE(path.toStdString());
        TPicture picture;
        ExpectError<EFOpenError>([&] { picture.LoadFile(path); },
                                 QStringLiteral("ファイル %1 は開けません").arg(path));
    }
}

TEST(Picture, AFailedLoadKeepsThePreviousGraphic)
{
    Sandbox box;
    TPicture picture;
    EXPECT_EQ(picture.Graphic(), nullptr);
    EXPECT_EQ(picture.Width(), 0);
    picture.LoadFile(box.WriteFile(QStringLiteral("good.bmp"), kTinyBmp));
    TGraphic* before = picture.Graphic();
    ASSERT_NE(before, nullptr);
    EXPECT_EQ(picture.Width(), 3);
    EXPECT_EQ(picture.Height(), 2);

    EXPECT_THROW(picture.LoadFile(box.WriteFile(QStringLiteral("bad.bmp"), "XX-not-a-bitmap")),
                 EInvalidGraphic);
    EXPECT_THROW(picture.LoadFile(box(QStringLiteral("none.bmp"))), EFOpenError);
    EXPECT_THROW(picture.LoadFile(box(QStringLiteral("none.png"))), EInvalidGraphic);
    EXPECT_EQ(picture.Graphic(), before);
    EXPECT_EQ(picture.Width(), 3);

    // A zero-byte bitmap is a picture of 0 × 0 that draws nothing.
    picture.LoadFile(box.WriteFile(QStringLiteral("empty.bmp")));
    EXPECT_NE(picture.Graphic(), before);
    EXPECT_EQ(picture.Width(), 0);
    EXPECT_TRUE(picture.Graphic()->Empty());
}
