#include "vltDragFileTextField.h"

#include "NamedColors.h"
#include "platform/Log.h"
#include "platform/PropertyList.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QUrl>

namespace talvor {

DropTargetTextField::DropTargetTextField(QWidget* parent) : QLineEdit(parent) {
    setAcceptDrops(true);
}

QStringList DropTargetTextField::fileNames(const QMimeData& data) {
    QStringList paths;
    for (const QUrl& url : data.urls()) {
        if (url.isLocalFile()) {
            paths.append(url.toLocalFile());
        }
    }
    return paths;
}

void DropTargetTextField::setDropLook(bool dragging) {
    QPalette palette = this->palette();
    palette.setColor(QPalette::Base, dragging ? NamedColors::lightGrayColor() : QColor(Qt::white));
    setPalette(palette);
    setReadOnly(dragging);
    update();
}

Qt::DropAction DropTargetTextField::draggingEntered(const QMimeData& mime, const QObject* source) {
    if (source == this || !accepts(mime)) {
        return Qt::IgnoreAction;
    }
    setDropLook(true);
    return Qt::CopyAction;
}

void DropTargetTextField::draggingExited() {
    setDropLook(false);
}

void DropTargetTextField::concludeDragOperation() {
    setDropLook(false);
}

bool DropTargetTextField::dropMimeData(const QMimeData& mime, const QObject* source) {
    if (draggingEntered(mime, source) != Qt::CopyAction) {
        return false;
    }
    const bool taken = prepareForDragOperation() && performDragOperation(mime);
    concludeDragOperation();
    return taken;
}

void DropTargetTextField::dragEnterEvent(QDragEnterEvent* event) {
    const Qt::DropAction action = draggingEntered(*event->mimeData(), event->source());
    if (action == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    event->setDropAction(action);
    event->accept();
}

void DropTargetTextField::dragMoveEvent(QDragMoveEvent* event) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void DropTargetTextField::dragLeaveEvent(QDragLeaveEvent* event) {
    draggingExited();
    event->accept();
}

void DropTargetTextField::dropEvent(QDropEvent* event) {
    const bool taken = prepareForDragOperation() && performDragOperation(*event->mimeData());
    concludeDragOperation();
    if (taken) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

vltDragFileTextField::vltDragFileTextField(QWidget* parent) : DropTargetTextField(parent) {
    awakeFromNib();
}

void vltDragFileTextField::awakeFromNib() {
    setAcceptDrops(true);
}

bool vltDragFileTextField::accepts(const QMimeData& mime) const {
    return mime.hasUrls() || mime.hasText();
}

QString vltDragFileTextField::textFromPasteboardText(const QString& text) {
    const std::optional<QVariant> parsed = platform::PropertyList::parse(text.toUtf8());
    if (parsed) {
        if (parsed->typeId() == QMetaType::QString) {
            return parsed->toString();
        }
        if (parsed->typeId() == QMetaType::QVariantList) {
            for (const QVariant& element : parsed->toList()) {
                if (element.typeId() == QMetaType::QString) {
                    return element.toString();
                }
            }
        }
    }
    return text;
}

QString vltDragFileTextField::droppedText(const QMimeData& data) {
    QString pasteboardText;
    if (const QStringList paths = fileNames(data); !paths.isEmpty()) {
        // The original system hands file names over as a property-list array of paths.
        pasteboardText = QString::fromUtf8(
            platform::PropertyList::serialize(QVariant(paths), platform::PropertyList::Format::Xml)
                .value_or(QByteArray()));
    } else if (data.hasUrls() && !data.urls().isEmpty()) {
        pasteboardText = data.urls().first().toString();
    } else {
        pasteboardText = data.text();
    }
    platform::log(QStringLiteral("performDragOperation 2 %1").arg(pasteboardText));
    return textFromPasteboardText(pasteboardText);
}

bool vltDragFileTextField::performDragOperation(const QMimeData& mime) {
    setText(droppedText(mime));
    if (SetURLPathValue) {
        SetURLPathValue(this);
    }
    return true;
}

MyTextField::MyTextField(QWidget* parent) : DropTargetTextField(parent) {}

bool MyTextField::accepts(const QMimeData& mime) const {
    return !fileNames(mime).isEmpty();
}

bool MyTextField::performDragOperation(const QMimeData& mime) {
    const QStringList paths = fileNames(mime);
    if (!paths.isEmpty()) {
        setText(paths.first());
    }
    return true;
}

}  // namespace talvor
