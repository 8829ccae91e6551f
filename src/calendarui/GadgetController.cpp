#include "GadgetController.h"

#include <QDesktopServices>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

namespace talvor {

GadgetController::GadgetController() {
    window_ = std::make_unique<QWidget>(nullptr, Qt::Tool | Qt::FramelessWindowHint);
    window_->setObjectName(QStringLiteral("Gadget"));
    title_ = new QLabel(window_.get());
    title_->setObjectName(QStringLiteral("titleField"));
    page_ = new QTextBrowser(window_.get());
    page_->setObjectName(QStringLiteral("webView"));
    page_->setOpenLinks(false);
    connect(page_, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
        close();
        QDesktopServices::openUrl(url);
    });
    auto* layout = new QVBoxLayout(window_.get());
    layout->setContentsMargins(6, 4, 6, 6);
    layout->addWidget(title_);
    layout->addWidget(page_, 1);
    window_->resize(270, 190);
    window_->installEventFilter(this);
}

bool GadgetController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_.get()) {
        if (event->type() == QEvent::MouseButtonPress) {
            grab_ = static_cast<QMouseEvent*>(event)->globalPosition() - QPointF(window_->pos());
        } else if (event->type() == QEvent::MouseMove) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->buttons() & Qt::LeftButton) {
                detach();  // dragged away: it stays where the user puts it
                window_->move((mouse->globalPosition() - grab_).toPoint());
                return true;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

GadgetController::~GadgetController() = default;

GadgetController& GadgetController::controller() {
    static GadgetController* const shared = new GadgetController();
    return *shared;
}

QString GadgetController::messagePage(const QString& message) {
    return QStringLiteral(
               "<html><body><table width='100%' height='100%'><tr><td width='25%' /><td "
               "align='center'><font size='-1'><i>%1</i></font></td><td width='25%' "
               "/></tr></table></body></html>")
        .arg(message.toHtmlEscaped());
}

QSizeF GadgetController::windowSizeFor(const QSizeF& window, const QSizeF& page,
                                       const QSizeF& gadget) {
    return {window.width() - page.width() + gadget.width(),
            window.height() - page.height() + gadget.height()};
}

bool GadgetController::didViewGadget(const std::optional<Gadget>& gadget) const {
    return gadget && !initialURL_.isEmpty() && !gadget->urlString.isEmpty() &&
           QUrl(gadget->urlString).toString() == initialURL_.toString();
}

void GadgetController::showGadget(const Gadget& gadget, const QString& title, QWidget* near) {
    page_->setHtml(messagePage(tr("Loading...")));
    QTimer::singleShot(10, this,
                       [this, gadget, title, near] { delayedShowGadget(gadget, title, near); });
}

void GadgetController::delayedShowGadget(const Gadget& gadget, const QString& title,
                                         QWidget* near) {
    title_->clear();
    initialURL_ = QUrl(gadget.urlString);
    // No page engine here: the page is one click away, in the browser.
    page_->setHtml(messagePage(QStringLiteral("<a href=\"%1\">%2</a>")
                                   .arg(initialURL_.toString(QUrl::FullyEncoded).toHtmlEscaped(),
                                        initialURL_.toDisplayString().toHtmlEscaped())));
    reattachTo(near);
    const QSizeF size =
        windowSizeFor(window_->size(), page_->size(), QSizeF(gadget.width, gadget.height));
    window_->resize(size.toSize());
    window_->show();
    window_->raise();
    attached_ = true;
    title_->setText(title);
}

void GadgetController::reattachTo(QWidget* view) {
    if (view == nullptr) {
        return;
    }
    const QWidget* anchor = view->window();
    const QPoint below = view->mapToGlobal(QPoint(0, view->height()));
    window_->move(anchor->geometry().left(), below.y());
}

void GadgetController::detach() {
    attached_ = false;
}

void GadgetController::close() {
    detach();
    window_->hide();
    page_->clear();
}

void GadgetController::closeIfAttached() {
    if (attached_) {
        close();
    }
}

}  // namespace talvor
