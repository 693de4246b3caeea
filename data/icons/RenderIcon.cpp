// Renders the application icon's SVG into the PNG sizes of the hicolor
// theme at build time: render-icon SVG OUTPUT-FOLDER SIZE...
// writes OUTPUT-FOLDER/<size>x<size>/apps/<name>.png for each size.

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() < 4) {
        std::fputs("usage: render-icon SVG OUTPUT-FOLDER SIZE...\n", stderr);
        return 2;
    }
    QSvgRenderer renderer(arguments[1]);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "render-icon: %s is not a valid SVG\n", qPrintable(arguments[1]));
        return 1;
    }
    const QString name = QFileInfo(arguments[1]).completeBaseName();
    for (const QString& sizeText : arguments.mid(3)) {
        const int size = sizeText.toInt();
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, size, size));
        painter.end();
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(arguments[2]).arg(size);
        QDir().mkpath(folder);
        const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".png");
        if (!image.save(path, "PNG")) {
            std::fprintf(stderr, "render-icon: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
