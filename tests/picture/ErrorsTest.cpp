#include <functional>
#include <new>
#include <stdexcept>
#include <set>
#include <string>
#include <typeindex>
#include <vector>

#include <gtest/gtest.h>

#include <QString>

#include "Errors.h"

using namespace Qt::StringLiterals;

namespace {

struct Raised {
    std::string name;
    std::type_index type;
    QString message;
    std::string what;
};

template <typename E> std::function<Raised()> Thrower(QString message)
{
    return [message] {
        try {
            throw E(message);
        } catch (const orvelle::Exception& e) {
            return Raised{e.ClassName(), typeid(e), e.Message(), e.what()};
        }
    };
}

} // namespace

// The error boxes and the command-line tool print the class name, and each
// handler catches one class: a name spelt wrong or two classes that are one
// type would pass unnoticed through every other test that raises one kind.
TEST(ErrorCatalogue, EveryClassReportsItsOwnNameAndIsATypeOfItsOwn)
{
    const struct {
        const char* name;
        std::function<Raised()> raise;
    } rows[] = {
        {"EFOpenError", Thrower<orvelle::EFOpenError>(u"開けません"_s)},
        {"EFCreateError", Thrower<orvelle::EFCreateError>(u"x"_s)},
        {"EFDeleteError", Thrower<orvelle::EFDeleteError>(u"x"_s)},
        {"EReadError", Thrower<orvelle::EReadError>(u"x"_s)},
        {"EWriteError", Thrower<orvelle::EWriteError>(u"x"_s)},
        {"EStreamError", Thrower<orvelle::EStreamError>(u"x"_s)},
        {"EInvalidGraphic", Thrower<orvelle::EInvalidGraphic>(u"x"_s)},
        {"EInvalidGraphicOperation", Thrower<orvelle::EInvalidGraphicOperation>(u"x"_s)},
        {"EOutOfResources", Thrower<orvelle::EOutOfResources>(u"x"_s)},
        {"EOSError", Thrower<orvelle::EOSError>(u"x"_s)},
        {"EJPEG", Thrower<orvelle::EJPEG>(u"x"_s)},
        {"EIniFileException", Thrower<orvelle::EIniFileException>(u"x"_s)},
        {"EInOutError",
         [] {
             try {
                 throw orvelle::EInOutError(5, orvelle::InOutErrorText(5));
             } catch (const orvelle::Exception& e) {
                 return Raised{e.ClassName(), typeid(e), e.Message(), e.what()};
             }
         }},
    };
    std::set<std::type_index> types;
    for (const auto& row : rows) {
        const Raised raised = row.raise();
        EXPECT_EQ(raised.name, row.name);
        EXPECT_EQ(raised.what, raised.message.toStdString()) << row.name;
        types.insert(raised.type);
    }
    EXPECT_EQ(types.size(), std::size(rows));

    // A handler for one class lets the others pass.
    EXPECT_THROW(
        {
            try {
                throw orvelle::EInvalidGraphic(orvelle::InvalidBitmapText());
            } catch (const orvelle::EReadError&) {
            }
        },
        orvelle::EInvalidGraphic);
    try {
        throw orvelle::EInOutError(2, orvelle::InOutErrorText(2));
    } catch (const orvelle::EInOutError& e) {
        EXPECT_EQ(e.ErrorCode(), 2);
        EXPECT_EQ(e.Message(), u"File not found"_s);
    }
}

// The texts the error boxes show, character for character, each with what
// is put into it.
TEST(ErrorCatalogue, FixedTextsReadAsTheBoxesShowThem)
{
    const QString path = u"C:\\絵\\a.bmp"_s;
    const struct {
        QString text;
        QString expected;
    } rows[] = {
        {orvelle::FileOpenText(path), u"ファイル C:\\絵\\a.bmp は開けません"_s},
        {orvelle::FileCreateText(path), u"ファイル C:\\絵\\a.bmp を作成できません"_s},
        {orvelle::FileDeleteText(path), u"ファイル C:\\絵\\a.bmp を削除できません"_s},
        {orvelle::StreamReadText(), u"ストリームからの読み込みエラー"_s},
        {orvelle::StreamWriteText(), u"ストリームへの書き込みエラー"_s},
        {orvelle::MemoryStreamText(), u"メモリストリームの拡大中にメモリが足りなくなりました"_s},
        {orvelle::OutOfResourcesText(), u"システム リソースが足りません"_s},
        {orvelle::OutOfMemoryText(), u"メモリが足りません"_s},
        {orvelle::UnknownExtensionText(u"png"_s), u"拡張子 .png の画像形式は処理できません"_s},
        {orvelle::InvalidBitmapText(), u"ビットマップイメージが不正です"_s},
        {orvelle::InvalidIconText(), u"アイコンイメージが不正です"_s},
        {orvelle::InvalidMetafileText(), u"メタファイルが不正です"_s},
        {orvelle::BitmapConversionText(), u"ビットマップの形式を変換できません"_s},
        {orvelle::ScanlineIndexText(), u"スキャンライン のインデックスが範囲を越えました"_s},
        {orvelle::JpegErrorText(52), u"JPEG エラー #52"_s},
        {orvelle::IniWriteText(u"/home/a/Orvelle.ini"_s),
         u"/home/a/Orvelle.ini に書き込めません"_s},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.text, row.expected);
}

// The window's error box and the command-line tool's failed run both show
// what ErrorMessage gives, whatever was thrown: a worker's refused
// allocation must read as the program's own text, not the library's.
TEST(ErrorCatalogue, AnyFailureReadsAsTheProgramsMessage)
{
    EXPECT_EQ(orvelle::ErrorMessage(orvelle::EFOpenError(orvelle::FileOpenText(u"a.bmp"_s))),
              u"ファイル a.bmp は開けません"_s);
    EXPECT_EQ(orvelle::ErrorMessage(orvelle::EOutOfResources(orvelle::OutOfResourcesText())),
              u"システム リソースが足りません"_s);
    EXPECT_EQ(orvelle::ErrorMessage(std::bad_alloc()), u"メモリが足りません"_s);
    EXPECT_EQ(orvelle::ErrorMessage(std::bad_array_new_length()), u"メモリが足りません"_s);
    EXPECT_EQ(orvelle::ErrorMessage(std::runtime_error("disk on fire")), u"disk on fire"_s);
    EXPECT_EQ(orvelle::ErrorBoxText(orvelle::ErrorMessage(std::bad_alloc())),
              u"メモリが足りません."_s);
}
