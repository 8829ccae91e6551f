#include "OffscreenStatusBar.h"

#include "Menu.h"
#include "MenuMirror.h"

#include <QMenu>
#include <QPainter>

#include <cmath>

namespace talvor::platform {

OffscreenStatusBar::OffscreenStatusBar(StatusBar& bar, QSize screenSize)
    : bar_(bar), screen_(screenSize), style_(defaultStatusBarStyle()) {
    for (const auto& item : bar_.statusItems()) {
        watch(item.get());
    }
    connect(&bar_, &StatusBar::itemAdded, this, [this](StatusItem* item) {
        watch(item);
        relayout();
    });
    connect(&bar_, &StatusBar::itemRemoved, this, [this](StatusItem* item) {
        disconnect(item, nullptr, this, nullptr);
        if (openItem_ == item) {
            closeMenu();
        }
        relayout();
    });
    relayout();
}

OffscreenStatusBar::~OffscreenStatusBar() {
    for (const auto& item : bar_.statusItems()) {
        item->setWindowFrame(QRectF());
    }
}

void OffscreenStatusBar::watch(StatusItem* item) {
    connect(item, &StatusItem::changed, this, [this] { relayout(); });
    connect(item, &StatusItem::popUpMenuRequested, this,
            [this, item](const std::shared_ptr<Menu>& menu) { open(*item, menu); });
}

void OffscreenStatusBar::relayout() {
    placed_ = layoutStatusBar(bar_, QRectF(0, 0, screen_.width(), bar_.thickness()), style_);
    for (const auto& item : bar_.statusItems()) {
        QRectF frame;
        for (const PlacedStatusItem& p : placed_) {
            if (p.item == item.get()) {
                frame = p.rect;
            }
        }
        item->setWindowFrame(frame);
    }
}

QRectF OffscreenStatusBar::itemRect(const StatusItem* item) const {
    for (const PlacedStatusItem& p : placed_) {
        if (p.item == item) {
            return p.rect;
        }
    }
    return {};
}

QImage OffscreenStatusBar::render(double width, double devicePixelRatio) const {
    if (width <= 0) {
        width = screen_.width();
    }
    const QRectF bar(0, 0, width, bar_.thickness());
    QImage image((bar.size() * devicePixelRatio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    QPainter p(&image);
    paintStatusBarBackground(p, bar, style_);
    for (const PlacedStatusItem& placed : layoutStatusBar(bar_, bar, style_)) {
        paintStatusItem(p, *placed.item, placed.rect, style_);
    }
    return image;
}

QImage OffscreenStatusBar::renderNatural(double devicePixelRatio) const {
    return render(std::ceil(naturalStatusBarWidth(bar_, style_)), devicePixelRatio);
}

QImage OffscreenStatusBar::renderMenu(const std::shared_ptr<Menu>& menu) {
    MenuMirror mirror(menu);
    QMenu* qmenu = mirror.menu();
    qmenu->ensurePolished();
    qmenu->adjustSize();
    return qmenu->grab().toImage();
}

QImage OffscreenStatusBar::renderScreen(double devicePixelRatio) const {
    QImage menuImage;
    QPointF menuAt;
    if (openMenu_ && openItem_) {
        menuImage = renderMenu(openMenu_);
        menuAt = itemRect(openItem_).bottomLeft();
        // Kept on the screen, as a popup is.
        menuAt.setX(
            std::min(menuAt.x(), screen_.width() - menuImage.deviceIndependentSize().width()));
    }
    const double height = std::min<double>(
        screen_.height(), bar_.thickness() + menuImage.deviceIndependentSize().height() + 24);
    QImage image((QSizeF(screen_.width(), height) * devicePixelRatio).toSize(),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(QColor(74, 98, 128));
    QPainter p(&image);
    p.drawImage(QPointF(0, 0), render(0, devicePixelRatio));
    if (!menuImage.isNull()) {
        p.drawImage(menuAt, menuImage);
    }
    return image;
}

StatusItemMouseEvent OffscreenStatusBar::makeEvent(StatusItem& item, Qt::MouseButton button,
                                                   ModifierFlags modifiers,
                                                   double timestamp) const {
    StatusItemMouseEvent ev;
    ev.position = QPointF(itemRect(&item).width() / 2, bar_.thickness() / 2);
    ev.button = button;
    ev.modifiers = modifiers;
    ev.timestamp = timestamp;
    return ev;
}

void OffscreenStatusBar::mouseDown(StatusItem& item, Qt::MouseButton button,
                                   ModifierFlags modifiers, double timestamp) {
    if (openMenu_) {
        // As on the panel: a press while a menu is open only closes it.
        closeMenu();
        return;
    }
    pressed_ = &item;
    pressKind_ = pressStatusItem(item, makeEvent(item, button, modifiers, timestamp));
    if (pressKind_ == StatusItemPress::OpenMenu) {
        open(item, item.menu());
        pressed_ = nullptr;
    }
}

void OffscreenStatusBar::mouseUp(StatusItem& item, Qt::MouseButton button, ModifierFlags modifiers,
                                 double timestamp, bool inside) {
    if (pressed_ != &item) {
        return;
    }
    pressed_ = nullptr;
    releaseStatusItem(item, pressKind_, makeEvent(item, button, modifiers, timestamp), inside);
}

void OffscreenStatusBar::click(StatusItem& item, Qt::MouseButton button, ModifierFlags modifiers) {
    mouseDown(item, button, modifiers);
    mouseUp(item, button, modifiers);
}

void OffscreenStatusBar::open(StatusItem& item, const std::shared_ptr<Menu>& menu) {
    if (!menu || openMenu_) {
        return;
    }
    openMenu_ = menu;
    openItem_ = &item;
    item.setHighlighted(true);
    menu->notifyWillOpen();
}

void OffscreenStatusBar::closeMenu() {
    const std::shared_ptr<Menu> menu = std::exchange(openMenu_, nullptr);
    if (!menu) {
        return;
    }
    if (openItem_) {
        openItem_->setHighlighted(false);
    }
    openItem_ = nullptr;
    menu->notifyDidClose();
}

bool OffscreenStatusBar::chooseMenuItem(int index, ModifierFlags modifiers) {
    const std::shared_ptr<Menu> menu = openMenu_;
    if (!menu) {
        return false;
    }
    const MenuItem* raw = menu->itemAtIndex(index);
    if (raw == nullptr || !menu->isItemShownEnabled(*raw)) {
        return false;
    }
    const std::shared_ptr<MenuItem> item = menu->itemArray()[static_cast<std::size_t>(index)];
    closeMenu();
    // Closing may have rebuilt the menu; the chosen item's action still runs.
    const int now = menu->indexOfItem(item.get());
    if (now >= 0) {
        return menu->performActionForItemAtIndex(now, modifiers);
    }
    if (!item->hasAction()) {
        return false;
    }
    const MenuAction action = item->action();
    ScopedEventModifiers scope(modifiers);
    action(*item);
    return true;
}

}  // namespace talvor::platform
