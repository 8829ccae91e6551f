#include "URLTextField.h"

#include <QDesktopServices>
#include <QMouseEvent>

namespace talvor {

URLTextField::URLTextField(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setTextFormat(Qt::PlainText);
    setCursor(Qt::PointingHandCursor);
    awakeFromNib();
}

QUrl URLTextField::parsedURL(const QString& text) {
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    return url.isValid() && !url.scheme().isEmpty() ? url : QUrl();
}

void URLTextField::awakeFromNib() {
    if (const QUrl url = parsedURL(text()); url.isValid()) {
        setURL(url);
    }
}

void URLTextField::setURL(const QUrl& url) {
    url_ = url;
    QFont linkFont = font();
    linkFont.setUnderline(true);
    setFont(linkFont);
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, Qt::blue);
    setPalette(palette);
    setText(url.toString());
}

void URLTextField::performClick() {
    if (url_.isValid()) {
        QDesktopServices::openUrl(url_);
    }
    emit action();
}

void URLTextField::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        performClick();
    }
    QLabel::mouseReleaseEvent(event);
}

void TalvorURLClick::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        emit action();
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

}  // namespace talvor
