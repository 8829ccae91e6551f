#include "DragView.h"

#include "platform/UserDefaults.h"

#include <QApplication>
#include <QBuffer>
#include <QDrag>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>

namespace talvor {

DragView::DragView(QWidget* parent) : QWidget(parent) {
    setAcceptDrops(true);
    setAttribute(Qt::WA_TranslucentBackground);
}

void DragView::setHighlighted(bool on) {
    highlighted_ = on;
    update();
}

void DragView::setImage(const QImage& image) {
    image_ = image;
    update();
}

void DragView::setImageFile(const QString& path) {
    imageFile_ = path;
    QImageReader reader(path);
    reader.setAutoTransform(true);
    setImage(path.isEmpty() ? QImage() : reader.read());
}

std::optional<QImage> DragView::pictureFrom(const QMimeData& mime) {
    if (mime.hasImage()) {
        const QImage image = qvariant_cast<QImage>(mime.imageData());
        if (!image.isNull()) {
            return image;
        }
    }
    for (const QString& format : {QStringLiteral("image/png"), dragType()}) {
        if (mime.hasFormat(format)) {
            const QImage image = QImage::fromData(mime.data(format));
            if (!image.isNull()) {
                return image;
            }
        }
    }
    for (const QUrl& url : mime.urls()) {
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile()) {
            QImageReader reader(url.toLocalFile());
            reader.setAutoTransform(true);
            const QImage image = reader.read();
            if (!image.isNull()) {
                return image;
            }
        }
    }
    return std::nullopt;
}

bool DragView::draggingEntered(const QMimeData& mime) {
    const bool usable = pictureFrom(mime).has_value();
    if (usable) {
        setHighlighted(true);
    }
    return usable;
}

bool DragView::performDragOperation(const QMimeData& mime, const QObject* source) {
    setHighlighted(false);
    if (source == this) {
        return true;
    }
    if (const std::optional<QImage> picture = pictureFrom(mime)) {
        imageFile_.clear();
        for (const QUrl& url : mime.urls()) {
            if (url.isLocalFile()) {
                imageFile_ = url.toLocalFile();
                break;
            }
        }
        if (delegate_) {
            delegate_(*picture);
        }
        platform::UserDefaults& defaults = platform::UserDefaults::standard();
        defaults.setBool(true, QStringLiteral("ShowDefaultCalBGImg"));
        defaults.synchronize();
    }
    return true;
}

void DragView::setScaling(Scaling scaling) {
    scaling_ = scaling;
    update();
}

QRect DragView::pictureRect() const {
    return image_.isNull() ? QRect() : fitted(image_.size(), size(), scaling_);
}

QRect DragView::fitted(const QSize& picture, const QSize& area, Scaling scaling) {
    QSize drawn = picture;
    if (scaling == Scaling::Proportional) {
        drawn = picture.scaled(area, Qt::KeepAspectRatio);
    } else if (scaling == Scaling::IndependentAxes) {
        drawn = area;
    }
    return {QPoint((area.width() - drawn.width()) / 2, (area.height() - drawn.height()) / 2),
            drawn};
}

void DragView::mousePressEvent(QMouseEvent* event) {
    pressedAt_ = event->position().toPoint();
    QWidget::mousePressEvent(event);
}

void DragView::mouseMoveEvent(QMouseEvent* event) {
    // The well's picture can be dragged out, to other programs or back onto itself.
    if (!image_.isNull() && (event->buttons() & Qt::LeftButton) &&
        (event->position().toPoint() - pressedAt_).manhattanLength() >=
            QApplication::startDragDistance()) {
        auto* mime = new QMimeData;
        mime->setImageData(image_);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image_.save(&buffer, "PNG");
        mime->setData(dragType(), png);
        auto* drag = new QDrag(this);
        drag->setMimeData(mime);
        drag->setPixmap(QPixmap::fromImage(image_.scaled(64, 64, Qt::KeepAspectRatio)));
        drag->exec(Qt::CopyAction);
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void DragView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!image_.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(pictureRect(), image_);
    }
    if (highlighted_) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 3));
        painter.drawRect(rect().adjusted(1, 1, -2, -2));
    }
}

void DragView::dragEnterEvent(QDragEnterEvent* event) {
    if (draggingEntered(*event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void DragView::dragLeaveEvent(QDragLeaveEvent* event) {
    setHighlighted(false);
    QWidget::dragLeaveEvent(event);
}

void DragView::dropEvent(QDropEvent* event) {
    if (!pictureFrom(*event->mimeData())) {
        setHighlighted(false);
        event->ignore();
        return;
    }
    performDragOperation(*event->mimeData(), event->source());
    event->acceptProposedAction();
}

}  // namespace talvor
