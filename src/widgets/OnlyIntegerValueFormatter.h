#pragma once

#include <QValidator>

namespace talvor {

// Lets a field hold only a short integer: the empty text, or at most 5 characters that
// read wholly as an integer (leading white space skipped, a sign allowed). Any other edit
// beeps and is refused.
class OnlyIntegerValueFormatter : public QValidator {
    Q_OBJECT
  public:
    explicit OnlyIntegerValueFormatter(QObject* parent = nullptr) : QValidator(parent) {}

    // The rule alone, without the beep.
    static bool isPartialStringValid(const QString& partialString);

    State validate(QString& input, int& pos) const override;
};

}  // namespace talvor
