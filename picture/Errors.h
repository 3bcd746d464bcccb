#pragma once

#include <exception>

#include <QByteArray>
#include <QString>

namespace orvelle {

// The root of every failure the program raises on purpose. The message is the
// finished text the error box shows (before its closing full stop).
class Exception : public std::exception {
public:
    explicit Exception(QString message);

    const QString& Message() const noexcept { return message_; }
    // The class name as the error boxes and the command-line tool report it.
    virtual const char* ClassName() const noexcept { return "Exception"; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString message_;
    QByteArray utf8_;
};

} // namespace orvelle

#define ORVELLE_ERROR_CLASS(Name)                                                                  \
    class Name : public orvelle::Exception {                                                       \
    public:                                                                                        \
        using orvelle::Exception::Exception;                                                       \
        const char* ClassName() const noexcept override { return #Name; }                          \
    }

// A file could not be opened for reading.
ORVELLE_ERROR_CLASS(EFOpenError);
// A file could not be created or emptied for writing.
ORVELLE_ERROR_CLASS(EFCreateError);
// Data ended before a header or table that must be read.
ORVELLE_ERROR_CLASS(EReadError);
// The bytes do not form a picture of the kind the extension promised.
ORVELLE_ERROR_CLASS(EInvalidGraphic);
// An operation on a picture that its state does not allow.
ORVELLE_ERROR_CLASS(EInvalidGraphicOperation);
// A drawing object or buffer could not be had.
ORVELLE_ERROR_CLASS(EOutOfResources);
// The platform refused an operation and said why.
ORVELLE_ERROR_CLASS(EOSError);
// The JPEG library gave up on the data.
ORVELLE_ERROR_CLASS(EJPEG);

#undef ORVELLE_ERROR_CLASS

namespace orvelle {

// The fixed texts, with the path or code put in.
QString FileOpenText(const QString& path);   // ファイル %s は開けません
QString FileCreateText(const QString& path); // ファイル %s を作成できません
QString StreamReadText();                    // ストリームからの読み込みエラー
QString OutOfResourcesText();                // システム リソースが足りません

// The text of the error box for a message: "." appended when the message is
// not empty and its last character sorts after "." (so Japanese texts end in
// "." and a text ending in ")" does not).
QString ErrorBoxText(const QString& message);

[[noreturn]] void RaiseFileOpen(const QString& path);
[[noreturn]] void RaiseFileCreate(const QString& path);

} // namespace orvelle
