#include "CalMonthView.h"

#include "SystemFont.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"

#include <QFontDatabase>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace talvor {
namespace {

constexpr double kTitleGap = 3.0;

}  // namespace

CalMonthView::CalMonthView(QWidget* parent) : ColoredView(parent) {
    setAttribute(Qt::WA_Hover);
}

void CalMonthView::setMonth(CalMonthPtr month) {
    currMonth_ = std::move(month);
    rebuildMatrix();
}

QRectF CalMonthView::cellRect(int row, int col) const {
    return QRectF(margin_ + col * cellSize_.width(),
                  titleHeight_ + kTitleGap + row * cellSize_.height(), cellSize_.width(),
                  cellSize_.height());
}

void CalMonthView::rebuildMatrix() {
    cells_.clear();
    weekNums_.clear();
    if (!currMonth_) {
        return;
    }
    const QFont numberFont = systemFont(numberFontSize_);
    CalFieldCell prototype(QStringLiteral("33 "));
    prototype.setFont(numberFont);
    cellSize_ = prototype.cellSize();

    header_ = currMonth_->weekDays(true);
    for (int32_t r = 0; r < currMonth_->numRows(); ++r) {
        for (int32_t c = 0; c < currMonth_->numCols(); ++c) {
            bool inMonth = false;
            const int32_t day = currMonth_->dateForRow(r, c, &inMonth);
            Cell cell{day, inMonth, CalFieldCell(QString::number(day)), QString()};
            cell.cell.setFont(numberFont);
            cell.cell.setEnabled(inMonth);
            cell.cell.setHasTarget(inMonth);
            cells_.push_back(std::move(cell));
        }
        if (showsWeekNum_) {
            weekNums_.push_back(currMonth_->weekNumForRow(r));
        }
    }
    margin_ = 0;
    if (showsWeekNum_) {
        CalFieldCell weekPrototype(QStringLiteral("88"));
        weekPrototype.setFont(numberFont);
        margin_ = weekPrototype.cellSize().width() + 1.0;
    }
    setLeftMargin(static_cast<float>(margin_));
    title_ = QStringLiteral("%1 %2").arg(currMonth_->name()).arg(currMonth_->year());
    titleHeight_ = QFontMetricsF(systemFont(titleFontSize_, true)).height();
    const double matrixHeight = (currMonth_->numRows() + 1) * cellSize_.height();
    size_ = QSize(static_cast<int>(std::ceil(margin_ + 7 * cellSize_.width())),
                  static_cast<int>(std::ceil(matrixHeight + kTitleGap + titleHeight_)));
    resize(size_);
    updateGeometry();
    updateToday();
    update();
}

CalMonthView::Cell* CalMonthView::cellForDay(int32_t day) {
    return const_cast<Cell*>(std::as_const(*this).cellForDay(day));
}

const CalMonthView::Cell* CalMonthView::cellForDay(int32_t day) const {
    for (const Cell& cell : cells_) {
        if (cell.inMonth && cell.day == day) {
            return &cell;
        }
    }
    return nullptr;
}

void CalMonthView::updateEvents() {
    unhighlightAllEvents();
    highlightEvents();
}

void CalMonthView::updateToday() {
    for (Cell& cell : cells_) {
        cell.cell.setBordered(false);
    }
    if (currMonth_) {
        if (Cell* today = cellForDay(currMonth_->dayOfToday())) {
            today->cell.setBordered(true);
        }
    }
    update();
}

bool CalMonthView::hasDate(Date date) const {
    return currMonth_ && currMonth_->dayOfDate(date) != -1;
}

void CalMonthView::highlightEvents() {
    if (!currMonth_) {
        return;
    }
    for (int32_t day : currMonth_->allEventDays()) {
        Cell* cell = cellForDay(day);
        const std::vector<CalEventDay>* list = currMonth_->eventsForDay(day);
        if (cell == nullptr || list == nullptr) {
            continue;
        }
        std::vector<CalEventDay> events = *list;
        if (events.size() >= 2) {
            std::stable_sort(events.begin(), events.end(),
                             [](const CalEventDay& a, const CalEventDay& b) {
                                 return a.compareBySource(b) < 0;
                             });
        }
        std::vector<DayEventMark> marks;
        QStringList tips;
        for (const CalEventDay& e : events) {
            const DayEventMark mark = e.mark();
            marks.push_back(mark);
            if (!mark.hasGadget) {
                tips << e.toolTip();
            }
        }
        cell->cell.setRepresentedEvents(std::move(marks));
        cell->toolTip = tips.join(QLatin1Char('\n'));
    }
    update();
}

void CalMonthView::unhighlightAllEvents() {
    for (Cell& cell : cells_) {
        cell.cell.setRepresentedEvents({});
        cell.toolTip.clear();
    }
    update();
}

void CalMonthView::setAuxCalendar(const Calendar& calendar) {
    removeBorderLines();
    if (!currMonth_) {
        return;
    }
    const auto firstDays = currMonth_->firstDaysOfCalendar(calendar);
    if (!firstDays) {
        return;
    }
    for (int32_t day : *firstDays) {
        int32_t row = 0;
        int32_t col = 0;
        currMonth_->cellForDate(day, &row, &col);
        const QRectF frame = cellRect(row + 1, col);
        addBorderPoint(frame.bottomLeft(), frame.topLeft(), row != currMonth_->numRows() - 1,
                       row != 0);
    }
}

QString CalMonthView::toolTipForDay(int32_t day) const {
    const Cell* cell = cellForDay(day);
    return cell != nullptr ? cell->toolTip : QString();
}

std::optional<QRectF> CalMonthView::frameOfDay(int32_t day) const {
    for (size_t i = 0; i < cells_.size(); ++i) {
        if (cells_[i].inMonth && cells_[i].day == day) {
            return cellRect(static_cast<int>(i / 7) + 1, static_cast<int>(i % 7));
        }
    }
    return std::nullopt;
}

const CalFieldCell* CalMonthView::cellOfDay(int32_t day) const {
    const Cell* cell = cellForDay(day);
    return cell != nullptr ? &cell->cell : nullptr;
}

std::vector<int32_t> CalMonthView::weekNumbers() const {
    return weekNums_;
}

std::optional<int32_t> CalMonthView::dayAt(QPointF point) const {
    for (size_t i = 0; i < cells_.size(); ++i) {
        if (cells_[i].inMonth &&
            cellRect(static_cast<int>(i / 7) + 1, static_cast<int>(i % 7)).contains(point)) {
            return cells_[i].day;
        }
    }
    return std::nullopt;
}

void CalMonthView::editDate(int row, int col) {
    bool inMonth = false;
    const int32_t day = currMonth_->dateForRow(row - 1, col, &inMonth);
    if (!inMonth) {
        return;
    }
    platform::NotificationCenter::defaultCenter().post(QStringLiteral("DaySelectedNotitifcation"),
                                                       platform::senderObject(currMonth_.get()),
                                                       {{QStringLiteral("SelectedDay"), day}});
}

void CalMonthView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && currMonth_) {
        for (size_t i = 0; i < cells_.size(); ++i) {
            const int row = static_cast<int>(i / 7) + 1;
            const int col = static_cast<int>(i % 7);
            if (cellRect(row, col).contains(event->position())) {
                editDate(row, col);
                return;
            }
        }
    }
    ColoredView::mouseReleaseEvent(event);
}

bool CalMonthView::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        const std::optional<int32_t> day = dayAt(help->pos());
        const QString tip = day ? toolTipForDay(*day) : QString();
        if (tip.isEmpty()) {
            QToolTip::hideText();
            e->ignore();
        } else {
            QToolTip::showText(help->globalPos(), tip, this, frameOfDay(*day)->toRect());
        }
        return true;
    }
    return ColoredView::event(e);
}

void CalMonthView::paintEvent(QPaintEvent* event) {
    ColoredView::paintEvent(event);
    if (!currMonth_) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double matrixWidth = 7 * cellSize_.width();
    painter.setFont(systemFont(titleFontSize_, true));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(QRectF(margin_, 0, matrixWidth, titleHeight_), Qt::AlignCenter, title_);

    painter.setFont(systemFont(numberFontSize_, true));
    for (int c = 0; c < 7 && c < header_.size(); ++c) {
        painter.drawText(cellRect(0, c), Qt::AlignCenter, header_[c]);
    }
    for (size_t i = 0; i < cells_.size(); ++i) {
        cells_[i].cell.drawWithFrame(
            painter, cellRect(static_cast<int>(i / 7) + 1, static_cast<int>(i % 7)));
    }
    if (showsWeekNum_) {
        painter.setFont(systemFont(std::max(1.0f, numberFontSize_ - 2.0f)));
        painter.setPen(palette().color(QPalette::PlaceholderText));
        for (size_t r = 0; r < weekNums_.size(); ++r) {
            const QRectF row = cellRect(static_cast<int>(r) + 1, 0);
            painter.drawText(QRectF(0, row.top(), margin_ - 3.0, row.height()),
                             Qt::AlignRight | Qt::AlignVCenter, QString::number(weekNums_[r]));
        }
    }
}

}  // namespace talvor
