#pragma once

#include <QUrl>
#include <QWidget>

class QMimeData;

namespace talvor {

class SoundFileWellDelegate {
  public:
    virtual ~SoundFileWellDelegate() = default;
    // A dropped sound was accepted: the well's url() is the file.
    virtual void imageDragDidEnd() = 0;
};

// A drop target for a sound file from the desktop. It keeps the first dropped file's URL,
// tells its delegate, frames itself in red while a drag is over it, and posts
// "SoundFileWellClicked" when clicked.
class SoundFileWell : public QWidget {
    Q_OBJECT
  public:
    explicit SoundFileWell(QWidget* parent = nullptr);

    const QUrl& url() const { return url_; }
    void setURL(const QUrl& url);
    bool isDragging() const { return dragging_; }

    SoundFileWellDelegate* delegate() const { return delegate_; }
    void setDelegate(SoundFileWellDelegate* delegate) { delegate_ = delegate; }

    // The end of a drop of `data`, as if the user had just dropped it on the well.
    void concludeDragOperation(const QMimeData& data);

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    QUrl url_;
    bool dragging_ = false;
    SoundFileWellDelegate* delegate_ = nullptr;
};

}  // namespace talvor
