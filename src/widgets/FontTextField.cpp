#include "FontTextField.h"

#include "platform/Log.h"

#include <QFontDialog>

namespace talvor {

FontTextField::FontTextField(QWidget* parent) : QLineEdit(parent) {}

FontTextField::~FontTextField() {
    delete panel_.data();
}

void FontTextField::changeFont(QObject* sender) {
    platform::log(QStringLiteral("font changed"));
    if (delegateChangeFont) {
        delegateChangeFont(sender);
    }
}

QFontDialog* FontTextField::openFontPanel() {
    if (panel_.isNull()) {
        panel_ = new QFontDialog(font());
        panel_->setOption(QFontDialog::NoButtons);
        connect(panel_, &QFontDialog::currentFontChanged, this,
                [this] { changeFont(panel_.data()); });
    }
    panel_->show();
    return panel_.data();
}

void FontTextField::pickFont(const QFont& font) {
    openFontPanel()->setCurrentFont(font);
}

}  // namespace talvor
