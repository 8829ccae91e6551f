#include "WindowExtras.h"
#include "platform/WindowPlacement.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>

namespace talvor {
namespace WindowExtras {

void makeKeyAndOrderFrontandCenter(QWidget& window) {
    window.show();  // first, so that the frame's decorations are known
    platform::placeInFreeArea(window);
    window.raise();
    window.activateWindow();
}

QWidget* focusedControl(const QWidget& window) {
    QWidget* focus = window.focusWidget();
    if (focus == nullptr) {
        return nullptr;
    }
    // A line edit inside a spin or combo box is that control's field editor.
    if (qobject_cast<QLineEdit*>(focus) != nullptr) {
        QWidget* parent = focus->parentWidget();
        if (qobject_cast<QAbstractSpinBox*>(parent) != nullptr ||
            qobject_cast<QComboBox*>(parent) != nullptr) {
            return parent;
        }
    }
    return focus;
}

void useAppProxyIcon(QWidget& window) {
    window.setWindowFilePath(QFileInfo(QCoreApplication::applicationFilePath()).absoluteFilePath());
    if (!QApplication::windowIcon().isNull()) {
        window.setWindowIcon(QApplication::windowIcon());
    }
}

}  // namespace WindowExtras

namespace ControlExtras {

QSizeF sizeToFitHeight(QWidget& control, bool height, bool width) {
    const QRect old = control.geometry();
    control.ensurePolished();
    const QSize fit = control.sizeHint();
    QRect frame = old;
    if (width && fit.width() >= 0) {
        frame.setWidth(fit.width());
    }
    if (height && fit.height() >= 0) {
        frame.setHeight(fit.height());
    }
    control.setGeometry(frame);
    const QSize now = control.geometry().size();
    return QSizeF(now.width() - old.width(), now.height() - old.height());
}

}  // namespace ControlExtras
}  // namespace talvor
