#include "myCalProView.h"

#include "CalendarApplication.h"
#include "foundation/PreferenceDomain.h"
#include "platform/Clock.h"
#include "platform/Log.h"

#include <QDragEnterEvent>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QLocale>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <algorithm>
#include <cmath>

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

myCalProView::myCalProView(QWidget* parent)
    : QWidget(parent), calSettings_(std::make_unique<myCalSettings>()) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setFocusPolicy(Qt::ClickFocus);
    setAcceptDrops(true);
    oCurDate_ = today();
    curDayDate_ = oCurDate_;
    LoadYearMonthFont();
    LoadLabelFont();
    LoadDayOfWeekFont();
    LoadDayFont();
    initColors();
    connect(calSettings_.get(), &myCalSettings::changed, this, qOverload<>(&QWidget::update));
}

myCalProView::~myCalProView() = default;

QDate myCalProView::today() const {
    const platform::Clock& clock = clock_ != nullptr ? *clock_ : platform::Clock::shared();
    return clock.now().toQDateTime().toTimeZone(clock.currentZone()).date();
}

void myCalProView::Today() {
    curDayDate_ = today();
    oCurDate_ = curDayDate_;
    dayRectFlag_ = false;
    update();
}

void myCalProView::nextMonth() {
    SetoCurDate(oCurDate_.addMonths(1));
}

void myCalProView::prevMonth() {
    SetoCurDate(oCurDate_.addMonths(-1));
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

void myCalProView::SetoCurDate(const QDate& date) {
    oCurDate_ = date;
    update();
}

QDateTime myCalProView::dateValue() const {
    if (selection_.day >= 1) {
        return QDateTime(QDate(selection_.year, selection_.month, selection_.day), QTime(12, 0));
    }
    return QDateTime(oCurDate_, QTime(12, 0));
}

// Colours ------------------------------------------------------------------------------

void myCalProView::initColors() {
    colors_.setFirstDefaults();
    colors_.border = QColor::fromRgbF(0.8f, 0.8f, 0.8f);
    dayNoLocation_ = 0;
}

void myCalProView::ReadCalColors() {
    colors_.readFromDefaults();
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

void myCalProView::setCalDayOfWeekFont(const QFont& font) {
    fonts_.setDayOfWeek(font);
    update();
}

void myCalProView::setCalYearFont(const QFont& font) {
    fonts_.setYear(font);
    update();
}

void myCalProView::setCalDayFont(const QFont& font) {
    fonts_.day = font;
    fonts_.daySize = static_cast<float>(font.pointSizeF());
    fonts_.dayInUse = font;
    fonts_.weekNo = font;
    fonts_.weekNo.setPointSizeF(std::max(1.0, 0.75 * fonts_.daySize));
    update();
}

void myCalProView::LoadYearMonthFont() {
    fonts_.loadYear();
}

void myCalProView::LoadDayOfWeekFont() {
    fonts_.loadDayOfWeek();
}

void myCalProView::LoadLabelFont() {
    fonts_.loadLabel();
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

void myCalProView::preCalFontSize(const QRectF& rect) {
    painter().preCalFontSize(rect);
}

// Clicks -------------------------------------------------------------------------------

void myCalProView::SetLastClick(const QPointF& point) {
    dayRectFlag_ = false;
    selection_.p = point;
    setToolTip(monthGridClickHint());
    redrawSelection();
}

void myCalProView::redrawSelection() {
    // The selection is found while drawing; the caller wants it now.
    QImage scratch(size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&scratch);
    drawMonths(painter, rect(), true);
    painter.end();
    update();
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

void myCalProView::focusInEvent(QFocusEvent* event) {
    update();
    QWidget::focusInEvent(event);
}

void myCalProView::focusOutEvent(QFocusEvent* event) {
    update();
    QWidget::focusOutEvent(event);
}

// Drops --------------------------------------------------------------------------------

void myCalProView::dragEnterEvent(QDragEnterEvent* event) {
    dragging_ = true;
    update();
    event->acceptProposedAction();
}

void myCalProView::dragLeaveEvent(QDragLeaveEvent* event) {
    dragging_ = false;
    update();
    QWidget::dragLeaveEvent(event);
}

void myCalProView::dropEvent(QDropEvent* event) {
    if (performDragOperation(*event->mimeData())) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

bool myCalProView::performDragOperation(const QMimeData& mime) {
    dragging_ = false;
    const bool taken = dropOnMonthGrid(*calSettings_, mime);
    update();
    return taken;
}

// Tool tips ----------------------------------------------------------------------------

std::optional<QString> myCalProView::toolTipAt(const QPointF& point) const {
    return toolTipIn(regionList_, point);
}

bool myCalProView::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (auto text = toolTipAt(help->pos())) {
            QToolTip::showText(help->globalPos(), *text, this);
            return true;
        }
    }
    return QWidget::event(event);
}

// Drawing ------------------------------------------------------------------------------

QRectF myCalProView::myAdjustRect(const QRectF& src, const QRectF& dst, int type) {
    return MonthGridPainter::myAdjustRect(src, dst, type);
}

QImage myCalProView::infoBadge(int side) {
    return MonthGridPainter::infoBadge(side);
}

QImage myCalProView::birthdayBadge(int side) {
    return MonthGridPainter::birthdayBadge(side);
}

MonthGridPainter myCalProView::painter() {
    style_.longMonthNames = longMonthNames_;
    style_.dayNumberFlags = dayNumberFlags(dayNoLocation_);
    style_.navigatedDay = dayRectFlag_ ? std::optional<QDate>(curDayDate_) : std::nullopt;
    return MonthGridPainter(*calSettings_, fonts_, colors_, selection_, regionList_, drawnMonths_,
                            *this, style_);
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
    if (!colors_.today.isValid() || !colors_.grid.isValid() || !colors_.days.isValid() ||
        !colors_.weekend.isValid()) {
        platform::log(QStringLiteral("error ReadCalColors"));
        platform::beep();
        ReadCalColors();
    }
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
