#include "TalvorKeyComboPanel.h"

#include "HotKeyKeys.h"
#include "TalvorKeyBroadcaster.h"

#include "platform/HotKeyBackend.h"
#include "platform/Log.h"
#include "platform/OpenDialogs.h"
#include "platform/WindowPlacement.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace talvor {

TalvorKeyComboPanel::TalvorKeyComboPanel(platform::HotKeyBackend* backend, QObject* parent)
    : QObject(parent), window_(new QDialog), backend_(backend) {
    window_->setWindowTitle(tr("Key Combination"));
    auto* layout = new QVBoxLayout(window_);
    layout->addWidget(new QLabel(tr("Click the button, then press the key combination:")));
    broadcaster_ = new TalvorKeyBroadcaster(window_);
    broadcaster_->setText(tr("Type the combination"));
    layout->addWidget(broadcaster_);
    mTextField = new QLineEdit(window_);
    mTextField->setReadOnly(true);
    mTextField->setFocusPolicy(Qt::NoFocus);
    mTextField->setAlignment(Qt::AlignCenter);
    layout->addWidget(mTextField);
    auto* buttons = new QDialogButtonBox(window_);
    QPushButton* clearButton = buttons->addButton(tr("Clear"), QDialogButtonBox::ResetRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    buttons->addButton(QDialogButtonBox::Ok);
    for (QAbstractButton* b : buttons->buttons()) {
        b->setFocusPolicy(Qt::NoFocus);
    }
    connect(clearButton, &QPushButton::clicked, this, &TalvorKeyComboPanel::clear);
    connect(buttons, &QDialogButtonBox::accepted, this, &TalvorKeyComboPanel::ok);
    connect(buttons, &QDialogButtonBox::rejected, this, &TalvorKeyComboPanel::cancel);
    layout->addWidget(buttons);

    setKeyCombo(TalvorKeyCombo::clearKeyCombo());
    observation_ = platform::NotificationCenter::defaultCenter().addObserver(
        keys::KeyBraodcasterKeyEvent, QVariant(),
        [this](const platform::Notification& note) { keyEvent(note); });
}

TalvorKeyComboPanel::~TalvorKeyComboPanel() {
    observation_.reset();
    delete window_;
}

TalvorKeyComboPanel& TalvorKeyComboPanel::sharedPanel() {
    static TalvorKeyComboPanel* panel = new TalvorKeyComboPanel;
    return *panel;
}

platform::HotKeyBackend& TalvorKeyComboPanel::backend() const {
    return backend_ != nullptr ? *backend_ : platform::HotKeyBackend::shared();
}

void TalvorKeyComboPanel::runModal(std::function<void(int result)> finished) {
    window_->adjustSize();
    platform::placeInFreeArea(*window_, window_->parentWidget());
    broadcaster_->setFocus();
    // The panel lives on: only this run's answer goes to `finished`.
    disconnect(window_, &QDialog::finished, this, nullptr);
    connect(window_, &QDialog::finished, this, [this, finished = std::move(finished)](int result) {
        disconnect(window_, &QDialog::finished, this, nullptr);
        window_->hide();
        if (finished) {
            finished(result);
        }
    });
    window_->open();
}

void TalvorKeyComboPanel::setKeyCombo(const TalvorKeyCombo& combo) {
    mKeyCombo = combo;
    _keyComboChanged();
}

void TalvorKeyComboPanel::ok() {
    window_->done(1);
}

void TalvorKeyComboPanel::cancel() {
    window_->done(0);
}

void TalvorKeyComboPanel::clear() {
    setKeyCombo(TalvorKeyCombo::clearKeyCombo());
}

bool TalvorKeyComboPanel::checkForGlobalConflict(qint64 modifiers, qint32 keyCode) {
    return backend().isHeldElsewhere(keyCode, TalvorKeyCombo::NSModifierForModifiers(modifiers));
}

void TalvorKeyComboPanel::keyEvent(const platform::Notification& note) {
    const auto keyCode =
        static_cast<qint16>(note.userInfo.value(keys::KeyBroadcasterKeyCode).toLongLong());
    const qint64 modifiers = note.userInfo.value(keys::KeyBroadcasterModifiers).toLongLong();
    if (checkForGlobalConflict(modifiers, keyCode)) {
        platform::beep();
        const QString title = QStringLiteral("Talvor Global hot key conflict");
        const QString message = QStringLiteral(
            "This key combination is already used by a keyboard shortcut of the desktop."
            "\n\nChoose another combination, or free this one in the keyboard settings of "
            "your desktop.");
        if (alert_) {
            alert_(title, message);
        } else {
            auto* box = new QMessageBox(QMessageBox::Warning, title, message, QMessageBox::NoButton,
                                        window_);
            box->addButton(QStringLiteral("ok"), QMessageBox::AcceptRole);
            platform::openDialog(box);
        }
        return;
    }
    setKeyCombo(TalvorKeyCombo(keyCode, modifiers));
}

void TalvorKeyComboPanel::_keyComboChanged() {
    mTextField->setText(mKeyCombo.isValid() ? mKeyCombo.userDisplayRep() : QString());
}

}  // namespace talvor
