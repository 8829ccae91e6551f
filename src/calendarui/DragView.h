#pragma once

#include <QImage>
#include <QWidget>

#include <functional>
#include <optional>

class QMimeData;

namespace talvor {

// A drop target for a new calendar picture: laid transparent over the calendar window, or
// shown as a picture well (`setImage`). While a usable picture hovers it is highlighted; a
// dropped picture goes to the delegate (`calBGImage:`), and the window shows its own picture
// from then on ("ShowDefaultCalBGImg"). A picture dragged out of this same view changes nothing.
class DragView : public QWidget {
    Q_OBJECT
  public:
    explicit DragView(QWidget* parent = nullptr);

    // The drag type of pictures dragged out of a calendar picture well.
    static QString dragType() { return QStringLiteral("com.larkspindle.dragview"); }

    using Delegate = std::function<void(const QImage&)>;
    void setDelegate(Delegate delegate) { delegate_ = std::move(delegate); }

    bool isHighlighted() const { return highlighted_; }
    void setHighlighted(bool on);

    // The picture shown as a well; none for the transparent overlay.
    void setImage(const QImage& image);
    const QImage& image() const { return image_; }
    // How the well fits its picture: keeping its proportions, at its own size, or stretched.
    enum class Scaling { Proportional, None, IndependentAxes };
    void setScaling(Scaling scaling);
    Scaling scaling() const { return scaling_; }
    // Where the picture is drawn in the well.
    QRect pictureRect() const;
    // Where a picture of `picture` size is drawn in an `area` by `scaling`, centred.
    static QRect fitted(const QSize& picture, const QSize& area, Scaling scaling);

    // The file the well's picture came from, when it came from one.
    const QString& imageFile() const { return imageFile_; }
    void setImageFile(const QString& path);

    // The picture a drag carries: image data, PNG bytes, or a local picture file.
    static std::optional<QImage> pictureFrom(const QMimeData& mime);

    // What a drop does; `source` is the widget the drag came from (null from another program).
    // Always true: a refused picture is not an error of the drop.
    bool performDragOperation(const QMimeData& mime, const QObject* source);
    // Entering: whether a picture can be made (and the highlight).
    bool draggingEntered(const QMimeData& mime);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    Delegate delegate_;
    QImage image_;
    QString imageFile_;
    bool highlighted_ = false;
    Scaling scaling_ = Scaling::Proportional;
    QPoint pressedAt_;
};

// The picture well of the calendar window is the same view.
using ImageDragView = DragView;

}  // namespace talvor
