#pragma once

#include <algorithm>
#include <cstddef>
#include <exception>
#include <new>
#include <stdexcept>
#include <utility>

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

// A class name held as a template argument, so each error class is one
// instance of Error below and reports the name it is spelled with.
template <std::size_t N> struct ErrorClassName {
    constexpr ErrorClassName(const char (&name)[N]) { std::copy_n(name, N, text); }
    char text[N];
};

// Every error class of the program: an Exception that reports its own name.
// Instances differ in type, so each can be caught by itself.
template <ErrorClassName Name> class Error : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return Name.text; }
};

// A file could not be opened for reading.
using EFOpenError = Error<"EFOpenError">;
// A file could not be created or emptied for writing.
using EFCreateError = Error<"EFCreateError">;
// A file could not be removed from the disk.
using EFDeleteError = Error<"EFDeleteError">;
// Data ended before a header or table that must be read.
using EReadError = Error<"EReadError">;
// Writing a stream stopped before all of it was written.
using EWriteError = Error<"EWriteError">;
// A memory buffer could not grow to hold a whole file.
using EStreamError = Error<"EStreamError">;
// The bytes do not form a picture of the kind the extension promised.
using EInvalidGraphic = Error<"EInvalidGraphic">;
// An operation on a picture that its state does not allow.
using EInvalidGraphicOperation = Error<"EInvalidGraphicOperation">;
// A drawing object or buffer could not be had.
using EOutOfResources = Error<"EOutOfResources">;
// The platform refused an operation and said why.
using EOSError = Error<"EOSError">;
// The JPEG library gave up on the data.
using EJPEG = Error<"EJPEG">;
// The settings file could not be written back.
using EIniFileException = Error<"EIniFileException">;

// The run-time input/output failure: "File not found", "File access denied"
// ... It keeps the run-time's code beside the text, which the other classes
// have no use for.
class EInOutError : public Error<"EInOutError"> {
public:
    EInOutError(int code, QString message) : Error(std::move(message)), code_(code) {}
    int ErrorCode() const noexcept { return code_; }

private:
    int code_;
};

// The fixed texts, with the path, name or code put in: "ファイル %s は開けません",
// "ファイル %s を作成できません", "ファイル %s を削除できません". A path shows
// as DisplayText() gives it.
QString FileOpenText(const QString& path);
QString FileCreateText(const QString& path);
QString FileDeleteText(const QString& path);
// "ストリームからの読み込みエラー", "ストリームへの書き込みエラー" and
// "メモリストリームの拡大中にメモリが足りなくなりました".
QString StreamReadText();
QString StreamWriteText();
QString MemoryStreamText();
// "システム リソースが足りません"; "メモリが足りません" for memory the
// allocator refused.
QString OutOfResourcesText();
QString OutOfMemoryText();
// "拡張子 .%s の画像形式は処理できません", the extension without its dot.
QString UnknownExtensionText(const QString& ext);
// "ビットマップイメージが不正です", "アイコンイメージが不正です",
// "メタファイルが不正です".
QString InvalidBitmapText();
QString InvalidIconText();
QString InvalidMetafileText();
// "ビットマップの形式を変換できません", "スキャンライン のインデックスが範囲を越えました".
QString BitmapConversionText();
QString ScanlineIndexText();
// "JPEG エラー #n" for a classic code.
QString JpegErrorText(int classicCode);
// "%s に書き込めません" for the settings file.
QString IniWriteText(const QString& fileName);
// The run-time text of an input/output error code.
QString InOutErrorText(int code);

// The message an error box shows for whatever ended a handler or a check
// run: the program's own errors their message, memory the system refused
// "メモリが足りません", anything else the library's own text.
QString ErrorMessage(const std::exception& e);

// The text of the error box for a message: "." appended when the message is
// not empty and its last character sorts after "." (so Japanese texts end in
// "." and a text ending in ")" does not).
QString ErrorBoxText(const QString& message);

[[noreturn]] void RaiseFileOpen(const QString& path);
[[noreturn]] void RaiseFileCreate(const QString& path);

// Runs work, turning the standard library's allocation failures (Qt's
// containers throw them too) into EOutOfResources: a picture that asks for
// more memory than there is fails like any other picture, and nothing
// outside the layer ever sees std::bad_alloc.
template <class Work> decltype(auto) AllocationsChecked(Work&& work)
{
    try {
        return std::forward<Work>(work)();
    } catch (const std::bad_alloc&) {
        throw EOutOfResources(OutOfResourcesText());
    } catch (const std::length_error&) {
        throw EOutOfResources(OutOfResourcesText());
    }
}

} // namespace orvelle

// The picture classes (TBitmap, TIcon, ...) and the tests live outside the
// namespace and name these classes as they are spelled.
using orvelle::EFOpenError;
using orvelle::EInvalidGraphic;
using orvelle::EInvalidGraphicOperation;
using orvelle::EJPEG;
using orvelle::EOutOfResources;
using orvelle::EReadError;
