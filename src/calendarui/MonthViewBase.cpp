#include "MonthViewBase.h"

#include "platform/Clock.h"
#include "platform/Log.h"

#include <QDragEnterEvent>
#include <QHelpEvent>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QToolTip>

namespace talvor {

MonthViewBase::MonthViewBase(Qt::FocusPolicy focus, QWidget* parent)
    : QWidget(parent), calSettings_(std::make_unique<myCalSettings>()) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setFocusPolicy(focus);
    setAcceptDrops(true);
    oCurDate_ = today();
    LoadYearMonthFont();
    LoadLabelFont();
    LoadDayOfWeekFont();
    connect(calSettings_.get(), &myCalSettings::changed, this, qOverload<>(&QWidget::update));
}

MonthViewBase::~MonthViewBase() = default;

QDate MonthViewBase::today() const {
    const platform::Clock& clock = clock_ != nullptr ? *clock_ : platform::Clock::shared();
    return clock.now().toQDateTime().toTimeZone(clock.currentZone()).date();
}

void MonthViewBase::nextMonth() {
    SetoCurDate(oCurDate_.addMonths(1));
}

void MonthViewBase::prevMonth() {
    SetoCurDate(oCurDate_.addMonths(-1));
}

void MonthViewBase::SetoCurDate(const QDate& date) {
    oCurDate_ = date;
    update();
}

QDateTime MonthViewBase::dateValue() const {
    if (selection_.day >= 1) {
        return QDateTime(QDate(selection_.year, selection_.month, selection_.day), QTime(12, 0));
    }
    return QDateTime(oCurDate_, QTime(12, 0));
}

// Colours ------------------------------------------------------------------------------

void MonthViewBase::initColors() {
    colors_.setFirstDefaults();
    initOwnColors();
}

void MonthViewBase::ReadCalColors() {
    colors_.readFromDefaults();
}

void MonthViewBase::ensureColors() {
    if (!colors_.today.isValid() || !colors_.grid.isValid() || !colors_.days.isValid() ||
        !colors_.weekend.isValid()) {
        platform::log(QStringLiteral("error ReadCalColors"));
        platform::beep();
        ReadCalColors();
    }
}

// Fonts --------------------------------------------------------------------------------

void MonthViewBase::setCalDayOfWeekFont(const QFont& font) {
    fonts_.setDayOfWeek(font);
    update();
}

void MonthViewBase::setCalYearFont(const QFont& font) {
    fonts_.setYear(font);
    update();
}

void MonthViewBase::LoadYearMonthFont() {
    fonts_.loadYear();
}

void MonthViewBase::LoadDayOfWeekFont() {
    fonts_.loadDayOfWeek();
}

void MonthViewBase::LoadLabelFont() {
    fonts_.loadLabel();
}

void MonthViewBase::preCalFontSize(const QRectF& rect) {
    painter().preCalFontSize(rect);
}

MonthGridPainter MonthViewBase::painter() {
    updateStyle(style_);
    return MonthGridPainter(*calSettings_, fonts_, colors_, selection_, regionList_, drawnMonths_,
                            *this, style_);
}

// Clicks and focus ---------------------------------------------------------------------

void MonthViewBase::SetLastClick(const QPointF& point) {
    selection_.p = point;
    setToolTip(monthGridClickHint());
    // The day under the point is found while drawing; the caller wants it now.
    QImage scratch(size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&scratch);
    drawMonths(painter, rect(), true);
    painter.end();
    update();
}

void MonthViewBase::focusInEvent(QFocusEvent* event) {
    update();
    QWidget::focusInEvent(event);
}

void MonthViewBase::focusOutEvent(QFocusEvent* event) {
    update();
    QWidget::focusOutEvent(event);
}

// Drops --------------------------------------------------------------------------------

void MonthViewBase::setDragging(bool on) {
    dragging_ = on;
    update();
}

void MonthViewBase::dragEnterEvent(QDragEnterEvent* event) {
    setDragging(true);
    event->acceptProposedAction();
}

void MonthViewBase::dragLeaveEvent(QDragLeaveEvent* event) {
    setDragging(false);
    QWidget::dragLeaveEvent(event);
}

void MonthViewBase::dropEvent(QDropEvent* event) {
    if (performDragOperation(*event->mimeData())) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

bool MonthViewBase::performDragOperation(const QMimeData& mime) {
    dragging_ = false;
    const bool taken = dropOnMonthGrid(*calSettings_, mime);
    update();
    afterDrop(taken);
    return taken;
}

// Tool tips ----------------------------------------------------------------------------

std::optional<QString> MonthViewBase::toolTipAt(const QPointF& point) const {
    return toolTipIn(regionList_, point);
}

bool MonthViewBase::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (auto text = toolTipAt(help->pos())) {
            // The tips' texts break their lines with carriage returns, which a plain-text
            // tool tip would show as spaces.
            QToolTip::showText(help->globalPos(),
                               QString(*text).replace(QLatin1Char('\r'), QLatin1Char('\n')), this);
            return true;
        }
    }
    return QWidget::event(event);
}

}  // namespace talvor
