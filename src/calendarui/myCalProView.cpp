#include "myCalProView.h"

#include "CalendarApplication.h"
#include "foundation/PreferenceDomain.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace talvor {
namespace {

// The day number's place for its 1-9 location (left, centre, right by threes at the top,
// middle, bottom); any other: centre bottom.
int dayNumberFlags(int location) {
    switch (location) {
        case 1:
            return Qt::AlignLeft | Qt::AlignTop;
        case 2:
            return Qt::AlignLeft | Qt::AlignVCenter;
        case 3:
            return Qt::AlignLeft | Qt::AlignBottom;
        case 4:
            return Qt::AlignHCenter | Qt::AlignTop;
        case 5:
            return Qt::AlignHCenter | Qt::AlignVCenter;
        case 7:
            return Qt::AlignRight | Qt::AlignTop;
        case 8:
            return Qt::AlignRight | Qt::AlignVCenter;
        case 9:
            return Qt::AlignRight | Qt::AlignBottom;
        default:
            return Qt::AlignHCenter | Qt::AlignBottom;
    }
}

}  // namespace

myCalProView::myCalProView(QWidget* parent) : MonthViewBase(Qt::ClickFocus, parent) {
    curDayDate_ = oCurDate_;
    LoadDayFont();
    initColors();
}

myCalProView::~myCalProView() = default;

void myCalProView::Today() {
    curDayDate_ = today();
    oCurDate_ = curDayDate_;
    dayRectFlag_ = false;
    update();
}

void myCalProView::prevDay() {
    dayRectFlag_ = true;
    selection_.p = QPointF(0, 0);
    curDayDate_ = curDayDate_.addDays(-1);
    oCurDate_ = curDayDate_;
    update();
}

void myCalProView::nextDay() {
    dayRectFlag_ = true;
    selection_.p = QPointF(0, 0);
    curDayDate_ = curDayDate_.addDays(1);
    oCurDate_ = curDayDate_;
    update();
}

// Colours ------------------------------------------------------------------------------

void myCalProView::initOwnColors() {
    colors_.border = QColor::fromRgbF(0.8f, 0.8f, 0.8f);
    dayNoLocation_ = 0;
}

void myCalProView::setCalColorBG(const QColor& c) {
    colors_.background = c;
    update();
}
void myCalProView::setCalColorBorder(const QColor& c) {
    colors_.border = c;
    update();
}
void myCalProView::setCalColorRow(const QColor& c) {
    colors_.grid = c;
    update();
}
void myCalProView::setCalColorDay(const QColor& c) {
    colors_.days = c;
    colors_.weekend = c;
    colors_.today = Qt::red;
    update();
}
void myCalProView::setCalColorDayOfWeek(const QColor& c) {
    colors_.dayOfWeek = c;
    update();
}
void myCalProView::setCalColorMonth(const QColor& c) {
    colors_.month = c;
    update();
}
void myCalProView::setCalColorToday(const QColor& c) {
    colors_.today = c;
    update();
}
void myCalProView::setCalColorSelectedDay(const QColor& c) {
    colors_.selectedDay = c;
    update();
}
void myCalProView::setCalColorWeekend(const QColor& c) {
    colors_.weekend = c;
    update();
}
void myCalProView::setCalDayNoLocation(int location) {
    dayNoLocation_ = location;
    update();
}
void myCalProView::setLongMonthNames(bool on) {
    longMonthNames_ = on;
    update();
}

// Fonts --------------------------------------------------------------------------------

void myCalProView::setCalDayFont(const QFont& font) {
    fonts_.day = font;
    fonts_.daySize = static_cast<float>(font.pointSizeF());
    fonts_.dayInUse = font;
    fonts_.weekNo = font;
    fonts_.weekNo.setPointSizeF(std::max(1.0, 0.75 * fonts_.daySize));
    update();
}

void myCalProView::LoadDayFont() {
    if (auto font = MonthFonts::loadDayFont()) {
        fonts_.day = *font;
        scaleDayFontForMonths();
    }
}

void myCalProView::scaleDayFontForMonths() {
    fonts_.setDay(fonts_.day, calSettings_->cntH() * calSettings_->cntV());
    update();
}

// Clicks -------------------------------------------------------------------------------

void myCalProView::SetLastClick(const QPointF& point) {
    dayRectFlag_ = false;
    MonthViewBase::SetLastClick(point);
}

void myCalProView::mousePressEvent(QMouseEvent* event) {
    dayRectFlag_ = false;
    if (event->button() == Qt::LeftButton) {
        SetLastClick(event->position());
    }
    QWidget::mousePressEvent(event);
}

void myCalProView::mouseDoubleClickEvent(QMouseEvent* event) {
    dayRectFlag_ = false;
    if (doubleClickOpensCalendar_) {
        CalendarApplication::launch();
    }
    if (action_) {
        action_(*this);
    }
    QWidget::mouseDoubleClickEvent(event);
}

void myCalProView::mouseReleaseEvent(QMouseEvent* event) {
    dayRectFlag_ = false;
    if (action_) {
        action_(*this);
    }
    QWidget::mouseReleaseEvent(event);
}

// Drawing ------------------------------------------------------------------------------

QImage myCalProView::infoBadge(int side) {
    return MonthGridPainter::infoBadge(side);
}

QImage myCalProView::birthdayBadge(int side) {
    return MonthGridPainter::birthdayBadge(side);
}

void myCalProView::updateStyle(MonthStyle& style) {
    style.longMonthNames = longMonthNames_;
    style.dayNumberFlags = dayNumberFlags(dayNoLocation_);
    style.navigatedDay = dayRectFlag_ ? std::optional<QDate>(curDayDate_) : std::nullopt;
}

void myCalProView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawMonths(painter, rect(), true);
    if (hasFocus()) {
        painter.setPen(QPen(colors_.border, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    }
    if (dragging_) {
        painter.setPen(QPen(Qt::red, 4));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(rect()).adjusted(2, 2, -2, -2));
    }
}

void myCalProView::drawMonths(QPainter& painter, const QRectF& target, bool toScreen) {
    regionList_.clear();
    drawnMonths_.clear();
    ensureColors();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const myCalSettings& settings = *calSettings_;
    const QDate kept = oCurDate_;
    QDate month = oCurDate_.addMonths(settings.startMonthOffset());
    month = QDate(month.year(), month.month(), 1);
    selection_.month = month.month();
    selection_.year = month.year();
    selection_.day = -1;
    selection_.dayOfYear = -1;
    selection_.week = -1;
    oCurDate_ = month;

    const int across = std::max(1, settings.cntH());
    const int down = std::max(1, settings.cntV());
    const qreal cellW = target.width() / across;
    const qreal cellH = target.height() / down;
    const qreal margin = settings.margin();
    const qreal marginC = settings.marginC();
    const QRectF first(target.left(), target.top(), cellW, cellH);
    if (down == 1) {
        fonts_.dayInUse = fonts_.day;
        fonts_.dayInUse.setPointSizeF(fonts_.daySize);
    }
    preCalFontSize(first.adjusted(marginC, marginC, -marginC, -marginC));

    for (int row = 0; row < down; ++row) {
        for (int column = 0; column < across; ++column) {
            const QRectF cell(target.left() + column * cellW, target.top() + row * cellH, cellW,
                              cellH);
            calSettings_->LoadMonthImage(oCurDate_.month());
            const QImage image = settings.bgImage();
            if (image.isNull()) {
                painter.fillRect(cell.adjusted(margin, margin, -margin, -margin),
                                 colors_.background);
            }
            const QRectF inner = cell.adjusted(marginC, marginC, -marginC, -marginC);
            drawCalRect(painter, inner, settings.drawWindowTitle() & myCalSettings::kMonthTitle,
                        image, toScreen);
            if (settings.iDrawFrame() > 0) {
                const int halfWidth = settings.iDrawFrame() / 2;  // whole points
                const qreal half = halfWidth;
                painter.setPen(QPen(colors_.grid, settings.iDrawFrame()));
                painter.setBrush(Qt::NoBrush);
                painter.drawRect(inner.adjusted(-half, -half, half, half));
            }
            oCurDate_ = oCurDate_.addMonths(1);
        }
    }
    oCurDate_ = kept;
    painter.restore();
}

void myCalProView::drawCalRect(QPainter& painter, const QRectF& r, bool showTitle,
                               const QImage& image, bool toScreen) {
    this->painter().drawCalRect(painter, r, oCurDate_, showTitle, image, toScreen, today());
}

}  // namespace talvor
