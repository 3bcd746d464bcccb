#include "FileListRules.h"

namespace orvelle {

QString LowerAscii(QString text)
{
    for (QChar& c : text) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    return text;
}

namespace {

// The pattern without its first character; a character outside the basic
// plane is two code units and goes as a whole.
QString DropFirstCharacter(const QString& pattern)
{
    if (pattern.isEmpty())
        return pattern;
    const qsizetype width = pattern.at(0).isHighSurrogate() && pattern.size() > 1 ? 2 : 1;
    return pattern.mid(width);
}

} // namespace

bool ExtensionChecked(const ExtensionItems& items, const QString& extension)
{
    const QString wanted = LowerAscii(extension);
    for (const ExtensionItem& item : items) {
        if (item.ticked && DropFirstCharacter(LowerAscii(item.pattern)) == wanted)
            return true;
    }
    return false;
}

QString PatternText(const ExtensionItems& items)
{
    QString text;
    for (const ExtensionItem& item : items) {
        if (item.ticked)
            text += item.pattern + u';';
    }
    return text;
}

QString OpenDialogFilter(const QString& patternText)
{
    return QStringLiteral("画像ファイル|") + patternText;
}

QStringList ToQtNameFilters(const QString& classicFilter)
{
    QStringList filters;
    const QStringList parts = classicFilter.split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QStringList patterns = parts.at(i + 1).split(u';', Qt::SkipEmptyParts);
        // Qt separates patterns by blanks, so a pattern holding one would be
        // cut in two; such a pattern cannot be offered and is left out.
        QStringList usable;
        for (const QString& p : patterns) {
            // "*.*" means every file, names without a dot included; Qt's
            // wildcard would want the dot, and only "*" says the same there.
            if (p == u"*.*")
                usable << QStringLiteral("*");
            else if (!p.contains(u' '))
                usable << p;
        }
        if (!usable.isEmpty())
            filters << parts.at(i) + QStringLiteral(" (") + usable.join(u' ') + u')';
    }
    return filters;
}

QString CountText(qsizetype count)
{
    return QStringLiteral("ファイルの数：") + QString::number(count);
}

} // namespace orvelle
