#pragma once

#include <QLabel>
#include <QMimeData>
#include <QUrl>
#include <QVariantList>

namespace talvor {

// An image well bound to a file: dropping files on it shows the first one's picture and
// remembers its URL.
class ImageFileWell : public QLabel {
    Q_OBJECT
  public:
    explicit ImageFileWell(QWidget* parent = nullptr);

    const QUrl& url() const { return url_; }
    // Shows the picture at the URL (nothing when it does not load); the same URL again is
    // ignored.
    void setURL(const QUrl& url);

    Qt::DropAction draggingEntered(const QMimeData&) const { return Qt::CopyAction; }
    Qt::DropAction draggingUpdated(const QMimeData&) const { return Qt::CopyAction; }
    // Takes the first dropped file, when there is one.
    void concludeDragOperation(const QMimeData& data);
    // As if the user dropped `data` on the well.
    void dropMimeData(const QMimeData& data);

    // The well's own value in coding order: the URL's text.
    QVariantList encodeWithCoder() const;
    bool initWithCoder(const QVariantList& values);

  signals:
    void urlChanged(const QUrl& url);

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    QUrl url_;
};

}  // namespace talvor
