#include "NativePath.h"

#include <cstdint>

#include <QUrl>

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#endif

namespace orvelle {

// The codec is our own: Qt's decoders (and iconv) can only replace or refuse
// what is not UTF-8, neither keeps the bytes. It follows the well-formed
// sequences of the Unicode standard (table 3-7): no overlong forms, no
// encoded surrogates, nothing above U+10FFFF, so the texts it makes agree with
// Python's "surrogateescape" byte for byte.

namespace {

constexpr char16_t kEscapeBase = 0xDC00;
constexpr char16_t kFirstEscape = 0xDC80;
constexpr char16_t kLastEscape = 0xDCFF;
constexpr char16_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char b)
{
    return (b & 0xC0) == 0x80;
}

// The length of the valid UTF-8 sequence that starts at p (1 to 4) and its
// code point, or 0 when none starts there.
int SequenceAt(const unsigned char* p, qsizetype left, char32_t& code)
{
    const unsigned char b = p[0];
    if (b < 0x80) {
        code = b;
        return 1;
    }
    int length = 0;
    // The range the second byte must lie in; the later ones are plain
    // continuations.
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
        code = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        code = b & 0x0F;
        if (b == 0xE0)
            low = 0xA0; // overlong below
        else if (b == 0xED)
            high = 0x9F; // the surrogates above
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        code = b & 0x07;
        if (b == 0xF0)
            low = 0x90; // overlong below
        else if (b == 0xF4)
            high = 0x8F; // past U+10FFFF above
    } else {
        return 0; // a continuation, an overlong lead (C0, C1) or F5 to FF
    }
    if (left < length || p[1] < low || p[1] > high)
        return 0;
    for (int i = 1; i < length; ++i) {
        if (!IsContinuation(p[i]))
            return 0;
        code = (code << 6) | (p[i] & 0x3F);
    }
    return length;
}

void AppendUtf8(QByteArray& out, char32_t code)
{
    if (code < 0x80) {
        out.append(char(code));
    } else if (code < 0x800) {
        out.append(char(0xC0 | (code >> 6)));
        out.append(char(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.append(char(0xE0 | (code >> 12)));
        out.append(char(0x80 | ((code >> 6) & 0x3F)));
        out.append(char(0x80 | (code & 0x3F)));
    } else {
        out.append(char(0xF0 | (code >> 18)));
        out.append(char(0x80 | ((code >> 12) & 0x3F)));
        out.append(char(0x80 | ((code >> 6) & 0x3F)));
        out.append(char(0x80 | (code & 0x3F)));
    }
}

} // namespace

QString PathFromNative(QByteArrayView bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    // Most names are ASCII, and a folder scan decodes a million of them.
    qsizetype i = 0;
    while (i < n && p[i] < 0x80)
        ++i;
    if (i == n)
        return QString::fromLatin1(bytes.data(), n);

    // No byte gives more than one UTF-16 unit (four give two), so the text
    // never outgrows the byte count.
    QString text(n, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    qsizetype o = 0;
    for (qsizetype k = 0; k < i; ++k)
        out[o++] = p[k];
    while (i < n) {
        char32_t code = 0;
        const int length = SequenceAt(p + i, n - i, code);
        if (length == 0) {
            out[o++] = char16_t(kEscapeBase + p[i]);
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            out[o++] = QChar::highSurrogate(code);
            out[o++] = QChar::lowSurrogate(code);
        } else {
            out[o++] = char16_t(code);
        }
        i += length;
    }
    text.truncate(o);
    return text;
}

QByteArray PathToNative(QStringView path)
{
    const qsizetype n = path.size();
    qsizetype i = 0;
    while (i < n && path[i].unicode() < 0x80)
        ++i;
    if (i == n)
        return path.toLatin1();

    QByteArray out;
    out.reserve(n * 3);
    out.append(path.first(i).toLatin1());
    while (i < n) {
        const char16_t c = path[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < n &&
            QChar::isLowSurrogate(path[i + 1].unicode())) {
            AppendUtf8(out, QChar::surrogateToUcs4(c, path[i + 1].unicode()));
            i += 2;
            continue;
        }
        if (c >= kFirstEscape && c <= kLastEscape)
            out.append(char(c - kEscapeBase));
        else if (QChar::isSurrogate(c))
            AppendUtf8(out, kReplacement);
        else
            AppendUtf8(out, c);
        ++i;
    }
    return out;
}

bool HoldsRawBytes(QStringView path)
{
    const qsizetype n = path.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = path[i].unicode();
        if (!QChar::isSurrogate(c))
            continue;
        if (QChar::isHighSurrogate(c) && i + 1 < n &&
            QChar::isLowSurrogate(path[i + 1].unicode())) {
            ++i;
            continue;
        }
        return true;
    }
    return false;
}

QString DisplayText(const QString& path)
{
    if (!HoldsRawBytes(path))
        return path;
    // Qt's own decoding of the bytes, so that a name reads the same here as
    // in its file dialog, which the dialog's answers are matched against.
    return QString::fromUtf8(PathToNative(path));
}

QString ToNativeSeparators(QString path)
{
#ifdef _WIN32
    path.replace(u'/', u'\\');
#endif
    return path;
}

QString PathFromFileUrl(const QUrl& url)
{
#ifdef _WIN32
    // Windows names are UTF-16 and every one survives the URL.
    return url.toLocalFile();
#else
    if (!url.isLocalFile())
        return QString();
    QByteArray bytes;
    if (!url.host().isEmpty())
        bytes = "//" + url.host(QUrl::FullyEncoded).toLatin1();
    bytes += QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    return PathFromNative(bytes);
#endif
}

QStringList ArgumentsFromNative(int argc, const char* const* argv)
{
    QStringList args;
#ifdef _WIN32
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide)
        return args;
    for (int i = 1; i < count; ++i)
        args << QString::fromWCharArray(wide[i]);
    LocalFree(wide);
#else
    for (int i = 1; i < argc; ++i)
        args << PathFromNative(argv[i]);
#endif
    return args;
}

} // namespace orvelle
