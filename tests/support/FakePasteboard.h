#pragma once

#include "platform/Pasteboard.h"

#include <QStringList>

#include <optional>

namespace talvor::test {

// Remembers every text written, installed as the general pasteboard for the life of the
// object.
class FakePasteboard : public platform::Pasteboard {
  public:
    FakePasteboard() { platform::Pasteboard::setGeneralPasteboard(this); }
    ~FakePasteboard() override { platform::Pasteboard::setGeneralPasteboard(nullptr); }
    FakePasteboard(const FakePasteboard&) = delete;
    FakePasteboard& operator=(const FakePasteboard&) = delete;

    bool setString(const QString& text) override {
        writes.append(text);
        return true;
    }
    std::optional<QString> string() const override {
        if (writes.isEmpty()) {
            return std::nullopt;
        }
        return writes.last();
    }

    QStringList writes;
};

}  // namespace talvor::test
