#include "Errors.h"

#include <utility>

#include "NativePath.h"

namespace orvelle {

Exception::Exception(QString message) : message_(std::move(message)), utf8_(message_.toUtf8()) {}

QString FileOpenText(const QString& path)
{
    return QStringLiteral("ファイル %1 は開けません").arg(DisplayText(path));
}

QString FileCreateText(const QString& path)
{
    return QStringLiteral("ファイル %1 を作成できません").arg(DisplayText(path));
}

QString FileDeleteText(const QString& path)
{
    return QStringLiteral("ファイル %1 を削除できません").arg(DisplayText(path));
}

QString StreamReadText()
{
    return QStringLiteral("ストリームからの読み込みエラー");
}

QString StreamWriteText()
{
    return QStringLiteral("ストリームへの書き込みエラー");
}

QString MemoryStreamText()
{
    return QStringLiteral("メモリストリームの拡大中にメモリが足りなくなりました");
}

QString OutOfResourcesText()
{
    return QStringLiteral("システム リソースが足りません");
}

QString OutOfMemoryText()
{
    return QStringLiteral("メモリが足りません");
}

QString UnknownExtensionText(const QString& ext)
{
    return QStringLiteral("拡張子 .%1 の画像形式は処理できません").arg(DisplayText(ext));
}

QString InvalidBitmapText()
{
    return QStringLiteral("ビットマップイメージが不正です");
}

QString InvalidIconText()
{
    return QStringLiteral("アイコンイメージが不正です");
}

QString InvalidMetafileText()
{
    return QStringLiteral("メタファイルが不正です");
}

QString BitmapConversionText()
{
    return QStringLiteral("ビットマップの形式を変換できません");
}

QString ScanlineIndexText()
{
    return QStringLiteral("スキャンライン のインデックスが範囲を越えました");
}

QString JpegErrorText(int classicCode)
{
    return QStringLiteral("JPEG エラー #%1").arg(classicCode);
}

QString IniWriteText(const QString& fileName)
{
    return QStringLiteral("%1 に書き込めません").arg(DisplayText(fileName));
}

QString InOutErrorText(int code)
{
    switch (code) {
    case 2:
        return QStringLiteral("File not found");
    case 3:
        return QStringLiteral("Invalid filename");
    case 4:
        return QStringLiteral("Too many open files");
    case 5:
        return QStringLiteral("File access denied");
    default:
        return QStringLiteral("I/O error %1").arg(code);
    }
}

QString ErrorMessage(const std::exception& e)
{
    if (const auto* own = dynamic_cast<const Exception*>(&e))
        return own->Message();
    if (dynamic_cast<const std::bad_alloc*>(&e))
        return OutOfMemoryText();
    return QString::fromUtf8(e.what());
}

QString ErrorBoxText(const QString& message)
{
    if (!message.isEmpty() && message.back() > QChar(u'.'))
        return message + u'.';
    return message;
}

void RaiseFileOpen(const QString& path)
{
    throw EFOpenError(FileOpenText(path));
}

void RaiseFileCreate(const QString& path)
{
    throw EFCreateError(FileCreateText(path));
}

} // namespace orvelle
