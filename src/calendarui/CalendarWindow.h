#pragma once

#include <QImage>
#include <QWidget>

#include <functional>

namespace talvor {

// The borderless window a calendar drops into: above other windows, no task-bar entry,
// closed with Escape. It paints a background picture when it has one.
namespace platform {
class Screens;
}

class CalendarWindow : public QWidget {
    Q_OBJECT
  public:
    explicit CalendarWindow(QWidget* parent = nullptr);

    // Escape calls this; without it Escape hides the window.
    void setCloseHandler(std::function<void()> handler) { closeHandler_ = std::move(handler); }
    // Called each time the window is about to show (to bring "today" up to date).
    void setShowHandler(std::function<void()> handler) { showHandler_ = std::move(handler); }

    // Moves the window under `anchor` (a frame on the screen; empty: the top-right corner)
    // on the screen that holds it (see CalendarPlacement::anchoredFrame).
    void hangBelow(const QRectF& anchor, const platform::Screens& screens);

    // A null picture paints the plain window background.
    const QImage& backgroundPicture() const { return background_; }
    void setBackgroundPicture(const QImage& picture);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    std::function<void()> closeHandler_;
    std::function<void()> showHandler_;
    QImage background_;
};

}  // namespace talvor

#include <QCoreApplication>

namespace talvor {

// The process-wide controller of a calendar window: made on first use and never destroyed,
// its window let go when the application quits (a window must not outlive the application
// object). A test puts its own controller in place. T has a default constructor and
// `releaseWindow()`.
template <class T>
class SharedController {
  public:
    static T& get() {
        if (replacement() != nullptr) {
            return *replacement();
        }
        static T* const made = make();
        return *made;
    }
    static void replace(T* controller) { replacement() = controller; }

  private:
    static T*& replacement() {
        static T* controller = nullptr;
        return controller;
    }
    static T* make() {
        auto* controller = new T();
        if (QCoreApplication::instance() != nullptr) {
            QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit,
                             controller, [controller] { controller->releaseWindow(); });
        }
        return controller;
    }
};

}  // namespace talvor
