#pragma once

#include <functional>

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace orvelle::test {

// A fresh folder for one test, removed with everything in it afterwards.
class Sandbox {
public:
    Sandbox();

    const QString& Path() const noexcept { return path_; }
    // The absolute path of a name inside the sandbox ("a/b.jpg").
    QString operator()(const QString& relative) const;

    // Creates the file (and any missing folders above it) with these bytes.
    QString WriteFile(const QString& relative, const QByteArray& bytes = {}) const;
    QString MakeDir(const QString& relative) const;
    QByteArray ReadFile(const QString& relative) const;

private:
    QTemporaryDir dir_;
    QString path_;
};

// One run of the command-line tool: its exit status (-1 where it did not
// end by itself) and what it wrote on its two streams.
struct CliResult {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Where the shared real-world test files are; empty when they are absent.
QString CorpusDir();

// A 24-bit bottom-up BMP file of the given size whose pixel (x, y), counted
// from the top-left, has the colour colour(x, y) as 0xRRGGBB.
QByteArray Bmp24(int width, int height, const std::function<unsigned(int x, int y)>& colour);

// The same BMP file with every pixel the one colour 0xRRGGBB.
QByteArray PlainBmp24(int width, int height, unsigned colour);

// A JPEG file from Qt's own writer at the given quality, grey where gray is
// set, of the picture whose pixel (x, y) has the colour colour(x, y) as
// 0xRRGGBB. Throws where Qt has no JPEG writer.
QByteArray Jpeg(int width, int height, int quality, bool gray,
                const std::function<unsigned(int x, int y)>& colour);

// Makes sure a QGuiApplication (offscreen) exists, for GoogleTest programs
// that paint.
void EnsureGuiApplication();

// Runs the Qt event loop until pred() holds or the time is up.
bool WaitFor(const std::function<bool()>& pred, int timeoutMs = 5000);

} // namespace orvelle::test
