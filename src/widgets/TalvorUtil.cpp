#include "TalvorUtil.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionHeader>

namespace talvor::TalvorUtil {
namespace {

QImage headerArrow(QStyleOptionHeader::SortIndicator indicator) {
    constexpr int kSide = 9;
    QImage image(kSide, kSide, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QStyleOptionHeader option;
    option.rect = QRect(0, 0, kSide, kSide);
    option.sortIndicator = indicator;
    option.state = QStyle::State_Enabled;
    option.palette = QApplication::palette();
    {
        QPainter painter(&image);
        QApplication::style()->drawPrimitive(QStyle::PE_IndicatorHeaderArrow, &option, &painter);
    }
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) != 0) {
                return image;
            }
        }
    }
    return {};
}

}  // namespace

// QHeaderView shows an ascending column with SortDown; the pictures follow it.
QImage ascendingSortIndicator() {
    return headerArrow(QStyleOptionHeader::SortDown);
}

QImage descendingSortIndicator() {
    return headerArrow(QStyleOptionHeader::SortUp);
}

}  // namespace talvor::TalvorUtil
