#include "ActionView.h"

#include <QMouseEvent>

namespace talvor {

void ActionView::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void ActionView::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() == Qt::LeftButton) {
        emit action();
    }
}

}  // namespace talvor
