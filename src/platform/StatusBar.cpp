#include "StatusBar.h"

#include "Menu.h"

#include <atomic>

namespace talvor::platform {

StatusItemView::~StatusItemView() = default;

void StatusItemView::mouseDown(const StatusItemMouseEvent&) {}

void StatusItemView::mouseUp(const StatusItemMouseEvent&) {}

void StatusItemView::setWidth(double width) {
    if (width_ != width) {
        width_ = width;
        emit widthChanged();
    }
}

StatusItem::StatusItem(StatusBar* bar, double length) : bar_(bar), length_(length) {}

StatusItem::~StatusItem() = default;

void StatusItem::setLength(double length) {
    if (length_ != length) {
        length_ = length;
        emit changed();
    }
}

void StatusItem::setTitle(const QString& title) {
    setAttributedTitle(AttributedString(title));
}

void StatusItem::setAttributedTitle(const AttributedString& title) {
    if (!(attributedTitle_ == title)) {
        attributedTitle_ = title;
        emit changed();
    }
}

void StatusItem::setImage(const QImage& image) {
    if (image_ != image) {
        image_ = image;
        emit changed();
    }
}

void StatusItem::setAlignment(Qt::Alignment alignment) {
    alignment &= Qt::AlignHorizontal_Mask;
    if (alignment_ != alignment) {
        alignment_ = alignment;
        emit changed();
    }
}

QRectF StatusItem::buttonFrame() const {
    // The size is the presenter's width once shown; until then the bar's thickness.
    const QSizeF size = windowFrame_.isEmpty()
                            ? QSizeF(length_ > 0 ? length_ : 0, bar_ ? bar_->thickness() : 0)
                            : windowFrame_.size();
    return QRectF(buttonOrigin_, size);
}

void StatusItem::setButtonFrame(const QRectF& frame) {
    if (buttonOrigin_ != frame.topLeft()) {
        buttonOrigin_ = frame.topLeft();
        emit changed();
    }
}

void StatusItem::setToolTip(const QString& toolTip) {
    if (toolTip_ != toolTip) {
        toolTip_ = toolTip;
        emit changed();
    }
}

void StatusItem::setHighlightMode(bool on) {
    if (highlightMode_ != on) {
        highlightMode_ = on;
        emit changed();
    }
}

void StatusItem::setHighlighted(bool on) {
    if (highlighted_ != on) {
        highlighted_ = on;
        emit changed();
    }
}

void StatusItem::setMenu(std::shared_ptr<Menu> menu) {
    if (menu_ != menu) {
        menu_ = std::move(menu);
        emit menuChanged();
    }
}

void StatusItem::setView(std::shared_ptr<StatusItemView> view) {
    if (view_ == view) {
        return;
    }
    if (view_) {
        disconnect(view_.get(), nullptr, this, nullptr);
    }
    view_ = std::move(view);
    if (view_) {
        connect(view_.get(), &StatusItemView::needsDisplay, this, &StatusItem::changed);
        connect(view_.get(), &StatusItemView::widthChanged, this, &StatusItem::changed);
    }
    emit changed();
}

void StatusItem::popUpStatusItemMenu(const std::shared_ptr<Menu>& menu) {
    if (menu) {
        emit popUpMenuRequested(menu);
    }
}

void StatusItem::setWindowFrame(const QRectF& frame) {
    if (windowFrame_ != frame) {
        windowFrame_ = frame;
        emit windowFrameChanged();
    }
}

void StatusItem::performClick(ModifierFlags modifiers) {
    if (!action_) {
        return;
    }
    // The action may remove the item from its bar; keep both alive through the call.
    const Action action = action_;
    ScopedEventModifiers scope(modifiers);
    action(*this);
}

namespace {

std::atomic<StatusBar*> gSystemBar{nullptr};

}  // namespace

StatusBar::StatusBar() = default;

StatusBar::~StatusBar() {
    for (const auto& item : items_) {
        item->bar_ = nullptr;
    }
}

StatusBar& StatusBar::systemStatusBar() {
    if (StatusBar* bar = gSystemBar.load()) {
        return *bar;
    }
    static StatusBar system;
    return system;
}

void StatusBar::setSystemStatusBar(StatusBar* bar) {
    gSystemBar.store(bar);
}

std::shared_ptr<StatusItem> StatusBar::statusItemWithLength(double length) {
    std::shared_ptr<StatusItem> item(new StatusItem(this, length));
    items_.push_back(item);
    emit itemAdded(item.get());
    return item;
}

void StatusBar::removeStatusItem(const StatusItem* item) {
    for (auto it = items_.begin(); it != items_.end(); ++it) {
        if (it->get() == item) {
            const std::shared_ptr<StatusItem> keep = *it;
            items_.erase(it);
            keep->bar_ = nullptr;
            keep->setWindowFrame(QRectF());
            emit itemRemoved(keep.get());
            return;
        }
    }
}

}  // namespace talvor::platform
