#include "widgets/WidgetGallery.h"

#include <QCoreApplication>
#include <QDir>
#include <QSet>

#include <gtest/gtest.h>

namespace talvor {
namespace {

// The gallery of this room's widgets, written beside the test program for a look by eye.
TEST(widgetsGallery, RendersEveryGroupOffscreen) {
    const QImage image = renderWidgetGallery(2.0).convertToFormat(QImage::Format_ARGB32);
    ASSERT_FALSE(image.isNull());
    EXPECT_GT(image.width(), 600);
    EXPECT_GT(image.height(), 400);
    QSet<QRgb> colours;
    qint64 opaque = 0;
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2) {
            const QRgb p = image.pixel(x, y);
            opaque += qAlpha(p) == 255;
            colours.insert(p);
        }
    }
    EXPECT_GT(opaque, qint64(image.width() / 2) * (image.height() / 2) * 9 / 10);
    EXPECT_GT(colours.size(), 200);  // far from blank: many colours drawn
    const QString path = QDir(QCoreApplication::applicationDirPath())
                             .filePath(QStringLiteral("widgets-gallery.png"));
    EXPECT_TRUE(image.save(path)) << path.toStdString();
}

}  // namespace
}  // namespace talvor
