#include "HUDWindow.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

namespace talvor::HUDWindow {

QFont titleFont() {
    QFont font = QApplication::font();
    font.setPointSizeF(std::max(7.0, font.pointSizeF() * 0.85));
    return font;
}

QString titleShown(const QString& title, int panelWidth) {
    return QFontMetrics(titleFont())
        .elidedText(title, Qt::ElideRight, std::max(0, panelWidth - 2 * kTitleBarHeight));
}

QImage sizedHUDBackground(const QSize& size, const QString& title) {
    QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // Edges on pixel centres.
    const QRectF whole = QRectF(image.rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath outline;
    outline.addRoundedRect(whole, kCornerRadius, kCornerRadius);
    painter.setClipPath(outline);
    const QRectF bar(whole.left(), whole.top(), whole.width(), kTitleBarHeight);
    painter.fillRect(whole.adjusted(0, kTitleBarHeight, 0, 0),
                     QColor::fromRgbF(0.1f, 0.1f, 0.1f, 0.75f));
    painter.fillRect(bar, QColor::fromRgbF(0.25f, 0.25f, 0.25f, 0.75f));
    painter.setFont(titleFont());
    painter.setPen(Qt::white);
    painter.drawText(bar.adjusted(kTitleBarHeight, 0, -kTitleBarHeight, 0), Qt::AlignCenter,
                     titleShown(title, image.width()));
    return image;
}

}  // namespace talvor::HUDWindow
