#include "EmfFonts.h"

#include <cstdint>

#include <QStringDecoder>
#include <QStringView>

namespace orvelle {

namespace {

constexpr QStringView kSans = u"Liberation Sans";
constexpr QStringView kSerif = u"Liberation Serif";
constexpr QStringView kMono = u"Liberation Mono";
constexpr QStringView kNarrow = u"Liberation Sans Narrow";
constexpr QStringView kGothic = u"IPAGothic";
constexpr QStringView kPGothic = u"IPAPGothic";
constexpr QStringView kMincho = u"IPAMincho";
constexpr QStringView kPMincho = u"IPAPMincho";

struct Substitute {
    QStringView face;
    QStringView family;
};

// Japanese names are matched as Windows writes them, full-width letters
// and all, and also in their Latin spelling.
constexpr Substitute kTable[] = {
    {u"Arial", kSans},
    {u"Arial Unicode MS", kSans},
    {u"Arial Black", kSans},
    {u"Helvetica", kSans},
    {u"MS Sans Serif", kSans},
    {u"Microsoft Sans Serif", kSans},
    {u"Tahoma", kSans},
    {u"Verdana", kSans},
    {u"Segoe UI", kSans},
    {u"Calibri", kSans},
    {u"Candara", kSans},
    {u"Corbel", kSans},
    {u"Trebuchet MS", kSans},
    {u"Century Gothic", kSans},
    {u"Franklin Gothic Medium", kSans},
    {u"Lucida Sans", kSans},
    {u"Lucida Sans Unicode", kSans},
    {u"MS Shell Dlg", kSans},
    {u"MS Shell Dlg 2", kSans},
    {u"System", kSans},
    {u"Small Fonts", kSans},
    {u"Swiss", kSans},
    {u"Times New Roman", kSerif},
    {u"Times", kSerif},
    {u"MS Serif", kSerif},
    {u"Georgia", kSerif},
    {u"Cambria", kSerif},
    {u"Constantia", kSerif},
    {u"Book Antiqua", kSerif},
    {u"Palatino Linotype", kSerif},
    {u"Garamond", kSerif},
    {u"Bookman Old Style", kSerif},
    {u"Century Schoolbook", kSerif},
    {u"Century", kSerif},
    {u"Roman", kSerif},
    {u"Courier New", kMono},
    {u"Courier", kMono},
    {u"Consolas", kMono},
    {u"Lucida Console", kMono},
    {u"Andale Mono", kMono},
    {u"Fixedsys", kMono},
    {u"Terminal", kMono},
    {u"Modern", kMono},
    {u"Arial Narrow", kNarrow},
    {u"ＭＳ ゴシック", kGothic},
    {u"MS Gothic", kGothic},
    {u"ＭＳ Ｐゴシック", kPGothic},
    {u"MS PGothic", kPGothic},
    {u"MS UI Gothic", kPGothic},
    {u"Meiryo", kPGothic},
    {u"メイリオ", kPGothic},
    {u"Meiryo UI", kPGothic},
    {u"Yu Gothic", kPGothic},
    {u"游ゴシック", kPGothic},
    {u"ＭＳ 明朝", kMincho},
    {u"MS Mincho", kMincho},
    {u"ＭＳ Ｐ明朝", kPMincho},
    {u"MS PMincho", kPMincho},
    {u"Yu Mincho", kPMincho},
    {u"游明朝", kPMincho},
};

// Picture fonts whose letters are pictures of their own: another family
// would draw the wrong signs, so the name is kept for whatever the system
// has under it.
constexpr QStringView kSymbolFaces[] = {u"Symbol",      u"Wingdings", u"Wingdings 2",
                                        u"Wingdings 3", u"Webdings",  u"Marlett"};

constexpr std::uint8_t kFixedPitch = 1;
constexpr std::uint8_t kFamilyRoman = 0x10;
constexpr std::uint8_t kFamilyModern = 0x30;

} // namespace

QString SubstituteFontFamily(const QString& faceName, std::uint8_t pitchAndFamily,
                             std::uint8_t charSet)
{
    QStringView face = QStringView(faceName).trimmed();
    // A leading '@' asks for the vertical form of the same family.
    if (face.startsWith(u'@'))
        face = face.mid(1).trimmed();
    for (const Substitute& s : kTable) {
        if (face.compare(s.face, Qt::CaseInsensitive) == 0)
            return s.family.toString();
    }
    for (QStringView symbol : kSymbolFaces) {
        if (face.compare(symbol, Qt::CaseInsensitive) == 0)
            return symbol.toString();
    }
    if (charSet == kShiftJisCharSet)
        return kPGothic.toString();
    const std::uint8_t family = pitchAndFamily & 0xF0;
    if (family == kFamilyRoman)
        return kSerif.toString();
    if (family == kFamilyModern || (pitchAndFamily & 0x03) == kFixedPitch)
        return kMono.toString();
    return kSans.toString();
}

// The code page 8-bit text of a font is written in.
const char* CodePageOf(std::uint8_t charSet)
{
    switch (charSet) {
    case kShiftJisCharSet:
        return "Shift_JIS";
    case 161:
        return "windows-1253";
    case 162:
        return "windows-1254";
    case 177:
        return "windows-1255";
    case 178:
        return "windows-1256";
    case 186:
        return "windows-1257";
    case 204:
        return "windows-1251";
    case 238:
        return "windows-1250";
    default:
        return "windows-1252";
    }
}

QString DecodeCharSetText(QByteArrayView bytes, std::uint8_t charSet)
{
    QStringDecoder decoder(CodePageOf(charSet), QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        decoder = QStringDecoder(QStringConverter::Latin1, QStringConverter::Flag::Stateless);
    return decoder.decode(bytes);
}

} // namespace orvelle
