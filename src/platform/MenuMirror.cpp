#include "MenuMirror.h"

#include "Log.h"

#include <QActionEvent>
#include <QApplication>
#include <QKeySequence>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionMenuItem>
#include <QWidgetAction>

#include <algorithm>
#include <array>
#include <cmath>

namespace talvor::platform {
namespace {

// An entry with a styled title: QMenu draws plain text only. Mouse events pass through to
// the menu, which keeps hovering, choosing and keyboard handling as for any other entry.
class AttributedItemWidget : public QWidget {
  public:
    explicit AttributedItemWidget(QMenu* menu) : menu_(menu) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

    void setAction(QAction* action) { action_ = action; }

    void setContent(const AttributedString& title, const QImage& image, ControlState state) {
        title_ = title;
        image_ = image;
        state_ = state;
        updateGeometry();
        update();
    }

    QSize sizeHint() const override {
        const TextMetrics m = measureAttributedString(title_, {menuFont(), Qt::black});
        const int h = std::max(static_cast<int>(std::ceil(m.height())) + 2 * kVPad, 22);
        return {kTextX + static_cast<int>(std::ceil(m.width)) + kRightPad, h};
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        QStyleOptionMenuItem opt;
        opt.initFrom(menu_ ? static_cast<QWidget*>(menu_) : this);
        opt.rect = rect();
        // The style draws the arrow of an entry with a submenu.
        opt.menuItemType = action_ && action_->menu() != nullptr ? QStyleOptionMenuItem::SubMenu
                                                                 : QStyleOptionMenuItem::Normal;
        opt.checkType = state_ == ControlState::Off ? QStyleOptionMenuItem::NotCheckable
                                                    : QStyleOptionMenuItem::NonExclusive;
        opt.checked = state_ == ControlState::On;
        const bool selected = menu_ && action_ && menu_->activeAction() == action_ && isEnabled();
        opt.state.setFlag(QStyle::State_Selected, selected);
        opt.state.setFlag(QStyle::State_Enabled, isEnabled());
        opt.maxIconWidth = 16;
        style()->drawControl(QStyle::CE_MenuItem, &opt, &p, menu_);

        if (!image_.isNull()) {
            const QSizeF s = image_.deviceIndependentSize().scaled(16, 16, Qt::KeepAspectRatio);
            p.drawImage(QRectF(4, (height() - s.height()) / 2, s.width(), s.height()), image_);
        }
        QColor color = palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                       selected ? QPalette::HighlightedText : QPalette::Text);
        AttributedString shown = title_;
        if (selected || !isEnabled()) {
            // Selected and disabled entries take the menu's colours, as the original system does.
            shown = AttributedString();
            for (AttributedString::Run r : title_.runs()) {
                r.attributes.foregroundColor = color;
                r.attributes.shadow.reset();
                shown.append(r.text, r.attributes);
            }
        }
        const TextMetrics m = measureAttributedString(shown, {menuFont(), color});
        const double baseline = std::round((height() - m.height()) / 2 + m.ascent);
        p.setRenderHint(QPainter::Antialiasing);
        drawAttributedString(p, shown, QPointF(kTextX, baseline), {menuFont(), color});
    }

  private:
    static constexpr int kTextX = 28;
    static constexpr int kRightPad = 16;
    static constexpr int kVPad = 3;

    QFont menuFont() const { return menu_ ? menu_->font() : font(); }

    QPointer<QMenu> menu_;
    QPointer<QAction> action_;
    AttributedString title_;
    QImage image_;
    ControlState state_ = ControlState::Off;
};

Qt::Key specialKey(char16_t c) {
    switch (c) {
        case u'\r':
        case u'\n':
            return Qt::Key_Return;
        case u'\x1b':
            return Qt::Key_Escape;
        case u'\b':
        case u'\x7f':
            return Qt::Key_Backspace;
        case u'\t':
            return Qt::Key_Tab;
        case u' ':
            return Qt::Key_Space;
        case 0xF700:
            return Qt::Key_Up;
        case 0xF701:
            return Qt::Key_Down;
        case 0xF702:
            return Qt::Key_Left;
        case 0xF703:
            return Qt::Key_Right;
        case 0xF728:
            return Qt::Key_Delete;
        default:
            break;
    }
    // The original system's function-key characters F1...F35.
    if (c >= 0xF704 && c <= 0xF726) {
        return static_cast<Qt::Key>(Qt::Key_F1 + (c - 0xF704));
    }
    return Qt::Key_unknown;
}

QKeySequence keySequenceFor(const QString& key, ModifierFlags mask) {
    if (key.isEmpty()) {
        return {};
    }
    const QChar c = key.at(0);
    Qt::KeyboardModifiers mods = qtModifiersFromFlags(mask);
    Qt::Key k = specialKey(c.unicode());
    if (k == Qt::Key_unknown) {
        if (c.isUpper()) {
            mods |= Qt::ShiftModifier;
        }
        k = static_cast<Qt::Key>(c.toUpper().unicode());
    }
    return QKeySequence(QKeyCombination(mods, k));
}

// Where a submenu of frame `proposed` goes beside `opener`, the menu it opens from, when
// `open` holds the frames of the open menus (the opener first, then the menus it came from).
// Qt puts a submenu to the right of its opener where it fits the screen, which, when the menus
// before cascade leftwards from the right end of the strip, lays it over them. The side the
// menus cascade towards comes first, then the other; where neither side is clear, Qt's place.
QPoint besideOpener(const QRect& proposed, const std::vector<QRect>& open, const QRect& screen) {
    const QRect& opener = open.front();
    const auto clear = [&](const QRect& frame) {
        return frame.left() >= screen.left() && frame.right() <= screen.right() &&
               std::none_of(open.begin(), open.end(),
                            [&](const QRect& menu) { return menu.intersects(frame); });
    };
    if (clear(proposed)) {
        return proposed.topLeft();
    }
    QRect right = proposed;
    right.moveLeft(opener.right() + 1);
    QRect left = proposed;
    left.moveRight(opener.left() - 1);
    const bool leftwards = open.size() > 1 && opener.center().x() < open[1].center().x();
    for (const QRect& side : leftwards ? std::array{left, right} : std::array{right, left}) {
        if (clear(side)) {
            return side.topLeft();
        }
    }
    return proposed.topLeft();
}

}  // namespace

MenuMirror::MenuMirror(std::shared_ptr<Menu> model, QObject* parent)
    : MenuMirror(std::move(model), {}, parent) {}

MenuMirror::MenuMirror(std::shared_ptr<Menu> model, std::vector<const Menu*> ancestors,
                       QObject* parent)
    : QObject(parent), model_(std::move(model)), ancestors_(std::move(ancestors)) {
    ancestors_.push_back(model_.get());
    menu_ = new QMenu();
    menu_->setTitle(model_->title());
    menu_->setToolTipsVisible(true);
    menu_->setSeparatorsCollapsible(false);
    // A press outside closes the menu and goes no further, as on the original system; a press on
    // the status item that opened it must not open it again at once.
    menu_->setAttribute(Qt::WA_NoMouseReplay);
    if (ancestors_.size() > 1) {
        menu_->installEventFilter(this);
    }

    // The model is kept alive through callbacks that may drop the last other reference.
    connect(menu_, &QMenu::aboutToShow, this, [this] {
        const std::shared_ptr<Menu> keep = model_;
        keep->notifyWillOpen();
    });
    connect(menu_, &QMenu::aboutToHide, this, [this] {
        const std::shared_ptr<Menu> keep = model_;
        keep->notifyDidClose();
    });
    connect(menu_, &QMenu::hovered, this, [this] {
        for (const Entry& e : entries_) {
            if (e.attributed && e.action) {
                if (auto* wa = qobject_cast<QWidgetAction*>(e.action.data())) {
                    wa->defaultWidget()->update();
                }
            }
        }
    });
    Menu* m = model_.get();
    connect(m, &Menu::itemInserted, this, &MenuMirror::insertEntry);
    connect(m, &Menu::itemRemoved, this, &MenuMirror::removeEntry);
    connect(m, &Menu::itemChanged, this, &MenuMirror::updateEntry);
    connect(m, &Menu::titleChanged, this, [this] { menu_->setTitle(model_->title()); });
    connect(m, &Menu::cancelTrackingRequested, this, [this] { menu_->hide(); });
    build();
}

MenuMirror::~MenuMirror() {
    for (Entry& e : entries_) {
        discard(e);
    }
    if (menu_) {
        menu_->hide();
        // The menu may be inside one of its own handlers.
        menu_->deleteLater();
    }
}

bool MenuMirror::eventFilter(QObject* watched, QEvent* event) {
    // Sent once Qt has chosen the place and before the menu is mapped.
    if (watched == menu_ && event->type() == QEvent::Show) {
        placeBesideOpener();
    }
    return QObject::eventFilter(watched, event);
}

void MenuMirror::placeBesideOpener() {
    std::vector<QRect> open;
    for (auto* m = qobject_cast<MenuMirror*>(parent()); m != nullptr;
         m = qobject_cast<MenuMirror*>(m->parent())) {
        if (m->menu_ && m->menu_->isVisible()) {
            open.push_back(m->menu_->geometry());
        }
    }
    const QScreen* screen = menu_->screen();
    if (open.empty() || screen == nullptr) {
        return;
    }
    const QPoint at = besideOpener(menu_->geometry(), open, screen->availableGeometry());
    if (at != menu_->pos()) {
        menu_->move(at);
    }
}

QAction* MenuMirror::actionAt(int index) const {
    if (index < 0 || index >= static_cast<int>(entries_.size())) {
        return nullptr;
    }
    return entries_[static_cast<std::size_t>(index)].action;
}

MenuMirror* MenuMirror::submenuMirrorAt(int index) const {
    if (index < 0 || index >= static_cast<int>(entries_.size())) {
        return nullptr;
    }
    return entries_[static_cast<std::size_t>(index)].submenu;
}

void MenuMirror::build() {
    for (const auto& item : model_->itemArray()) {
        Entry e = makeEntry(item);
        menu_->addAction(e.action);
        apply(e, *item);
        entries_.push_back(e);
    }
}

MenuMirror::Entry MenuMirror::makeEntry(const std::shared_ptr<MenuItem>& item) {
    Entry e;
    e.item = item;
    if (item->isSeparatorItem()) {
        e.action = new QAction(menu_);
        e.action->setSeparator(true);
        return e;
    }
    if (!item->attributedTitle().isEmpty()) {
        auto* wa = new QWidgetAction(menu_);
        auto* widget = new AttributedItemWidget(menu_);
        widget->setAction(wa);
        wa->setDefaultWidget(widget);
        e.action = wa;
        e.attributed = true;
    } else {
        e.action = new QAction(menu_);
    }
    const std::weak_ptr<MenuItem> weak = item;
    connect(e.action, &QAction::triggered, this, [this, weak] { trigger(weak); });
    return e;
}

void MenuMirror::insertEntry(int index) {
    const auto& item = model_->itemArray().at(static_cast<std::size_t>(index));
    Entry e = makeEntry(item);
    QAction* before = index < static_cast<int>(entries_.size())
                          ? entries_[static_cast<std::size_t>(index)].action.data()
                          : nullptr;
    menu_->insertAction(before, e.action);
    apply(e, *item);
    entries_.insert(entries_.begin() + index, e);
}

void MenuMirror::removeEntry(int index) {
    if (index < 0 || index >= static_cast<int>(entries_.size())) {
        return;
    }
    Entry e = entries_[static_cast<std::size_t>(index)];
    entries_.erase(entries_.begin() + index);
    discard(e);
}

void MenuMirror::updateEntry(int index) {
    if (index < 0 || index >= static_cast<int>(entries_.size())) {
        return;
    }
    Entry& e = entries_[static_cast<std::size_t>(index)];
    const auto& item = model_->itemArray().at(static_cast<std::size_t>(index));
    const bool wantAttributed = !item->isSeparatorItem() && !item->attributedTitle().isEmpty();
    if (wantAttributed == e.attributed) {
        apply(e, *item);
        return;
    }
    // Plain and styled titles need different kinds of QAction: swap it in the same place,
    // handing over the submenu mirror so an open submenu stays open.
    Entry fresh = makeEntry(item);
    fresh.submenu = std::exchange(e.submenu, nullptr);
    if (fresh.submenu != nullptr) {
        fresh.action->setMenu(fresh.submenu->menu());
    }
    menu_->insertAction(e.action, fresh.action);
    discard(e);
    apply(fresh, *item);
    e = fresh;
}

void MenuMirror::apply(Entry& e, const MenuItem& item) {
    QAction* a = e.action;
    if (a == nullptr) {
        return;
    }
    a->setVisible(!item.isHidden());
    if (item.isSeparatorItem()) {
        return;
    }
    QString text = item.title();
    a->setText(text.replace(QLatin1Char('&'), QStringLiteral("&&")));
    a->setIcon(item.image().isNull() ? QIcon() : QIcon(QPixmap::fromImage(item.image())));
    a->setCheckable(item.state() != ControlState::Off);
    a->setChecked(item.state() == ControlState::On);
    a->setEnabled(model_->isItemShownEnabled(item));
    a->setShortcut(keySequenceFor(item.keyEquivalent(), item.keyEquivalentModifierMask()));
    // Shown in the menu only: the model's key equivalents are not application shortcuts.
    a->setShortcutContext(Qt::WidgetShortcut);
    a->setToolTip(item.toolTip());
    a->setData(item.representedObject());
    a->setProperty("tag", item.tag());
    syncSubmenu(e, item);
    if (e.attributed) {
        auto* widget =
            static_cast<AttributedItemWidget*>(static_cast<QWidgetAction*>(a)->defaultWidget());
        widget->setContent(item.attributedTitle(), item.image(), item.state());
        widget->setEnabled(a->isEnabled());
        widget->setToolTip(item.toolTip());
        // The entry's size may have changed with the same plain text: have the menu measure
        // it again.
        QActionEvent changed(QEvent::ActionChanged, a);
        QCoreApplication::sendEvent(menu_, &changed);
    }
}

void MenuMirror::syncSubmenu(Entry& e, const MenuItem& item) {
    const std::shared_ptr<Menu>& wanted = item.submenu();
    const Menu* current = e.submenu != nullptr ? e.submenu->model().get() : nullptr;
    if (current == wanted.get()) {
        return;
    }
    if (e.submenu != nullptr) {
        e.action->setMenu(static_cast<QMenu*>(nullptr));
        dropSubmenu(e);
    }
    if (!wanted) {
        return;
    }
    if (std::find(ancestors_.begin(), ancestors_.end(), wanted.get()) != ancestors_.end()) {
        log(QStringLiteral("Menu \"%1\": item \"%2\" holds a menu that contains it; not shown")
                .arg(model_->title(), item.title()));
        return;
    }
    e.submenu = new MenuMirror(wanted, ancestors_, this);
    e.action->setMenu(e.submenu->menu());
}

void MenuMirror::discard(Entry& e) {
    if (e.action) {
        menu_->removeAction(e.action);
        e.action->setMenu(static_cast<QMenu*>(nullptr));
        // Removal can come from a handler of this very action.
        e.action->deleteLater();
    }
    dropSubmenu(e);
}

void MenuMirror::dropSubmenu(Entry& e) {
    if (MenuMirror* child = std::exchange(e.submenu, nullptr)) {
        if (child->menu_) {
            child->menu_->hide();
        }
        // The change may come from a handler of the submenu's own QMenu.
        child->deleteLater();
    }
}

void MenuMirror::trigger(const std::weak_ptr<MenuItem>& weak) {
    const std::shared_ptr<MenuItem> item = weak.lock();
    if (!item) {
        return;
    }
    const ModifierFlags modifiers = modifierFlagsFromQt(QGuiApplication::keyboardModifiers());
    if (Menu* holder = item->menu()) {
        holder->performActionForItemAtIndex(holder->indexOfItem(item.get()), modifiers);
    } else if (item->hasAction()) {
        // Taken out of the menu while it closed (a will-close rebuild): the choice still counts.
        const MenuAction action = item->action();
        ScopedEventModifiers scope(modifiers);
        action(*item);
    }
    // A checkable QAction flips itself; the model decides the state.
    for (Entry& e : entries_) {
        if (e.item.lock() == item && e.action) {
            e.action->setChecked(item->state() == ControlState::On);
        }
    }
}

}  // namespace talvor::platform
