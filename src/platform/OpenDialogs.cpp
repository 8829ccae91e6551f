#include "OpenDialogs.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QWidget>

namespace talvor::platform {
namespace {

// A cancel branch may open a notice, whose own cancel may open another: a few rounds at
// most, then whatever is left is simply hidden.
constexpr int kRounds = 4;
// Marks the dialogs openDialog() opened and deletes once they are answered.
constexpr const char* kOwnedProperty = "talvorOpenDialog";

QList<QPointer<QDialog>> visibleDialogs() {
    QList<QPointer<QDialog>> dialogs;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(w); dialog != nullptr && dialog->isVisible()) {
            dialogs.append(dialog);
        }
    }
    return dialogs;
}

}  // namespace

void openDialog(QDialog* dialog, std::function<void(int result)> finished) {
    // Ours to delete, also when the quit path has to hide it without an answer.
    dialog->setProperty(kOwnedProperty, true);
    QObject::connect(dialog, &QDialog::finished, dialog,
                     [dialog, finished = std::move(finished)](int result) {
                         // Once only: the dialog may be shown again before deleteLater runs.
                         QObject::disconnect(dialog, &QDialog::finished, dialog, nullptr);
                         dialog->deleteLater();
                         if (finished) {
                             finished(result);
                         }
                     });
    dialog->open();
}

int closeOpenDialogs() {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        return 0;
    }
    int closed = 0;
    for (int round = 0; round < kRounds; ++round) {
        const QList<QPointer<QDialog>> dialogs = visibleDialogs();
        if (dialogs.isEmpty()) {
            return closed;
        }
        for (const QPointer<QDialog>& dialog : dialogs) {
            // An earlier one's callback may have closed or deleted it already.
            if (dialog && dialog->isVisible()) {
                dialog->reject();
                ++closed;
            }
        }
    }
    for (const QPointer<QDialog>& dialog : visibleDialogs()) {
        dialog->hide();
        if (dialog->property(kOwnedProperty).toBool()) {
            dialog->deleteLater();
        }
        ++closed;
    }
    return closed;
}

void closeOpenPopups() {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        return;
    }
    // A submenu closes its parents with it; a popup that refuses ends the loop.
    while (QWidget* popup = QApplication::activePopupWidget()) {
        popup->close();
        if (QApplication::activePopupWidget() == popup) {
            popup->hide();
            if (QApplication::activePopupWidget() == popup) {
                return;
            }
        }
    }
}

}  // namespace talvor::platform
