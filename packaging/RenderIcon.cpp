// orvelle_render_icon SVG SIZE PNG: the program icon drawn at SIZE x SIZE
// pixels, for the icon theme's fixed-size folders. Qt Svg draws it, the same
// renderer that draws the icon in the window, so the theme's icon and the
// window's cannot come out differently.
#include <cstdio>

#include <QByteArray>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>

int main(int argc, char* argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: orvelle_render_icon SVG SIZE PNG\n");
        return 2;
    }
    const QString source = QString::fromLocal8Bit(argv[1]);
    bool ok = false;
    const int size = QByteArray(argv[2]).toInt(&ok);
    if (!ok || size < 1 || size > 4096) {
        std::fprintf(stderr, "orvelle_render_icon: bad size %s\n", argv[2]);
        return 2;
    }
    const QString target = QString::fromLocal8Bit(argv[3]);

    QSvgRenderer renderer(source);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "orvelle_render_icon: cannot read %s\n", argv[1]);
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        renderer.render(&painter);
    }
    if (!image.save(target, "PNG")) {
        std::fprintf(stderr, "orvelle_render_icon: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
