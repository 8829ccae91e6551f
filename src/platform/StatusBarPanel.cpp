#include "StatusBarPanel.h"

#include "Log.h"
#include "Menu.h"
#include "MenuMirror.h"
#include "Preferences.h"
#include "Screens.h"
#include "WindowManagerHints.h"

#include <QGuiApplication>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QToolTip>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <utility>

namespace talvor::platform {

const QString StatusBarPanel::PositionKey = QStringLiteral("StatusBarPanelPosition");

namespace {

StatusBarPanel::Mode resolveMode(StatusBarPanel::Mode wanted) {
    const bool dockable = WindowManagerHints::shared().isAvailable();
    if (wanted == StatusBarPanel::Mode::Floating || dockable) {
        return wanted == StatusBarPanel::Mode::Floating ? wanted : StatusBarPanel::Mode::Dock;
    }
    log(QStringLiteral("Status bar: docking needs X11 (platform \"%1\"); the panel floats")
            .arg(QGuiApplication::platformName()));
    return StatusBarPanel::Mode::Floating;
}

bool samePlaces(const std::vector<PlacedStatusItem>& a, const std::vector<PlacedStatusItem>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const PlacedStatusItem& x, const PlacedStatusItem& y) {
                          return x.item == y.item && x.rect == y.rect;
                      });
}

// The pixels `r` covers whole.
QRect wholePixelsOf(const QRectF& r) {
    const int left = static_cast<int>(std::ceil(r.left()));
    const int top = static_cast<int>(std::ceil(r.top()));
    const int right = static_cast<int>(std::floor(r.right()));
    const int bottom = static_cast<int>(std::floor(r.bottom()));
    return right > left && bottom > top ? QRect(left, top, right - left, bottom - top) : QRect();
}

}  // namespace

StatusBarPanel::StatusBarPanel(StatusBar& bar) : StatusBarPanel(bar, Options{}) {}

StatusBarPanel::StatusBarPanel(StatusBar& bar, Options options)
    : QWidget(nullptr),
      bar_(bar),
      store_(options.store != nullptr ? *options.store
                                      : Preferences::domain(kMainBundleIdentifier)),
      mode_(resolveMode(options.mode)),
      style_(defaultStatusBarStyle()) {
    setWindowTitle(QStringLiteral("Talvor menu bar"));
    // Floating, a tool window keeps out of the task bar; docked, the dock type does.
    setWindowFlags((mode_ == Mode::Floating ? Qt::Tool : Qt::Window) | Qt::FramelessWindowHint |
                   Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The strip never takes the focus, so it is never the active window, and Qt gives tool
    // tips to active windows only unless told otherwise.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setMouseTracking(false);

    for (const auto& item : bar_.statusItems()) {
        watch(item.get());
    }
    connect(&bar_, &StatusBar::itemAdded, this, [this](StatusItem* item) {
        watch(item);
        place();
    });
    connect(&bar_, &StatusBar::itemRemoved, this, [this](StatusItem* item) {
        disconnect(item, nullptr, this, nullptr);
        if (openItem_ == item && openMirror_ && openMirror_->menu()) {
            openMirror_->menu()->hide();
        }
        if (pressed_ == item) {
            pressed_ = nullptr;
        }
        pruneMirrors();
        place();
    });
    connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, [this] { place(); });
    connect(qGuiApp, &QGuiApplication::screenAdded, this, [this] { place(); });
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, [this](QScreen* gone) {
        if (gone == watchedScreen_) {
            watchedScreen_ = nullptr;
        }
        place();
    });
    place();
}

StatusBarPanel::~StatusBarPanel() {
    Screens::reserve(this, QRectF());
    // An open menu closes while what its closing reports to still exists, and the mirrors go
    // before the members they reach: as children they would go after them.
    if (MenuMirror* open = openMenuMirror()) {
        open->menu()->hide();
    }
    for (const auto& entry : mirrors_) {
        delete entry.second;
    }
    mirrors_.clear();
    for (const auto& item : bar_.statusItems()) {
        item->setWindowFrame(QRectF());
    }
}

void StatusBarPanel::watch(StatusItem* item) {
    connect(item, &StatusItem::changed, this, [this, item] { place(item); });
    connect(item, &StatusItem::menuChanged, this, [this] { pruneMirrors(); });
    connect(item, &StatusItem::popUpMenuRequested, this,
            [this, item](const std::shared_ptr<Menu>& menu) { popUpMenu(*item, menu); });
}

QScreen* StatusBarPanel::chosenScreen() const {
    const QString name =
        store_.value(PositionKey).toMap().value(QStringLiteral("Screen")).toString();
    for (QScreen* s : QGuiApplication::screens()) {
        if (!name.isEmpty() && s->name() == name) {
            return s;
        }
    }
    return QGuiApplication::primaryScreen();
}

void StatusBarPanel::place(const StatusItem* changed) {
    if (placing_) {
        return;
    }
    placing_ = true;
    QScreen* screen = chosenScreen();
    if (screen != watchedScreen_) {
        disconnect(screenWatch_);
        watchedScreen_ = screen;
        if (screen != nullptr) {
            screenWatch_ = connect(screen, &QScreen::geometryChanged, this, [this] { place(); });
        }
    }
    const int thickness = static_cast<int>(std::ceil(bar_.thickness()));
    if (screen != nullptr) {
        QRect target;
        if (mode_ == Mode::Dock) {
            const QRect g = screen->geometry();
            target = QRect(g.left(), g.top(), g.width(), thickness);
        } else {
            const int width = static_cast<int>(std::ceil(naturalStatusBarWidth(bar_, style_)));
            const QVariantMap saved = store_.value(PositionKey).toMap();
            const QRect avail = screen->availableGeometry();
            int right = avail.right();
            int top = avail.top();
            if (saved.contains(QStringLiteral("Right")) && saved.contains(QStringLiteral("Top"))) {
                right = saved.value(QStringLiteral("Right")).toInt();
                top = saved.value(QStringLiteral("Top")).toInt();
            }
            // Keep the right edge where it was as the items change width, like a menu bar.
            target = QRect(right - width + 1, top, width, thickness);
            if (!screen->virtualGeometry().intersects(target)) {
                target.moveTopRight(avail.topRight());
            }
            // A fixed size: tiling compositors (sway) float such a window at that size
            // instead of stretching the strip over a whole tile.
            setFixedSize(target.size());
        }
        if (geometry() != target) {
            setGeometry(target);
            if (mode_ == Mode::Dock && isVisible()) {
                applyDock();
            }
        }
    }
    placing_ = false;
    relayout(changed);
}

void StatusBarPanel::applyDock() {
    const qreal dpr = devicePixelRatioF();
    const QRect g = geometry();
    const QRect native(QPoint(qRound(g.x() * dpr), qRound(g.y() * dpr)),
                       QSize(qRound(g.width() * dpr), qRound(g.height() * dpr)));
    WindowManagerHints::shared().setTopDock(winId(), native);
}

void StatusBarPanel::setVisible(bool visible) {
    if (visible && mode_ == Mode::Dock) {
        // The window type must be on the window before it is mapped.
        winId();
        applyDock();
    }
    QWidget::setVisible(visible);
    if (visible) {
        remember();
        relayout();
    }
    reserveBand();
}

void StatusBarPanel::reserveBand() {
    // Our windows open below the strip, also where no window manager reads its strut.
    Screens::reserve(this, isVisible() ? QRectF(frameGeometry()) : QRectF());
}

void StatusBarPanel::relayout(const StatusItem* changed) {
    std::vector<PlacedStatusItem> placed = layoutStatusBar(bar_, QRectF(rect()), style_);
    const bool moved = !samePlaces(placed, placed_);
    placed_ = std::move(placed);
    for (const auto& item : bar_.statusItems()) {
        QRectF frame;
        for (const PlacedStatusItem& p : placed_) {
            if (p.item == item.get() && isVisible()) {
                frame = QRectF(QPointF(mapToGlobal(p.rect.topLeft().toPoint())), p.rect.size());
            }
        }
        item->setWindowFrame(frame);
    }
    // A new text of the same width repaints its item alone: the rest of the strip would be
    // drawn and sent to the display again unchanged, every second. Only the pixels wholly
    // inside the item: the columns it shares with a neighbour hold their padding, and taking
    // them would draw the neighbour too.
    std::vector<const StatusItem*> highlighted;
    for (const PlacedStatusItem& p : placed_) {
        if (p.item->highlightMode() && p.item->isHighlighted()) {
            highlighted.push_back(p.item);
        }
    }
    const bool highlightChanged = highlighted != highlighted_;
    highlighted_ = std::move(highlighted);
    const QRectF changedRect =
        changed != nullptr && !moved && !highlightChanged ? itemRect(changed) : QRectF();
    const QRect inside = wholePixelsOf(changedRect);
    if (inside.isEmpty()) {
        update();
    } else {
        update(inside);
    }
}

void StatusBarPanel::remember() {
    QVariantMap saved;
    if (QScreen* s = screen()) {
        saved.insert(QStringLiteral("Screen"), s->name());
    }
    if (mode_ == Mode::Floating) {
        saved.insert(QStringLiteral("Right"), geometry().right());
        saved.insert(QStringLiteral("Top"), geometry().top());
    }
    if (store_.value(PositionKey) != QVariant(saved)) {
        store_.setValue(PositionKey, saved);
    }
}

QRectF StatusBarPanel::itemRect(const StatusItem* item) const {
    for (const PlacedStatusItem& p : placed_) {
        if (p.item == item) {
            return p.rect;
        }
    }
    return {};
}

StatusItem* StatusBarPanel::itemAt(const QPointF& pos) const {
    for (const PlacedStatusItem& p : placed_) {
        if (p.rect.contains(pos)) {
            return p.item;
        }
    }
    return nullptr;
}

MenuMirror* StatusBarPanel::openMenuMirror() const {
    return openMirror_ && openMirror_->menu() && openMirror_->menu()->isVisible()
               ? openMirror_.data()
               : nullptr;
}

MenuMirror* StatusBarPanel::mirrorFor(const std::shared_ptr<Menu>& menu) {
    auto it = mirrors_.find(menu.get());
    if (it != mirrors_.end()) {
        return it->second;
    }
    auto* mirror = new MenuMirror(menu, this);
    mirrors_.emplace(menu.get(), mirror);
    return mirror;
}

void StatusBarPanel::pruneMirrors() {
    for (auto it = mirrors_.begin(); it != mirrors_.end();) {
        bool used = it->second == openMirror_.data() && openMenuMirror() != nullptr;
        for (const auto& item : bar_.statusItems()) {
            used = used || item->menu().get() == it->first;
        }
        if (used) {
            ++it;
        } else {
            it->second->deleteLater();
            it = mirrors_.erase(it);
        }
    }
}

void StatusBarPanel::popUpMenu(StatusItem& item, const std::shared_ptr<Menu>& menu) {
    if (!menu || openMenuMirror() != nullptr) {
        return;
    }
    MenuMirror* mirror = mirrorFor(menu);
    QMenu* qmenu = mirror->menu();
    openMirror_ = mirror;
    openItem_ = &item;
    item.setHighlighted(true);
    connect(
        qmenu, &QMenu::aboutToHide, this,
        [this] {
            if (openItem_) {
                openItem_->setHighlighted(false);
            }
            openItem_ = nullptr;
            // The mirror of a menu no item holds any more goes once it has closed.
            QMetaObject::invokeMethod(
                this, [this] { pruneMirrors(); }, Qt::QueuedConnection);
        },
        Qt::SingleShotConnection);
    const QRectF r = itemRect(&item);
    const QPoint at = r.isEmpty() ? QCursor::pos() : mapToGlobal(r.bottomLeft().toPoint());
    qmenu->popup(at);
}

StatusItemMouseEvent StatusBarPanel::mouseEvent(const QMouseEvent& e,
                                                const StatusItem& item) const {
    StatusItemMouseEvent ev;
    ev.position = e.position() - itemRect(&item).topLeft();
    ev.button = e.button();
    ev.modifiers = modifierFlagsFromQt(e.modifiers());
    ev.timestamp = static_cast<double>(e.timestamp()) / 1000.0;
    return ev;
}

void StatusBarPanel::mousePressEvent(QMouseEvent* e) {
    StatusItem* item = itemAt(e->position());
    if (item == nullptr) {
        if (mode_ == Mode::Floating && e->button() == Qt::LeftButton) {
            const bool system = windowHandle() != nullptr && windowHandle()->startSystemMove();
            dragging_ = !system;
            dragOffset_ = e->globalPosition().toPoint() - frameGeometry().topLeft();
        }
        return;
    }
    pressed_ = item;
    pressKind_ = pressStatusItem(*item, mouseEvent(*e, *item));
    if (pressKind_ == StatusItemPress::OpenMenu && pressed_) {
        popUpMenu(*pressed_, pressed_->menu());
        pressed_ = nullptr;
    }
}

void StatusBarPanel::mouseMoveEvent(QMouseEvent* e) {
    if (dragging_) {
        move(e->globalPosition().toPoint() - dragOffset_);
    }
}

void StatusBarPanel::mouseReleaseEvent(QMouseEvent* e) {
    if (dragging_) {
        dragging_ = false;
        remember();
        return;
    }
    if (!pressed_) {
        return;
    }
    const QPointer<StatusItem> item = std::exchange(pressed_, nullptr);
    const bool inside = itemRect(item).contains(e->position());
    releaseStatusItem(*item, pressKind_, mouseEvent(*e, *item), inside);
}

void StatusBarPanel::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    if (!placing_ && isVisible() && mode_ == Mode::Floating) {
        remember();
    }
    relayout();
    reserveBand();
}

void StatusBarPanel::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    relayout();
    reserveBand();
}

bool StatusBarPanel::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        StatusItem* item = itemAt(help->pos());
        if (item != nullptr && !item->toolTip().isEmpty()) {
            QToolTip::showText(help->globalPos(), item->toolTip(), this);
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QWidget::event(e);
}

void StatusBarPanel::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    paintStatusBarBackground(p, QRectF(rect()), style_);
    // A tick repaints the item whose text changed: the others are not laid out and drawn only
    // to be clipped away.
    const QRectF dirty(event->rect());
    for (const PlacedStatusItem& placed : placed_) {
        if (placed.rect.intersects(dirty)) {
            paintStatusItem(p, *placed.item, placed.rect, style_);
        }
    }
}

}  // namespace talvor::platform
