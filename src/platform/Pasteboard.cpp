#include "Pasteboard.h"

#include "Log.h"

#include <QClipboard>
#include <QGuiApplication>

#include <atomic>

namespace talvor::platform {
namespace {

std::atomic<Pasteboard*> gOverride{nullptr};

QClipboard* clipboard() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
        static std::atomic<bool> logged{false};
        if (!logged.exchange(true)) {
            log(QStringLiteral("No clipboard: the application has no graphical session"));
        }
        return nullptr;
    }
    return QGuiApplication::clipboard();
}

}  // namespace

Pasteboard::~Pasteboard() = default;

Pasteboard& Pasteboard::generalPasteboard() {
    if (Pasteboard* overridden = gOverride.load()) {
        return *overridden;
    }
    static QtPasteboard real;
    return real;
}

void Pasteboard::setGeneralPasteboard(Pasteboard* pasteboard) {
    gOverride.store(pasteboard);
}

bool QtPasteboard::setString(const QString& text) {
    QClipboard* board = clipboard();
    if (board == nullptr) {
        return false;
    }
    board->setText(text, QClipboard::Clipboard);
    return true;
}

std::optional<QString> QtPasteboard::string() const {
    QClipboard* board = clipboard();
    if (board == nullptr) {
        return std::nullopt;
    }
    const QString text = board->text(QClipboard::Clipboard);
    if (text.isNull()) {
        return std::nullopt;
    }
    return text;
}

}  // namespace talvor::platform
