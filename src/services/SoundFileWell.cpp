#include "SoundFileWell.h"

#include "SoundKeys.h"
#include "platform/NotificationCenter.h"

#include <QDragEnterEvent>
#include <QMimeData>
#include <QPainter>

namespace talvor {

SoundFileWell::SoundFileWell(QWidget* parent) : QWidget(parent) {
    setAcceptDrops(true);
}

void SoundFileWell::setURL(const QUrl& url) {
    if (url != url_) {
        url_ = url;
    }
}

void SoundFileWell::concludeDragOperation(const QMimeData& mime) {
    dragging_ = false;
    update();
    // Only file drops exist here: the music library's track lists have no counterpart.
    for (const QUrl& u : mime.urls()) {
        if (u.isLocalFile()) {
            setURL(QUrl::fromLocalFile(u.toLocalFile()));
            if (!url_.isEmpty() && delegate_ != nullptr) {
                delegate_->imageDragDidEnd();
            }
            return;
        }
    }
}

void SoundFileWell::dragEnterEvent(QDragEnterEvent* event) {
    dragging_ = true;
    update();
    event->acceptProposedAction();
}

void SoundFileWell::dragMoveEvent(QDragMoveEvent* event) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void SoundFileWell::dragLeaveEvent(QDragLeaveEvent* event) {
    dragging_ = false;
    update();
    event->accept();
}

void SoundFileWell::dropEvent(QDropEvent* event) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
    concludeDragOperation(*event->mimeData());
}

void SoundFileWell::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (dragging_) {
        QPainter p(this);
        p.setPen(QPen(Qt::red, 4));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(rect()).adjusted(2, 2, -2, -2));
    }
}

void SoundFileWell::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    platform::NotificationCenter::defaultCenter().post(SoundKeys::SoundFileWellClicked,
                                                       platform::senderObject(this));
}

}  // namespace talvor
