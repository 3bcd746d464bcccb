#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace orvelle {

// One item of the extension list: a pattern such as "*.jpg" and its tick.
struct ExtensionItem {
    QString pattern;
    bool ticked = false;
};
using ExtensionItems = QList<ExtensionItem>;

// Maps "A".."Z" to "a".."z" and leaves every other character as it is.
QString LowerAscii(QString text);

// True when the extension (".jpg", "." or empty) equals a ticked pattern
// without its first character, both compared after LowerAscii. The pattern is
// not a wildcard: "*.*" only matches the literal extension ".*".
bool ExtensionChecked(const ExtensionItems& items, const QString& extension);

// The ticked patterns, each followed by ";" ("*.bmp;*.jpg;").
QString PatternText(const ExtensionItems& items);

// The open-file dialog's filter in the classic "description|patterns" form:
// "画像ファイル|" followed by the pattern text.
QString OpenDialogFilter(const QString& patternText);

// The same filter as Qt's name filters ("画像ファイル (*.bmp *.jpg)"), one per
// description|patterns pair; empty patterns are dropped and "*.*" offers every
// file, as "*".
QStringList ToQtNameFilters(const QString& classicFilter);

// "ファイルの数：" and the count in plain decimal.
QString CountText(qsizetype count);

} // namespace orvelle
