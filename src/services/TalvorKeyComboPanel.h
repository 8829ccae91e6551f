#pragma once

#include "TalvorKeyCombo.h"

#include "platform/NotificationCenter.h"

#include <QDialog>

#include <functional>

class QLineEdit;

namespace talvor {

namespace platform {
class HotKeyBackend;
}

class TalvorKeyBroadcaster;

// A modal panel that captures one key combination from its key broadcaster, refusing (with
// an alert) combinations that another program already holds.
class TalvorKeyComboPanel : public QObject {
    Q_OBJECT
  public:
    using AlertHandler = std::function<void(const QString& title, const QString& message)>;

    explicit TalvorKeyComboPanel(platform::HotKeyBackend* backend = nullptr,
                                 QObject* parent = nullptr);
    ~TalvorKeyComboPanel() override;

    static TalvorKeyComboPanel& sharedPanel();

    QDialog* window() const { return window_; }
    // Centres the window and shows it modally, returning at once; `finished` gets 1 for OK,
    // 0 for Cancel (or the window closed by the application quitting) once it is hidden.
    void runModal(std::function<void(int result)> finished);

    const TalvorKeyCombo& keyCombo() const { return mKeyCombo; }
    void setKeyCombo(const TalvorKeyCombo& combo);
    void setKeyName(const QString&) {}

    void ok();
    void cancel();
    void clear();

    // True when another program holds the combination (key code, modifier mask).
    bool checkForGlobalConflict(qint64 modifiers, qint32 keyCode);
    // A "KeyBraodcasterKeyEvent": takes the combination unless it is in conflict.
    void keyEvent(const platform::Notification& note);

    QLineEdit* textField() const { return mTextField; }
    TalvorKeyBroadcaster* broadcaster() const { return broadcaster_; }
    // Replaces the conflict alert (tests); empty restores the message box.
    void setAlertHandler(AlertHandler handler) { alert_ = std::move(handler); }

  private:
    void _keyComboChanged();
    platform::HotKeyBackend& backend() const;

    QDialog* window_;
    QLineEdit* mTextField;
    TalvorKeyBroadcaster* broadcaster_;
    TalvorKeyCombo mKeyCombo;
    platform::HotKeyBackend* backend_;
    AlertHandler alert_;
    platform::Observation observation_;
};

}  // namespace talvor
