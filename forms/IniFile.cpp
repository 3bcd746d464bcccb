// The settings file is parsed and written by SimpleIni. It reads the section
// headers and key=value lines, and it remembers every section, key and comment
// line of the loaded file together with their order, so that rewriting the
// file keeps whatever other programs or the user put there; sections and keys
// added later go after the loaded ones in the order they were first written.
// Its ASCII case-insensitive flavour matches names the way the INI profile
// functions of other platforms do ("[window]" serves "Window"). What is left
// to us: where the bytes come from and go to, the CR LF line ends, the length
// limit on values and the reading of integers.

#include "IniFile.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include <QByteArray>
#include <QFile>
#include <QStringDecoder>

// The packaged SimpleIni keeps its member definitions in its library, compiled
// with ICU conversion and stream support; the header has to declare the same
// class. Only the char flavour is used here, holding UTF-8 (or the file's own
// bytes), so ICU itself is never called.
#define SI_CONVERT_ICU
#define SI_SUPPORT_IOSTREAMS
#include <SimpleIni.h>

#include "NativeFiles.h"
#include "NativePath.h"

namespace orvelle {

namespace {

// Longest value a read returns, in UTF-16 units.
constexpr qsizetype kValueLimit = 2047;

// SimpleIni ends its lines with the host's "\n"; the file keeps CR LF, the
// line end every reader of INI files understands. Loaded text reaches the
// writer with its line ends already cut off, so every "\n" here is one of
// SimpleIni's. A "\n" that ends no line is a blank line it puts before a
// section or a comment; it asks for two before each section, one is enough
// to set the sections apart. Blank lines inside the file's own comments come
// as an empty line followed by its end and are kept.
class CrLfWriter final : public CSimpleIniA::OutputWriter {
public:
    explicit CrLfWriter(QByteArray& out) : out_(out) {}

    void Write(const char* text) override
    {
        if (std::strcmp(text, "\n") == 0 && !lineOpen_) {
            if (!out_.endsWith("\r\n\r\n"))
                out_.append("\r\n");
            return;
        }
        for (const char* c = text; *c; ++c) {
            if (*c == '\n')
                out_.append('\r');
            out_.append(*c);
        }
        lineOpen_ = *text == '\0' || !out_.endsWith('\n');
    }

private:
    QByteArray& out_;
    // Something was written since the last line end, if only an empty line.
    bool lineOpen_ = false;
};

bool IsValidUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(bytes);
    return !decoder.hasError();
}

// Cuts a value to the limit without leaving half of a surrogate pair behind.
QString Limited(QString value)
{
    if (value.size() > kValueLimit) {
        qsizetype keep = kValueLimit;
        if (value.at(keep - 1).isHighSurrogate())
            --keep;
        value.truncate(keep);
    }
    return value;
}

} // namespace

struct IniFile::Data {
    CSimpleIniA ini;
    // Written back with the signature the file came with.
    bool signature = false;
    // The file is there but its contents could not be had: writing it would
    // throw away settings we never saw.
    bool unreadable = false;
};

IniFile::IniFile(QString fileName) : fileName_(std::move(fileName)), data_(std::make_unique<Data>())
{
    CSimpleIniA& ini = data_->ini;
    ini.SetUnicode(true);
    ini.SetSpaces(false);
    // Values with blanks at either end are written in quotes, and quotes around
    // a value are taken off when it is read, so such values survive.
    ini.SetQuotes(true);

    if (!PathExists(fileName_))
        return;
    // A folder, or a pipe that would keep the program waiting at start, is no
    // settings file.
    const std::unique_ptr<QFile> file = OpenForReading(fileName_);
    if (!file) {
        data_->unreadable = true;
        return;
    }
    QByteArray bytes = file->readAll();
    if (file->error() != QFileDevice::NoError) {
        data_->unreadable = true;
        return;
    }
    // The parser takes a zero byte for the end of the text, so every key
    // after one would be lost when the file is written back: it ends its
    // line instead, which keeps the value before it.
    bytes.replace('\0', '\n');
    data_->signature = bytes.startsWith("\xEF\xBB\xBF");
    // SimpleIni's char flavour keeps the bytes as they are in either mode, so
    // a file in another encoding comes back unchanged; the mode only records
    // whether the text is UTF-8, which such a file is not.
    ini.SetUnicode(IsValidUtf8(bytes));
    if (ini.LoadData(bytes.constData(), static_cast<size_t>(bytes.size())) < 0) {
        ini.Reset();
        data_->unreadable = true;
    }
}

IniFile::~IniFile() = default;

QString IniFile::ReadString(const QString& section, const QString& key, const QString& def) const
{
    const char* value =
        data_->ini.GetValue(section.toUtf8().constData(), key.toUtf8().constData(), nullptr);
    if (value == nullptr)
        return def;
    // A stored path (the extension list's) comes back byte for byte, in a
    // folder whose name is not UTF-8 too.
    return Limited(PathFromNative(value));
}

int IniFile::ReadInteger(const QString& section, const QString& key, int def) const
{
    return ParseIniInteger(ReadString(section, key, QString()), def);
}

void IniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    data_->ini.SetValue(section.toUtf8().constData(), key.toUtf8().constData(),
                        PathToNative(value).constData());
}

void IniFile::WriteInteger(const QString& section, const QString& key, int value)
{
    WriteString(section, key, QString::number(value));
}

void IniFile::UpdateFile()
{
    const auto fail = [this] { throw EIniFileException(IniWriteText(fileName_)); };
    if (data_->unreadable)
        fail();

    QByteArray bytes;
    CrLfWriter writer(bytes);
    if (data_->ini.Save(writer, data_->signature) < 0)
        fail();

    // A crash or a full disk leaves the old file in place; a folder where no
    // new file may be created is written in place instead.
    if (WriteWholeFile(fileName_, bytes, DirectWrite::WhenNoTemporaryFile) != WriteOutcome::Written)
        fail();
}

} // namespace orvelle
