#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

class QUrl;

namespace orvelle {

// A file name on Unix is a string of bytes, and nothing makes it UTF-8: names
// written on older systems in Shift-JIS or Latin-1 are not. Qt decodes names
// as UTF-8 and puts U+FFFD for every byte that does not fit, after which the
// name reaches no file. The program keeps each path as a QString that loses
// nothing instead: valid UTF-8 decoded as usual, and each byte of a sequence
// that is not valid UTF-8 as the lone surrogate U+DC00 + byte (the bytes are
// 0x80 to 0xFF, so U+DC80 to U+DCFF), the way Python's "surrogateescape"
// does. Valid UTF-8 never decodes to a lone surrogate, so no two byte
// strings give the same text and every text gives its bytes back exactly.
// The path rules, comparisons and hashes work on these texts unchanged; the
// file-system calls of NativeFiles.h take them; widgets and messages show
// DisplayText().

// The path text of a name's bytes, as described above.
QString PathFromNative(QByteArrayView bytes);

// The bytes of a path text: the exact inverse of PathFromNative. A lone
// surrogate that stands for no byte (no decoded name holds one, but a typed
// text might) is written as U+FFFD, as Qt writes it.
QByteArray PathToNative(QStringView path);

// Whether the text holds a lone surrogate: a byte that is not UTF-8, or a
// stray half of a pair.
bool HoldsRawBytes(QStringView path);

// The text to show for a path: each byte that is not UTF-8 as U+FFFD,
// exactly as Qt's own calls (and so its file dialog) show the name. A path
// without such bytes comes back unchanged.
QString DisplayText(const QString& path);

// The path with "/" turned into the platform's own separator.
QString ToNativeSeparators(QString path);

// The local path a file URL names, taken from its percent-encoded bytes: a
// drop from a file manager carries "%82%A0" for a Shift-JIS name, which
// QUrl::toLocalFile would turn into U+FFFD. A host, as in
// "file://server/share", comes first as "//server", as toLocalFile gives it.
QString PathFromFileUrl(const QUrl& url);

// The command-line arguments after the program name, losslessly: argv's bytes
// on Unix, the wide command line on Windows (where argv is in the ANSI code
// page and loses what it cannot hold).
QStringList ArgumentsFromNative(int argc, const char* const* argv);

} // namespace orvelle
