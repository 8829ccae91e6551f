#include "DeletableTableView.h"

#include "NamedColors.h"
#include "platform/Log.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>

#include <cmath>

namespace talvor {

DeletableTableView::DeletableTableView(QWidget* parent) : TypeaheadTableView(parent) {
    setShowGrid(false);
    setAlternatingRowColors(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
}

QColor DeletableTableView::stripeColor() {
    return QColor::fromRgbF(0.929f, 0.953f, 0.996f, 1.0f);
}

QColor DeletableTableView::gridColor() {
    return NamedColors::lightGrayColor();
}

int DeletableTableView::selectedRow() const {
    if (selectionModel() == nullptr) {
        return -1;
    }
    const QModelIndex current = currentIndex();
    if (current.isValid() && selectionModel()->isRowSelected(current.row(), current.parent())) {
        return current.row();
    }
    int last = -1;
    for (const QModelIndex& index : selectionModel()->selectedIndexes()) {
        last = std::max(last, index.row());
    }
    return last;
}

void DeletableTableView::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Delete:
        case Qt::Key_Backspace:
            if (selectedRow() >= 0 && deleteSelectedRowsInTableView) {
                deleteSelectedRowsInTableView(this);
            }
            event->accept();
            return;
        case Qt::Key_Up:
        case Qt::Key_Down: {
            const int row = selectedRow();
            if (row >= 0 && model() != nullptr) {
                const int target = event->key() == Qt::Key_Up ? row - 1 : row + 1;
                if (target >= 0 && target < model()->rowCount(rootIndex())) {
                    const QModelIndex index = model()->index(target, 0, rootIndex());
                    selectionModel()->setCurrentIndex(
                        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                    scrollTo(index);
                } else {
                    platform::beep();
                }
            }
            event->accept();
            return;
        }
        default:
            TypeaheadTableView::keyPressEvent(event);
    }
}

void DeletableTableView::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(viewport());
        highlightSelectionInClipRect(painter, event->rect());
    }
    TypeaheadTableView::paintEvent(event);
    QPainter painter(viewport());
    drawGridInClipRect(painter, event->rect());
}

void DeletableTableView::highlightSelectionInClipRect(QPainter& painter, const QRect& clip) {
    const float spacing = 0;  // Qt's rows have no intercell spacing
    const float h = static_cast<float>(verticalHeader()->defaultSectionSize()) + spacing;
    if (h <= 0) {
        return;
    }
    // Stripes belong to the content: shift by the scroll offset.
    const double offset = verticalOffset();
    const double clipY = clip.y() + offset;
    const QRectF visible(0, offset, viewport()->width(), viewport()->height());
    // Counted in rows, so that no rounding error adds up over a long view.
    for (auto row = static_cast<long long>(std::floor(clipY / h));
         static_cast<double>(row) * h < clipY + clip.height(); ++row) {
        const double y = static_cast<double>(row) * h;
        const QRectF stripe = QRectF(visible.x(), y, visible.width(), h - spacing)
                                  .intersected(clip.translated(0, offset));
        const bool even = static_cast<long long>(std::floor((y + h / 2) / h)) % 2 == 0;
        painter.fillRect(stripe.translated(0, -offset), even ? stripeColor() : QColor(Qt::white));
    }
}

void DeletableTableView::drawGridInClipRect(QPainter& painter, const QRect& clip) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(gridColor(), 1.0));
    const QHeaderView* header = horizontalHeader();
    for (int logical = 0; logical < header->count(); ++logical) {
        if (header->isSectionHidden(logical)) {
            continue;
        }
        const int left = columnViewportPosition(logical);
        const int right = left + columnWidth(logical);
        if (right < clip.left() || left > clip.right() + 1) {
            continue;
        }
        const double x = std::trunc(static_cast<double>(right)) - 0.5;
        painter.drawLine(QPointF(x, clip.top() - 0.5), QPointF(x, clip.bottom() + 1 - 0.5));
    }
}

}  // namespace talvor
