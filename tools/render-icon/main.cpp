// Renders the program's scalable icon to the PNG sizes of the hicolor theme at build time:
// render-icon <svg> <png> <size>.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char* argv[]) {
    // No display is needed to draw into an image.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    bool sizeOk = false;
    const int size = args.value(3).toInt(&sizeOk);
    if (args.size() != 4 || !sizeOk || size <= 0) {
        std::fprintf(stderr, "usage: render-icon <svg> <png> <size>\n");
        return 2;
    }
    QSvgRenderer svg(args.at(1));
    if (!svg.isValid()) {
        std::fprintf(stderr, "render-icon: cannot read %s\n", qPrintable(args.at(1)));
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    svg.render(&painter);
    painter.end();
    if (!image.save(args.at(2), "PNG")) {
        std::fprintf(stderr, "render-icon: cannot write %s\n", qPrintable(args.at(2)));
        return 1;
    }
    return 0;
}
