#include "EmfFonts.h"

#include "SymbolFonts.h"

#include <cstdint>

#include <QFontMetricsF>
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
    switch (SymbolSetOf(face, charSet)) {
    case SymbolSet::None:
        break;
    case SymbolSet::Unmapped:
        // Drawn as boxes; the name only gives them the face's metrics
        // where the system has it.
        return face.toString();
    default:
        return kSignFamily.toString();
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

namespace {

struct CharSetPage {
    std::uint8_t charSet;
    const char* name;
    DoubleByte doubleByte;
};

// The Windows character sets and the code pages Windows reads them in.
// Johab (130) has no converter in ICU, so its two-byte characters come out
// as replacement signs.
constexpr CharSetPage kPages[] = {
    {0, "windows-1252", DoubleByte::None},         {77, "macintosh", DoubleByte::None},
    {kShiftJisCharSet, "windows-31j", DoubleByte::ShiftJis},
    {129, "windows-949", DoubleByte::Wide},         {130, nullptr, DoubleByte::Johab},
    {134, "GBK", DoubleByte::Wide},                 {136, "windows-950", DoubleByte::Wide},
    {161, "windows-1253", DoubleByte::None},        {162, "windows-1254", DoubleByte::None},
    {163, "windows-1258", DoubleByte::None},        {177, "windows-1255", DoubleByte::None},
    {178, "windows-1256", DoubleByte::None},        {186, "windows-1257", DoubleByte::None},
    {204, "windows-1251", DoubleByte::None},        {222, "windows-874", DoubleByte::None},
    {238, "windows-1250", DoubleByte::None},        {255, "IBM437", DoubleByte::None},
};

constexpr std::uint8_t kDefaultCharSet = 1;

} // namespace

CodePage CodePageOf(std::uint8_t charSet, QStringView faceName)
{
    // The default character set is the recording system's own code page:
    // a Japanese face tells which one that was.
    if (charSet == kDefaultCharSet &&
        SubstituteFontFamily(faceName.toString(), 0, 0).startsWith(u"IPA"))
        charSet = kShiftJisCharSet;
    for (const CharSetPage& p : kPages) {
        if (p.charSet == charSet)
            return {p.name, p.doubleByte};
    }
    return {kPages[0].name, DoubleByte::None};
}

bool LeadsTwoBytes(DoubleByte kind, std::uint8_t b)
{
    switch (kind) {
    case DoubleByte::None:
        return false;
    case DoubleByte::ShiftJis:
        return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    case DoubleByte::Wide:
        return b >= 0x81 && b <= 0xFE;
    case DoubleByte::Johab:
        return (b >= 0x84 && b <= 0xD3) || (b >= 0xD8 && b <= 0xDE) || (b >= 0xE0 && b <= 0xF9);
    }
    return false;
}

QStringDecoder DecoderOf(const CodePage& page)
{
    QStringDecoder decoder(page.name ? page.name : "", QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        decoder = QStringDecoder(QStringConverter::Latin1, QStringConverter::Flag::Stateless);
    return decoder;
}

QString DecodeCharSetText(QByteArrayView bytes, std::uint8_t charSet, QStringView faceName)
{
    return DecoderOf(CodePageOf(charSet, faceName)).decode(bytes);
}

double AverageCharWidth(const QFont& font)
{
    // The weights of the OpenType OS/2 table's xAvgCharWidth for versions 0
    // to 2, per thousand: the lower-case letters a to z, then the space.
    // Windows reads a logical font's width against that figure, and the
    // metric-compatible substitutes share the letters' advances but not
    // the figure: Liberation Sans gives the newer all-glyph average, 0.59 em
    // against Arial's 0.44, which would squeeze every letter by a quarter.
    static constexpr int kWeights[27] = {64, 14, 27, 35, 100, 20, 14, 42, 63, 3,  6,  35,  20, 56,
                                         56, 17, 4,  49, 56,  71, 31, 10, 18, 3, 18, 2, 166};
    // Read unhinted, as the design's figure is: advances hinted to whole
    // pixels at a small size would be off by several per cent. At 64
    // pixels an advance is exact to 1/4096 em, and Qt still caches the
    // glyphs, which it does not do for large sizes.
    constexpr int kDesignPixels = 64;
    QFont design = font;
    design.setPixelSize(kDesignPixels);
    design.setHintingPreference(QFont::PreferNoHinting);
    const QFontMetricsF metrics(design);
    const double scale = double(font.pixelSize()) / kDesignPixels;
    double sum = 0;
    for (int i = 0; i < 27; ++i) {
        const QChar c = i < 26 ? QChar(u'a' + i) : QChar(u' ');
        if (!metrics.inFont(c))
            return QFontMetricsF(font).averageCharWidth();
        sum += kWeights[i] * metrics.horizontalAdvance(c);
    }
    return sum / 1000 * scale;
}

} // namespace orvelle
