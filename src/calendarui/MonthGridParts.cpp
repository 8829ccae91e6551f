#include "MonthGridParts.h"

#include "calendar/CalMonth.h"
#include "foundation/CalendarExtras.h"
#include "foundation/IcuDates.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorLoadFonts.h"
#include "foundation/TalvorProColor.h"
#include "platform/Log.h"

#include <QDateTime>
#include <QFontMetricsF>
#include <QLocale>
#include <QMimeData>
#include <QObject>
#include <QPainter>
#include <QPainterPath>
#include <QUrl>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace talvor {
namespace {

const QString kHelvetica = QStringLiteral("Helvetica");

// 0 Sunday ... 6 Saturday.
int weekdayOf(const QDate& day) {
    return day.dayOfWeek() % 7;
}

}  // namespace

QString monthGridClickHint() {
    return QObject::tr("Click to selected a day");
}

qreal MonthGridPainter::zeroHeight(const QFont& font) {
    return QFontMetricsF(font).boundingRect(QStringLiteral("0")).height();
}

MonthGridPainter::MonthGridPainter(myCalSettings& settings, MonthFonts& fonts,
                                   const MonthColors& colors, MonthSelection& selection,
                                   ToolTipRegions& regions, QList<DrawnMonth>& drawn, QWidget& view,
                                   const MonthStyle& style)
    : settings_(settings),
      fonts_(fonts),
      colors_(colors),
      selection_(selection),
      regions_(regions),
      drawn_(drawn),
      view_(view),
      style_(style) {}

void MonthGridPainter::preCalFontSize(const QRectF& rect) {
    qreal usable = rect.height();
    const int title = settings_.drawWindowTitle();
    if (title & myCalSettings::kWeekdayHeader) {
        usable -= zeroHeight(fonts_.dayOfWeek);
    }
    if (title & myCalSettings::kMonthTitle) {
        usable -= zeroHeight(fonts_.year);
    }
    const qreal cell = (rect.width() - 2) / (settings_.showWeekNum() ? 8 : 7);
    const qreal row = usable / 6 - 1;
    const auto refit = [this](qreal limit, qreal measured) {
        float size = static_cast<float>(limit / measured * fonts_.daySize);
        if (size < 6) {
            size = style_.fitFloor;
        }
        if (size <= 0 || !std::isfinite(size)) {
            platform::log(QStringLiteral("Font Error"));
            return;
        }
        fonts_.daySize = size;
        fonts_.dayInUse = fonts_.day;
        fonts_.dayInUse.setPointSizeF(fonts_.daySize);
    };
    QSizeF text = QFontMetricsF(fonts_.dayInUse).boundingRect(QStringLiteral("00")).size();
    if (text.height() > row && row > 0) {
        refit(row, text.height());
        text = QFontMetricsF(fonts_.dayInUse).boundingRect(QStringLiteral("00")).size();
    }
    if (text.width() > cell - 1 && cell > 1) {
        refit(cell - 1, text.width());
    }
    fonts_.weekNo = fonts_.dayInUse;
    fonts_.weekNo.setPointSizeF(std::max(1.0, 0.75 * fonts_.daySize));
}

QRectF MonthGridPainter::myAdjustRect(const QRectF& src, const QRectF& dst, int type) {
    if (src.width() <= 0 || src.height() <= 0) {
        return QRectF(dst.center(), QSizeF(0, 0));
    }
    const qreal sx = dst.width() / src.width();
    const qreal sy = dst.height() / src.height();
    QSizeF size = src.size();
    if (type == 1) {
        if (sx < 1 || sy < 1) {
            size *= std::min(sx, sy);
        }
    } else if (type == 3) {
        size *= sx;
    } else if (type == 4) {
        size *= sy;
    }
    return QRectF(dst.topLeft() + QPointF((dst.width() - size.width()) * 0.5,
                                          (dst.height() - size.height()) * 0.5),
                  size);
}

QImage MonthGridPainter::infoBadge(int side) {
    QImage badge(side, side, QImage::Format_ARGB32_Premultiplied);
    badge.fill(Qt::transparent);
    QPainter painter(&badge);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(40, 110, 220));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QRectF(0.5, 0.5, side - 1, side - 1));
    QFont font(kHelvetica);
    font.setBold(true);
    font.setPixelSize(std::max(6, side * 3 / 4));
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(badge.rect(), Qt::AlignCenter, QStringLiteral("i"));
    return badge;
}

QImage MonthGridPainter::birthdayBadge(int side) {
    QImage badge(side, side, QImage::Format_ARGB32_Premultiplied);
    badge.fill(Qt::transparent);
    QPainter painter(&badge);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = side;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(236, 92, 140));  // the cake
    painter.drawRoundedRect(QRectF(s * 0.1, s * 0.5, s * 0.8, s * 0.45), s * 0.1, s * 0.1);
    painter.setBrush(QColor(250, 220, 90));  // the candle's flame
    painter.drawEllipse(QRectF(s * 0.4, s * 0.05, s * 0.2, s * 0.25));
    painter.setBrush(QColor(90, 160, 230));  // the candle
    painter.drawRect(QRectF(s * 0.45, s * 0.28, s * 0.1, s * 0.24));
    return badge;
}

void MonthGridPainter::drawShadowedText(QPainter& painter, const QRectF& box, int flags,
                                        const QString& text) {
    if (settings_.textDS() != 0) {
        const QPen pen = painter.pen();
        painter.setPen(QColor(255, 255, 255, 170));
        painter.drawText(box.translated(1, 1), flags, text);
        painter.setPen(pen);
    }
    painter.drawText(box, flags, text);
}

void MonthGridPainter::drawPicture(QPainter& painter, const QRectF& rect, qreal gridHeight,
                                   const QImage& image) {
    const qreal alpha = colors_.background.alphaF();
    const int type = settings_.imageScaleType();
    // The picture lies behind the weeks; with scale type 2 behind the whole month.
    QRectF area = rect;
    if (type != 2) {
        area.setTop(rect.bottom() - gridHeight);
    }
    if (alpha != 0) {
        painter.fillRect(area, colors_.background);
    }
    QRectF drawn = area;
    painter.save();
    if (type == 1 || type == 3 || type == 4) {
        drawn = myAdjustRect(QRectF(QPointF(0, 0), image.size()), area, type);
        if (type != 1) {
            painter.setClipRect(rect, Qt::IntersectClip);
        }
    }
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setOpacity(alpha == 0 ? 1.0 : alpha);
    painter.drawImage(drawn, image);
    painter.restore();
}

void MonthGridPainter::drawImageInRect(QPainter& painter, const QRectF& rect, const QDate& month,
                                       bool showTitle, const QImage& image) {
    painter.save();
    const qreal titleH = showTitle ? zeroHeight(fonts_.year) : 0;
    if (showTitle &&
        rect.width() < QFontMetricsF(fonts_.year).horizontalAdvance(QLatin1Char('0'))) {
        platform::log(QStringLiteral("title too big"));
    }
    if (!image.isNull()) {
        drawPicture(painter, rect, rect.height() - titleH, image);
    }
    if (showTitle) {
        const QLocale locale;
        QString name = locale.standaloneMonthName(month.month(), QLocale::LongFormat);
        const QString full = QStringLiteral("%1 %2").arg(name).arg(month.year(), 4);
        const QFontMetricsF metrics(fonts_.year);
        if (metrics.horizontalAdvance(full) > rect.width()) {
            name = locale.standaloneMonthName(month.month(), QLocale::ShortFormat);
        }
        painter.setFont(fonts_.year);
        painter.setPen(colors_.month);
        drawShadowedText(painter, QRectF(rect.left(), rect.top(), rect.width(), titleH + 2),
                         Qt::AlignHCenter | Qt::AlignBottom,
                         QStringLiteral("%1 %2").arg(name).arg(month.year(), 4));
    }
    painter.restore();
}

int MonthGridPainter::MonthGeometry::columnOf(const QDate& d) const {
    return (weekdayOf(d) - firstDay + 7) % 7;
}

QRectF MonthGridPainter::MonthGeometry::cell(int row, int column) const {
    return QRectF(rect.left() + (column + columnShift) * cw, gridTop + row * rowH, cw, rowH);
}

void MonthGridPainter::drawCalRect(QPainter& painter, const QRectF& r, const QDate& month,
                                   bool showTitle, const QImage& image, bool toScreen,
                                   const QDate& todayDate) {
    const myCalSettings& settings = settings_;
    const bool header = settings.drawWindowTitle() & myCalSettings::kWeekdayHeader;
    const bool weekNumbers = settings.showWeekNum() != 0;
    MonthGeometry g;
    g.rect = r;
    g.headerH = header ? zeroHeight(fonts_.dayOfWeek) : 0;
    g.titleH = showTitle ? zeroHeight(fonts_.year) : 0;
    g.gridH = r.height() - g.headerH - g.titleH;
    g.cw = (r.width() - 2) / (weekNumbers ? 8 : 7);
    g.rowH = g.gridH / 6;
    g.gridTop = r.bottom() - g.gridH;
    g.start = QDate(month.year(), month.month(), 1);
    g.firstDay = settings.firstDay();
    g.weekNumbers = weekNumbers;
    g.columnShift = weekNumbers ? 1 : 0;

    DrawnMonth drawn;
    drawn.first = g.start;
    drawn.rect = r;

    if (!image.isNull()) {
        drawPicture(painter, r, g.gridH, image);
    }
    drawGrid(painter, g);
    if (showTitle) {
        drawMonthTitle(painter, g);
    }
    if (header) {
        drawWeekdayHeader(painter, g, drawn);
    }
    const QPointF& p = selection_.p;
    if (p.x() >= 0 && r.contains(p)) {
        selection_.month = g.start.month();
        selection_.year = g.start.year();
    }
    DayMarks marks{settings.showAddressBDays() != 0 && !settings.birthdayTableBuilt()
                       ? settings.BirthDaySearchStart()
                       : QList<myCalSettings::Person>(),
                   infoBadge(g.cw > 32 ? 14 : 10)};
    QFont bold = fonts_.dayInUse;
    bold.setBold(true);
    int row = 0;
    QDate last = g.start;
    drawn.topFreeSpace = QRectF();
    drawn.bottomFreeSpace = QRectF();
    drawWeekNumber(painter, g, g.start, row, drawn);
    for (QDate day = g.start; day.month() == g.start.month(); day = day.addDays(1)) {
        const int column = g.columnOf(day);
        if (day.day() != 1 && column == 0) {
            ++row;
            drawWeekNumber(painter, g, day, row, drawn);
        }
        const QRectF cell = g.cell(row, column);
        drawn.days << DrawnDay{day, cell};
        if (day.day() == 1 && column != 0) {
            drawn.topFreeSpace =
                QRectF(r.left() + g.columnShift * g.cw, g.gridTop, column * g.cw, g.rowH);
        }
        if (toScreen) {
            drawSelection(painter, g, day, cell);
        }
        // The number.
        const bool isToday = day == todayDate;
        const bool weekend = day.dayOfWeek() >= 6;
        painter.setFont(isToday ? bold : fonts_.dayInUse);
        painter.setPen(isToday ? colors_.today : weekend ? colors_.weekend : colors_.days);
        drawShadowedText(painter, cell.adjusted(2, 2, -2.5, 0), style_.dayNumberFlags,
                         QString::number(day.day()));
        if (settings.hasSpecialDays() || settings.showAddressBDays() != 0) {
            drawDayMarks(painter, g, day, cell, marks);
        }
        last = day;
    }
    drawAuxMonthStarts(painter, drawn, g.cw);
    // The space after the last day.
    if (row < 5) {
        drawn.bottomFreeSpace =
            QRectF(r.left() + g.columnShift * g.cw, g.gridTop + 5 * g.rowH, 7 * g.cw, g.rowH);
    } else {
        const int after = g.columnOf(last) + 1;
        const qreal width = (7 - after) * g.cw;
        drawn.bottomFreeSpace = QRectF(r.left() + (after + g.columnShift) * g.cw,
                                       g.gridTop + row * g.rowH, width < 3 ? 0 : width, g.rowH);
    }
    drawSettingsError(painter, drawn);
    drawn_ << drawn;
}

void MonthGridPainter::drawGrid(QPainter& painter, const MonthGeometry& g) {
    const QRectF& r = g.rect;
    painter.save();
    const int horGrid = settings_.HorGrid();
    if (horGrid == 1 && style_.gridLines) {
        painter.setPen(QPen(colors_.grid, 1));
        for (int k = 1; k <= 5; ++k) {
            const qreal y = g.gridTop + k * g.rowH;
            painter.drawLine(QPointF(r.left(), y), QPointF(r.right() - 1, y));
        }
    } else if (horGrid != 0) {
        QPainterPath bands;
        for (int k = 0; k < 6; ++k) {
            bands.addRoundedRect(
                QRectF(r.left() + 1, g.gridTop + k * g.rowH + 1, r.width() - 2, g.rowH - 1.5), 7.5,
                7.5);
        }
        painter.fillPath(bands, colors_.grid);
    }
    if (settings_.VerGrid() != 0 && style_.gridLines) {
        painter.setPen(QPen(colors_.grid, 1));
        for (int k = 0; k < 6; ++k) {
            const qreal x = r.left() + (g.weekNumbers ? 2 : 1) * g.cw + k * g.cw;
            painter.drawLine(QPointF(x, g.gridTop), QPointF(x, r.bottom()));
        }
    }
    painter.restore();
}

void MonthGridPainter::drawMonthTitle(QPainter& painter, const MonthGeometry& g) {
    const QLocale locale;
    const QString name = locale.standaloneMonthName(
        g.start.month(), style_.longMonthNames ? QLocale::LongFormat : QLocale::ShortFormat);
    painter.setFont(fonts_.year);
    painter.setPen(colors_.month);
    const QRectF titleBox(g.rect.left(), g.rect.top(), g.rect.width(), g.titleH + 2);
    drawShadowedText(painter, titleBox, Qt::AlignHCenter | Qt::AlignBottom,
                     QStringLiteral("%1 %2").arg(name).arg(g.start.year(), 4));
}

void MonthGridPainter::drawWeekdayHeader(QPainter& painter, const MonthGeometry& g,
                                         DrawnMonth& drawn) {
    const QRectF& r = g.rect;
    const QLocale locale;
    QLocale::FormatType form = r.width() < 200   ? QLocale::NarrowFormat
                               : r.width() < 400 ? QLocale::ShortFormat
                                                 : QLocale::LongFormat;
    const QFontMetricsF metrics(fonts_.dayOfWeek);
    int keep = form == QLocale::NarrowFormat ? 1 : form == QLocale::ShortFormat ? 3 : 0;
    const auto nameOf = [&](int weekday) {  // 0 Sunday
        QString name = locale.standaloneDayName(weekday == 0 ? 7 : weekday, form);
        return keep > 0 ? name.left(keep) : name;
    };
    for (int w = 0; w < 7; ++w) {
        if (metrics.horizontalAdvance(nameOf(w)) > g.cw) {
            if (keep == 0 || keep > 3) {
                form = QLocale::ShortFormat;
                keep = 3;
            }
            if (metrics.horizontalAdvance(nameOf(w)) > g.cw) {
                keep = 1;
                break;
            }
        }
    }
    const qreal headerTop = r.top() + g.titleH;
    if (g.weekNumbers && (!style_.weekHeaderOnlyOverShortNames || keep == 3)) {
        painter.setFont(fonts_.weekNo);
        painter.setPen(colors_.weekNo);
        painter.drawText(QRectF(r.left() + 2, headerTop, g.cw, g.headerH + 2),
                         Qt::AlignLeft | Qt::AlignBottom,
                         keep >= 3 ? QStringLiteral("W#") : QStringLiteral("W"));
    }
    painter.setFont(fonts_.dayOfWeek);
    painter.setPen(colors_.dayOfWeek);
    for (int c = 0; c < 7; ++c) {
        const int weekday = (g.firstDay + c) % 7;
        const qreal left = r.left() + (c + g.columnShift) * g.cw + 2;
        drawShadowedText(painter, QRectF(left, headerTop, g.cw - 2, g.headerH + 2),
                         Qt::AlignHCenter | Qt::AlignBottom, nameOf(weekday));
        drawn.weekdayNames << nameOf(weekday);
    }
}

int MonthGridPainter::rowWeek(const MonthGeometry& g, const QDate& d) const {
    if (!style_.firstRowWeekNumber && d.month() == g.start.month() && d.day() <= 7 &&
        d.addDays(-g.columnOf(d)) <= g.start) {
        return g.start.weekNumber();  // the first row: the week of the 1st
    }
    // The ISO week of the row's Monday.
    const QDate rowStart = d.addDays(-g.columnOf(d));
    const QDate monday = rowStart.addDays((1 - weekdayOf(rowStart) + 7) % 7);
    return monday.weekNumber();
}

void MonthGridPainter::drawWeekNumber(QPainter& painter, const MonthGeometry& g, const QDate& d,
                                      int row, DrawnMonth& drawn) {
    const int week = rowWeek(g, d);
    drawn.weekNumbers << week;
    if (g.weekNumbers && week <= style_.highestWeekNumber &&
        (row > 0 || style_.firstRowWeekNumber)) {
        painter.setFont(fonts_.weekNo);
        painter.setPen(colors_.weekNo);
        drawShadowedText(painter,
                         QRectF(g.rect.left() + 3, g.gridTop + row * g.rowH, g.cw - 3, g.rowH),
                         Qt::AlignLeft | Qt::AlignBottom, QString::asprintf("%2d", week));
    }
}

void MonthGridPainter::drawSelection(QPainter& painter, const MonthGeometry& g, const QDate& day,
                                     const QRectF& cell) {
    const QPointF& p = selection_.p;
    const bool navigated = style_.navigatedDay.has_value();
    const bool picked = (!navigated && p.x() >= 0 && cell.contains(p)) ||
                        (navigated && day == *style_.navigatedDay);
    if (!picked) {
        return;
    }
    painter.setPen(QPen(colors_.selectedDay, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(cell.adjusted(1, 1, -1, -1));
    if (navigated) {
        return;
    }
    selection_.day = day.day();
    selection_.dayOfYear = day.dayOfYear();
    selection_.month = day.month();
    selection_.year = day.year();
    selection_.week = rowWeek(g, day);
    QStringList parts;
    const QString week =
        selection_.week > 0 ? QObject::tr("Week %1").arg(selection_.week) : QString();
    const QString dayOfYear =
        selection_.dayOfYear > 0 ? QObject::tr("Day %1").arg(selection_.dayOfYear) : QString();
    for (const QString& part :
         style_.tipDayFirst ? QStringList{dayOfYear, week} : QStringList{week, dayOfYear}) {
        if (!part.isEmpty()) {
            parts << part;
        }
    }
    view_.setToolTip(
        parts.isEmpty()
            ? monthGridClickHint()
            : QObject::tr("Selected day is:\n%1\n%2").arg(parts.value(0), parts.value(1)));
}

void MonthGridPainter::drawDayMarks(QPainter& painter, const MonthGeometry& g, const QDate& day,
                                    const QRectF& cell, const DayMarks& marks) {
    const myCalSettings& settings = settings_;
    const QImage& info = marks.info;
    const std::optional<QString> special = settings.specialDayText(day);
    QRectF label = cell.adjusted(2, 2, -2, -2);
    if (special) {
        const bool atLeft =
            style_.markOppositeLeftNumber ? settings.dayHPos() != 0 : settings.dayHPos() <= 1;
        const qreal x = atLeft ? cell.left() + 2 : cell.right() - info.width() - 2.5;
        label = QRectF(x, cell.top() + 3, info.width(), info.height());
        painter.drawImage(label.topLeft(), info);
    }
    QString names;
    if (settings.showAddressBDays() != 0) {
        names = settings_.GetBirthDay(day, marks.people);
    }
    if (!names.isEmpty()) {
        const int side = static_cast<int>(std::min<qreal>(12, std::max<qreal>(4, g.rowH / 3)));
        const QRectF nameBox = style_.birthdayInMarkPlace ? label : cell.adjusted(2, 2, -2, -2);
        if (settings.showAddressBDays() == 2 && nameBox.width() > 14) {
            const QRectF textBox = nameBox.adjusted(12, 0, 0, 0);
            const QFontMetricsF labelMetrics(fonts_.label);
            QString shown = names.simplified();
            while (shown.size() > 1 && labelMetrics.horizontalAdvance(shown) > textBox.width()) {
                shown.chop(2);
                shown += QChar(0x2026);
            }
            painter.setFont(fonts_.label);
            painter.setPen(Qt::black);
            painter.drawText(textBox, Qt::AlignRight | Qt::AlignTop, shown);
        }
        const qreal x = style_.birthdayInMarkPlace ? nameBox.left()
                        : special                  ? label.right() + 1
                                                   : nameBox.left();
        painter.drawImage(QRectF(x, cell.top() + 2, side, side), birthdayBadge(side));
    }
    QString tip;
    if (!names.isEmpty() && special) {
        tip = QObject::tr("Birthday(s):\r%1\r\rEvent(s):\r%2").arg(names, *special);
    } else if (!names.isEmpty()) {
        tip = QObject::tr("Birthday(s):\r%1\r").arg(names);
    } else if (special) {
        tip = *special;
    }
    if (!tip.isEmpty()) {
        regions_.append({cell, tip});
    }
}

void MonthGridPainter::drawSettingsError(QPainter& painter, const DrawnMonth& drawn) {
    const auto& error = settings_.err();
    if (!error) {
        return;
    }
    const QString text = QObject::tr("Suggestion: %1\n[%2]").arg(error->suggestion, error->reason);
    const QRectF space =
        !drawn.topFreeSpace.isEmpty() && drawn.topFreeSpace.width() > drawn.bottomFreeSpace.width()
            ? drawn.topFreeSpace
            : drawn.bottomFreeSpace;
    painter.setPen(QPen(Qt::red, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(space);
    painter.setPen(Qt::black);
    painter.setFont(fonts_.label);
    painter.drawText(space.adjusted(2, 2, -2, -2), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop,
                     text);
    regions_.append({space, text});
}

void MonthGridPainter::drawAuxMonthStarts(QPainter& painter, DrawnMonth& drawn, qreal cellWidth) {
    const Calendar& aux = settings_.auxCalendar();
    if (aux.isNull() || drawn.days.isEmpty()) {
        return;
    }
    // The mini calendar's own month model says where the other calendar's months begin.
    const Calendar gregorian = CalendarExtras::calendarWithIdentifier(QStringLiteral("gregorian"));
    const auto month = CalMonth::initWithDate(
        Date::fromQDateTime(QDateTime(drawn.first, QTime(12, 0), gregorian.timeZone())), gregorian);
    const auto firstDays = month->firstDaysOfCalendar(aux);
    if (!firstDays) {
        return;
    }
    std::unique_ptr<icu::SimpleDateFormat> monthName =
        IcuDates::createPatternFormat(QStringLiteral("MMMM"));
    if (monthName) {
        monthName->adoptCalendar(
            aux.withTimeZone(gregorian.timeZone()).icuCalendar(Date()).release());
    }
    const QFontMetricsF metrics(fonts_.label);
    painter.save();
    for (const int32_t day : *firstDays) {
        if (day < 1 || day > drawn.days.size()) {
            continue;
        }
        const DrawnDay& shown = drawn.days[day - 1];
        const QRectF& cell = shown.cell;
        drawn.auxMonthStarts << shown.date;
        // A bar down the day's left edge, and the new month's name where there is room.
        painter.setPen(QPen(colors_.month, 2));
        painter.drawLine(QPointF(cell.left() + 1, cell.top() + 1),
                         QPointF(cell.left() + 1, cell.bottom() - 1));
        if (monthName && cellWidth >= 36) {
            const QString name = metrics.elidedText(
                IcuDates::format(*monthName, month->dateOfDay(day).addingTimeInterval(12 * 3600.0)),
                Qt::ElideRight, cell.width() - 5);
            painter.setFont(fonts_.label);
            painter.drawText(cell.adjusted(4, 1, -1, -1), Qt::AlignLeft | Qt::AlignTop, name);
        }
        if (const auto text = month->descriptionForDay(day, aux)) {
            regions_.append({cell, *text});
        }
    }
    painter.restore();
}

bool dropOnMonthGrid(myCalSettings& settings, const QMimeData& mime) {
    QString text;
    const QList<QUrl> urls = mime.hasUrls() ? mime.urls() : QList<QUrl>();
    const auto file =
        std::find_if(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
    if (file != urls.end()) {
        text = file->toLocalFile();
    } else if (!urls.isEmpty()) {
        text = urls.front().toString();
    } else if (mime.hasText()) {
        text = mime.text();
    } else {
        platform::log(QStringLiteral("unsupported dragged types: %1")
                          .arg(mime.formats().join(QStringLiteral(", "))));
    }
    text = text.trimmed();
    platform::debugLog(QStringLiteral("imagePAth = %1").arg(text));
    if (text.endsWith(QLatin1String(".ics"), Qt::CaseInsensitive) ||
        text.startsWith(QLatin1String("webcal"))) {
        settings.loadCALDesc(text);
        return false;
    }
    if (text.isEmpty()) {
        return false;
    }
    const bool web =
        text.startsWith(QLatin1String("http://")) || text.startsWith(QLatin1String("https://"));
    settings.freeImageCache();
    settings.setSImagePath(text);
    settings.LoadImage(settings.sImagePath());
    if (!settings.bgImage().isNull() || settings.imagePathisDir() || web) {
        PreferenceDomain::writeText(QStringLiteral("CalBGImagePath"), text);
        PreferenceDomain::synchronize(QStringLiteral("Talvor: the calendar picture was not saved"));
        return true;
    }
    return false;
}

// Colours ------------------------------------------------------------------------------

void MonthColors::setFirstDefaults() {
    grid = QColor::fromRgbF(0.867f, 0.867f, 0.867f, 0.8f);
    days = Qt::black;
    today = Qt::red;
    weekNo = Qt::darkGray;
    selectedDay = Qt::blue;
    dayOfWeek = Qt::black;
    month = Qt::black;
    weekend = Qt::blue;
    background = Qt::white;
}

void MonthColors::readFromDefaults() {
    using TalvorProColor::myGetColorFromDefaults;
    grid = myGetColorFromDefaults(QStringLiteral("CalColorGrid"),
                                  QColor::fromRgbF(0.667f, 0.667f, 0.667f, 0.9f));
    days = myGetColorFromDefaults(QStringLiteral("CalColorDay"), Qt::black);
    today = myGetColorFromDefaults(QStringLiteral("CalColorToday"), Qt::red);
    weekNo = myGetColorFromDefaults(QStringLiteral("CalColorWeekNo"), Qt::darkGray);
    selectedDay = myGetColorFromDefaults(QStringLiteral("CalColorSelectedDay"), Qt::blue);
    dayOfWeek = myGetColorFromDefaults(QStringLiteral("CalColorDofW"), Qt::blue);
    month = myGetColorFromDefaults(QStringLiteral("CalColorMonth"), Qt::blue);
    weekend = myGetColorFromDefaults(QStringLiteral("CalColorWeekend"), Qt::blue);
    background = myGetColorFromDefaults(QStringLiteral("CalColorBackground"), Qt::white);
}

// Fonts --------------------------------------------------------------------------------

void MonthFonts::setYear(const QFont& font) {
    year = font;
    titleSize = static_cast<float>(font.pointSizeF());
}

void MonthFonts::setDayOfWeek(const QFont& font) {
    dayOfWeek = font;
    dayOfWeekSize = static_cast<float>(font.pointSizeF());
}

void MonthFonts::setDay(const QFont& font, int months) {
    float size = static_cast<float>(font.pointSizeF());
    if (months >= 7) {
        size *= 0.7f;
    } else if (months >= 5) {
        size *= 0.8f;
    }
    day = font;
    daySize = std::max(size, 6.0f);
    dayInUse = font;
    dayInUse.setPointSizeF(daySize);
    weekNo = font;
    weekNo.setPointSizeF(0.75 * daySize);
}

void MonthFonts::loadYear() {
    if (auto font =
            TalvorLoadFonts::TalvorLoadCopyFont(QStringLiteral("CalYearFont"), 18, kHelvetica)) {
        setYear(*font);
    }
}

void MonthFonts::loadDayOfWeek() {
    if (auto font = TalvorLoadFonts::TalvorLoadCopyFont(QStringLiteral("CalDayOfWeekFont"), 11,
                                                        kHelvetica)) {
        setDayOfWeek(*font);
    }
}

void MonthFonts::loadLabel() {
    if (auto font =
            TalvorLoadFonts::TalvorLoadCopyFont(QStringLiteral("CalLabelFont"), 9, kHelvetica)) {
        label = *font;
    }
}

std::optional<QFont> MonthFonts::loadDayFont() {
    return TalvorLoadFonts::TalvorLoadCopyFont(QStringLiteral("CalDayFont"), 11, kHelvetica);
}

std::optional<QString> toolTipIn(const QList<QPair<QRectF, QString>>& regions,
                                 const QPointF& point) {
    for (const auto& region : regions) {
        if (region.first.contains(point)) {
            return region.second;
        }
    }
    return std::nullopt;
}

}  // namespace talvor
