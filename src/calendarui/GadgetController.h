#pragma once

#include "calendar/Gadget.h"

#include <QObject>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

class QLabel;
class QTextBrowser;
class QWidget;

namespace talvor {

// Shows an event's web gadget in a small window beside the day view's row. Pages open in the
// desktop's browser (no web engine here): the window shows the gadget's title, a message
// line and the page's link at the gadget's size. Dragging the window tears it off its anchor.
class GadgetController : public QObject {
    Q_OBJECT
  public:
    GadgetController();
    ~GadgetController() override;
    static GadgetController& controller();

    QWidget* window() const { return window_.get(); }

    // Shows the loading message, then the gadget next to `near` a moment later.
    void showGadget(const Gadget& gadget, const QString& title, QWidget* near);
    void delayedShowGadget(const Gadget& gadget, const QString& title, QWidget* near);
    // Hangs the window below `view`'s place, across its window's width.
    void reattachTo(QWidget* view);
    void detach();
    void close();
    void closeIfAttached();
    bool isAttached() const { return attached_; }
    const QUrl& initialURL() const { return initialURL_; }
    // Whether that gadget's page is the one shown now.
    bool didViewGadget(const std::optional<Gadget>& gadget) const;

    // A line of small italic text centred in the page.
    static QString messagePage(const QString& message);
    // The window size that gives the page area exactly the gadget's size.
    static QSizeF windowSizeFor(const QSizeF& window, const QSizeF& page, const QSizeF& gadget);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::unique_ptr<QWidget> window_;
    QPointF grab_;
    QLabel* title_ = nullptr;
    QTextBrowser* page_ = nullptr;
    QUrl initialURL_;
    bool attached_ = false;
};

}  // namespace talvor
