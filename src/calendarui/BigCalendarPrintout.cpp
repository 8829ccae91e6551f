#include "BigCalendarPrintout.h"

#include "DragView.h"
#include "myCalProView.h"
#include "platform/Log.h"
#include "ztCalendarController.h"

#include <QPainter>
#include <QPrinter>

#include <algorithm>

namespace talvor {

BigCalendarPrintout::BigCalendarPrintout(myCalProView& months, DragView& picture)
    : months_(months), picture_(picture) {}

bool BigCalendarPrintout::pictureShown() const {
    return !picture_.isHidden() && !picture_.image().isNull();
}

QSizeF BigCalendarPrintout::printSize(int months, bool withPicture) {
    switch (months) {
        case 1:
            return withPicture ? QSizeF(450, 590) : QSizeF(450, 450);
        case 3:
            return withPicture ? QSizeF(768, 500) : QSizeF(768, 350);
        case 6:
            return withPicture ? QSizeF(715, 750) : QSizeF(715, 704);
        case 12:
            return withPicture ? QSizeF(1024, 968) : QSizeF(1186, 850);
        default:
            return {};
    }
}

void BigCalendarPrintout::draw(QPainter& painter, const QRectF& target, int months) {
    myCalSettings& settings = months_.calSettings();
    const ztCalendarController::Counts kept{settings.cntH(), settings.cntV()};
    if (months > 0) {
        const ztCalendarController::Counts counts = ztCalendarController::countsForMonths(months);
        settings.SetCntH(counts.across);
        settings.SetCntV(counts.down);
        months_.scaleDayFontForMonths();
    }
    QRectF monthsArea = target;
    if (pictureShown()) {
        const qreal pictureHeight =
            months > 0
                ? target.height() - printSize(months, false).height() * target.width() /
                                        printSize(months, false).width()
                : picture_.height() * target.height() / (picture_.height() + months_.height());
        const QRectF pictureArea(target.topLeft(),
                                 QSizeF(target.width(), std::max<qreal>(0, pictureHeight)));
        const QImage& picture = picture_.image();
        const QSizeF fitted =
            picture.size().scaled(pictureArea.size().toSize(), Qt::KeepAspectRatio);
        painter.drawImage(
            QRectF(pictureArea.center() - QPointF(fitted.width(), fitted.height()) / 2, fitted),
            picture);
        monthsArea.setTop(pictureArea.bottom());
    }
    months_.drawMonths(painter, monthsArea, false);
    settings.SetCntH(kept.across);
    settings.SetCntV(kept.down);
    months_.scaleDayFontForMonths();
}

bool BigCalendarPrintout::print(QPrinter& printer, int months, const QSizeF& shown) {
    const QSizeF size = months > 0 ? printSize(months, pictureShown()) : shown;
    printer.setDocName(myCalSettings::printJobTitle());
    // One unit a point, as the sizes and the fonts are given: the page keeps the proportions
    // of the window (text stays vector in a PDF).
    printer.setResolution(72);
    printer.setFullPage(true);
    printer.setPageMargins(QMarginsF(0, 0, 0, 0));
    printer.setPageOrientation(months == 1 ? QPageLayout::Portrait : QPageLayout::Landscape);
    QPainter painter;
    if (!painter.begin(&printer)) {
        platform::log(QStringLiteral("Talvor: the calendar could not be printed"));
        return false;
    }
    // Fitted to the page both ways and centred.
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    const qreal scale = std::min(page.width() / size.width(), page.height() / size.height());
    painter.translate(page.center().x() - size.width() * scale / 2,
                      page.center().y() - size.height() * scale / 2);
    painter.scale(scale, scale);
    painter.fillRect(QRectF(QPointF(0, 0), size), months_.colors().background);
    draw(painter, QRectF(QPointF(0, 0), size), months);
    return painter.end();
}

}  // namespace talvor
