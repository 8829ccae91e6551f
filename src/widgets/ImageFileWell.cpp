#include "ImageFileWell.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QImage>
#include <QPixmap>

namespace talvor {

ImageFileWell::ImageFileWell(QWidget* parent) : QLabel(parent) {
    setAcceptDrops(true);
    setAlignment(Qt::AlignCenter);
    setFrameShape(QFrame::StyledPanel);
}

void ImageFileWell::setURL(const QUrl& url) {
    if (url == url_) {
        return;
    }
    url_ = url;
    const QImage image(url.isLocalFile() ? url.toLocalFile() : QString());
    if (image.isNull()) {
        clear();
    } else {
        setPixmap(QPixmap::fromImage(image).scaled(contentsRect().size(), Qt::KeepAspectRatio,
                                                   Qt::SmoothTransformation));
    }
    emit urlChanged(url_);
}

void ImageFileWell::concludeDragOperation(const QMimeData& mime) {
    for (const QUrl& url : mime.urls()) {
        if (url.isLocalFile()) {
            setURL(QUrl::fromLocalFile(url.toLocalFile()));
            return;
        }
    }
}

void ImageFileWell::dropMimeData(const QMimeData& mime) {
    if (draggingEntered(mime) == Qt::CopyAction) {
        concludeDragOperation(mime);
    }
}

QVariantList ImageFileWell::encodeWithCoder() const {
    return {url_.toString()};
}

bool ImageFileWell::initWithCoder(const QVariantList& values) {
    if (values.size() != 1 || values[0].typeId() != QMetaType::QString) {
        return false;
    }
    setURL(QUrl(values[0].toString()));
    return true;
}

void ImageFileWell::dragEnterEvent(QDragEnterEvent* event) {
    event->setDropAction(draggingEntered(*event->mimeData()));
    event->accept();
}

void ImageFileWell::dragMoveEvent(QDragMoveEvent* event) {
    event->setDropAction(draggingUpdated(*event->mimeData()));
    event->accept();
}

void ImageFileWell::dropEvent(QDropEvent* event) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
    concludeDragOperation(*event->mimeData());
}

}  // namespace talvor
