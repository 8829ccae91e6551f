#include "HotKeyField.h"

#include "SRKeyCodeTransformer.h"
#include "TalvorKeyCombo.h"

#include "platform/HotKeyBackend.h"
#include "platform/Log.h"
#include "platform/VirtualKeyCodes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

#include <algorithm>

namespace talvor {

void HotKeyRecorder::becomeFirstResponder() {
    isActive = true;
}

void HotKeyRecorder::resignFirstResponder() {
    const bool abandoned = isActive && currKeyCode == -1;
    isActive = false;
    firstKey = false;
    if (abandoned) {
        currKeyCode = lastKeyCode;
        currFlags = lastFlags;
        if (changed) {
            changed();
        }
    }
}

void HotKeyRecorder::flagsChanged(platform::ModifierFlags flags) {
    if (!isActive) {
        return;
    }
    if (!firstKey) {
        firstKey = true;
        lastKeyCode = currKeyCode;
        lastFlags = currFlags;
        currKeyCode = -1;
        if (changed) {
            changed();
        }
    }
    currFlags = flags;
}

HotKeyRecorder::KeyResult HotKeyRecorder::keyDown(qint32 keyCode) {
    if (!isActive) {
        return KeyResult::Ignored;
    }
    // Shift or Caps Lock alone would make a grab that steals typing.
    if ((currFlags &
         (platform::CommandKeyMask | platform::AlternateKeyMask | platform::ControlKeyMask)) == 0) {
        return KeyResult::Refused;
    }
    currKeyCode = keyCode & 0xFFFF;
    isActive = false;
    firstKey = false;
    if (changed) {
        changed();
    }
    return KeyResult::Taken;
}

void HotKeyRecorder::setKeyCode(qint32 keyCode, platform::ModifierFlags flags) {
    currKeyCode = keyCode;
    currFlags = flags;
}

void HotKeyRecorder::clear() {
    currKeyCode = -1;
    currFlags = 0;
    if (changed) {
        changed();
    }
}

bool HotKeyRecorder::clearButtonEnabled() const {
    if (isActive && firstKey) {
        return false;
    }
    return currKeyCode != -1;
}

QString HotKeyRecorder::stringValueForKeys() const {
    QString text = TalvorKeyCombo::namesOfModifierFlags(currFlags);
    if (currKeyCode != -1) {
        static const SRKeyCodeTransformer transformer;
        text +=
            transformer
                .transformedValue(QVariant(static_cast<qint64>(static_cast<qint16>(currKeyCode))))
                .toString();
    }
    return text;
}

platform::ModifierFlags modifierFlagOfKey(int qtKey) {
    switch (qtKey) {
        case Qt::Key_Shift:
            return platform::ShiftKeyMask;
        case Qt::Key_Control:
            return platform::CommandKeyMask;
        case Qt::Key_Alt:
            return platform::AlternateKeyMask;
        case Qt::Key_Meta:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
            return platform::ControlKeyMask;
        default:
            return 0;
    }
}

std::optional<qint32> keyCodeForKeyEvent(const QKeyEvent& event) {
    if (event.nativeScanCode() != 0 && QGuiApplication::platformName() == QLatin1String("xcb")) {
        if (const auto layout = platform::HotKeyBackend::shared().keyboardLayout()) {
            if (const std::optional<int> code =
                    layout->keyCodeForScanCode(event.nativeScanCode())) {
                return *code;
            }
        }
    }
    return platform::VirtualKeyCodes::keyCodeForQtKey(
        event.key(), event.modifiers().testFlag(Qt::KeypadModifier));
}

HotKeyField::HotKeyField(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    recorder_.changed = [this] {
        updateStringValueForKeys();
        updateClearButton();
        tellTarget();
    };
    updateStringValueForKeys();
}

QString HotKeyField::unavailableNote() {
    return tr(
        "Global hot keys are not available on this desktop: the keys work while a "
        "Talvor window has focus.");
}

void HotKeyField::showEvent(QShowEvent* event) {
    setToolTip(platform::HotKeyBackend::shared().isAvailable() ? QString() : unavailableNote());
    QWidget::showEvent(event);
}

QSize HotKeyField::sizeHint() const {
    // Room for the longest combination, so that no shortcut is drawn cut off.
    const QFontMetrics metrics(font());
    const int widest =
        std::max(metrics.horizontalAdvance(QStringLiteral("Ctrl+Alt+Shift+Super+F12")),
                 metrics.horizontalAdvance(displayString_));
    return {std::max(140, widest + 16), std::max(22, metrics.height() + 8)};
}

void HotKeyField::setKeyCode(qint32 keyCode, platform::ModifierFlags flags) {
    recorder_.setKeyCode(keyCode, flags);
    updateStringValueForKeys();
    updateClearButton();
}

void HotKeyField::clear() {
    recorder_.clear();
}

void HotKeyField::setClearButton(QAbstractButton* button) {
    if (clearButton_ != nullptr) {
        disconnect(clearButton_, nullptr, this, nullptr);
    }
    clearButton_ = button;
    if (button != nullptr) {
        connect(button, &QAbstractButton::clicked, this, &HotKeyField::clear);
    }
    updateClearButton();
}

void HotKeyField::updateStringValueForKeys() {
    displayString_ = recorder_.stringValueForKeys();
    updateGeometry();
    update();
}

void HotKeyField::updateClearButton() {
    if (clearButton_ != nullptr) {
        clearButton_->setEnabled(recorder_.clearButtonEnabled());
    }
}

void HotKeyField::tellTarget() {
    const Action action = action_;
    action(*this);
}

bool HotKeyField::event(QEvent* event) {
    // While recording every key is ours: shortcuts and focus keys (Tab) included.
    if (recorder_.isActive && event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    if (recorder_.isActive && event->type() == QEvent::KeyPress) {
        keyPressEvent(static_cast<QKeyEvent*>(event));
        return true;
    }
    return QWidget::event(event);
}

void HotKeyField::focusInEvent(QFocusEvent* event) {
    recorder_.becomeFirstResponder();
    update();
    updateClearButton();
    QWidget::focusInEvent(event);
}

void HotKeyField::focusOutEvent(QFocusEvent* event) {
    recorder_.resignFirstResponder();
    update();
    updateClearButton();
    QWidget::focusOutEvent(event);
}

void HotKeyField::keyPressEvent(QKeyEvent* event) {
    if (!recorder_.isActive) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    const platform::ModifierFlags held = platform::modifierFlagsFromQt(event->modifiers());
    if (const platform::ModifierFlags flag = modifierFlagOfKey(event->key()); flag != 0) {
        recorder_.flagsChanged(held | flag);
        updateStringValueForKeys();
        return;
    }
    // The keys held now decide, not the flags of the shortcut shown before any modifier.
    const std::optional<qint32> code = keyCodeForKeyEvent(*event);
    if (!code || (held & (platform::CommandKeyMask | platform::AlternateKeyMask |
                          platform::ControlKeyMask)) == 0) {
        platform::beep();
        return;
    }
    if (!recorder_.firstKey || held != recorder_.currFlags) {
        recorder_.flagsChanged(held);
        updateStringValueForKeys();
    }
    if (recorder_.keyDown(*code) == HotKeyRecorder::KeyResult::Refused) {
        platform::beep();
        return;
    }
    if (hasFocus()) {
        clearFocus();
    }
    update();
    updateClearButton();
}

void HotKeyField::keyReleaseEvent(QKeyEvent* event) {
    const platform::ModifierFlags flag = modifierFlagOfKey(event->key());
    if (!recorder_.isActive || flag == 0) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    event->accept();
    recorder_.flagsChanged(platform::modifierFlagsFromQt(event->modifiers()) & ~flag);
    updateStringValueForKeys();
}

void HotKeyField::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    QWidget::mousePressEvent(event);
}

void HotKeyField::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QStyleOptionFrame frame;
    frame.initFrom(this);
    frame.rect = rect();
    frame.lineWidth = 1;
    frame.state |= QStyle::State_Sunken;
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &frame, &painter, this);
    if (recorder_.isActive) {
        const QRectF bounds = QRectF(rect()).adjusted(1, 1, -1, -1);
        const qreal radius = std::min(bounds.width(), bounds.height()) / 2;
        QPen ring(palette().color(QPalette::Highlight), 2);
        painter.setPen(ring);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(bounds, radius, radius);
    }
    painter.setFont(font());
    painter.setPen(recorder_.isRecordingModifiers() ? QColor(Qt::red) : QColor(Qt::black));
    painter.drawText(rect(), Qt::AlignCenter, displayString_);
}

}  // namespace talvor
