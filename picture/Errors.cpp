#include "Errors.h"

#include <utility>

namespace orvelle {

Exception::Exception(QString message) : message_(std::move(message)), utf8_(message_.toUtf8()) {}

QString FileOpenText(const QString& path)
{
    return QStringLiteral("ファイル %1 は開けません").arg(path);
}

QString FileCreateText(const QString& path)
{
    return QStringLiteral("ファイル %1 を作成できません").arg(path);
}

QString StreamReadText()
{
    return QStringLiteral("ストリームからの読み込みエラー");
}

QString OutOfResourcesText()
{
    return QStringLiteral("システム リソースが足りません");
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
