#pragma once

#include <QFont>
#include <QLineEdit>
#include <QPointer>

#include <functional>

class QFontDialog;

namespace talvor {

// A text field that passes font-panel changes on to its delegate.
class FontTextField : public QLineEdit {
    Q_OBJECT
  public:
    explicit FontTextField(QWidget* parent = nullptr);
    ~FontTextField() override;

    // The delegate's `changeFont:`; empty without a delegate. The sender is the font panel
    // (a QFontDialog: its currentFont() is the chosen font).
    std::function<void(QObject* sender)> delegateChangeFont;

    // Logs "font changed" and hands the change to the delegate.
    void changeFont(QObject* sender);

    // Opens the font panel for this field (non-modal); its changes come to changeFont.
    QFontDialog* openFontPanel();
    // As if the user picked `font` in the font panel.
    void pickFont(const QFont& font);

  private:
    QPointer<QFontDialog> panel_;
};

}  // namespace talvor
