// Renders an SVG into square PNGs of the given sizes with Qt's own SVG renderer (the one the
// program draws its skin with): render_icons IN.svg OUTDIR SIZE... writes OUTDIR/NxN/<name>.png.
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "Usage: render_icons IN.svg OUTDIR SIZE...\n");
        return 2;
    }
    QSvgRenderer svg(args.at(1));
    if (!svg.isValid()) {
        std::fprintf(stderr, "render_icons: cannot read %s\n", qPrintable(args.at(1)));
        return 1;
    }
    const QString name = QFileInfo(args.at(1)).completeBaseName();
    for (const QString &sizeText : args.mid(3)) {
        const int n = sizeText.toInt();
        QImage image(n, n, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        svg.render(&painter);
        painter.end();
        const QString dir = QStringLiteral("%1/%2x%2").arg(args.at(2)).arg(n);
        if (n <= 0 || !QDir().mkpath(dir) || !image.save(dir + QLatin1Char('/') + name + QStringLiteral(".png"))) {
            std::fprintf(stderr, "render_icons: cannot write %s\n", qPrintable(dir));
            return 1;
        }
    }
    return 0;
}
