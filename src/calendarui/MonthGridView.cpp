#include "MonthGridView.h"

#include "widgets/CalFieldCell.h"
#include "widgets/NamedColors.h"

#include <QPainter>
#include <QToolButton>

namespace talvor {
namespace {

QFont sized(double points, bool bold) {
    QFont font;
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QToolButton* arrowButton(Qt::ArrowType arrow, const QString& toolTip, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setAutoRaise(true);
    button->setToolTip(toolTip);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

}  // namespace

MonthGridView::Style MonthGridView::miniStyle() {
    return Style{26, 20, 24, sized(11, false), sized(12, true)};
}

MonthGridView::Style MonthGridView::bigStyle() {
    return Style{44, 34, 32, sized(15, false), sized(17, true)};
}

MonthGridView::MonthGridView(Style style, QWidget* parent)
    : QWidget(parent),
      style_(std::move(style)),
      previous_(arrowButton(Qt::LeftArrow, tr("Previous month"), this)),
      next_(arrowButton(Qt::RightArrow, tr("Next month"), this)) {
    connect(previous_, &QToolButton::clicked, this, &MonthGridView::previousMonth);
    connect(next_, &QToolButton::clicked, this, &MonthGridView::nextMonth);
    resize(sizeHint());
}

void MonthGridView::setGrid(MonthGrid grid) {
    grid_ = std::move(grid);
    update();
}

QRectF MonthGridView::cellFrame(int row, int column) const {
    const double top = weekdayRowTop() + style_.cellHeight;
    return QRectF(kMargin + column * style_.cellWidth, top + row * style_.cellHeight,
                  style_.cellWidth, style_.cellHeight);
}

QSize MonthGridView::sizeHint() const {
    const QRectF last = cellFrame(MonthGrid::kRows - 1, MonthGrid::kColumns - 1);
    return QSizeF(last.right() + kMargin, last.bottom() + kMargin).toSize();
}

void MonthGridView::resizeEvent(QResizeEvent*) {
    const int side = static_cast<int>(style_.headerHeight) - 4;
    previous_->setGeometry(static_cast<int>(kMargin), static_cast<int>(kMargin) + 2, side, side);
    next_->setGeometry(width() - static_cast<int>(kMargin) - side, static_cast<int>(kMargin) + 2,
                       side, side);
}

void MonthGridView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    painter.setFont(style_.titleFont);
    painter.setPen(palette().color(QPalette::WindowText));
    const QRectF titleRect(kMargin, kMargin, width() - 2 * kMargin, style_.headerHeight);
    painter.drawText(titleRect, Qt::AlignCenter, grid_.title);

    painter.setFont(style_.dayFont);
    painter.setPen(NamedColors::darkGrayColor());
    for (int column = 0; column < MonthGrid::kColumns; ++column) {
        const QRectF cell = cellFrame(0, column).translated(0, -style_.cellHeight);
        painter.drawText(cell, Qt::AlignCenter, grid_.weekdayNames[column]);
    }

    CalFieldCell cell;
    cell.setFont(style_.dayFont);
    for (int row = 0; row < MonthGrid::kRows; ++row) {
        for (int column = 0; column < MonthGrid::kColumns; ++column) {
            const MonthGridDay& day = grid_.at(row, column);
            if (day.day == 0) {
                continue;  // no month set yet
            }
            cell.setTitle(QString::number(day.day));
            cell.setBordered(day.isToday);
            cell.setEnabled(day.inMonth);
            cell.drawWithFrame(painter, cellFrame(row, column));
        }
    }
}

}  // namespace talvor
