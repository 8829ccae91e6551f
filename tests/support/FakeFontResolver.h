#pragma once

#include "platform/FontResolver.h"

#include <QSet>
#include <QStringList>

namespace talvor::test {

// Knows the families it is told about; records every family asked for.
class FakeFontResolver : public platform::FontResolver {
  public:
    explicit FakeFontResolver(QStringList families = {},
                              QString titleFamily = QStringLiteral("Title Sans"))
        : families_(families.begin(), families.end()), titleFamily_(std::move(titleFamily)) {}

    std::optional<QFont> fontNamed(const QString& family, double pointSize) const override {
        asked_.append(family);
        if (!families_.contains(family)) {
            return std::nullopt;
        }
        QFont f(family);
        f.setPointSizeF(pointSize);
        return f;
    }
    std::optional<QFont> titleBarFont(double pointSize) const override {
        if (titleFamily_.isEmpty()) {
            return std::nullopt;
        }
        QFont f(titleFamily_);
        f.setPointSizeF(pointSize);
        return f;
    }
    const QStringList& asked() const { return asked_; }

  private:
    QSet<QString> families_;
    QString titleFamily_;
    mutable QStringList asked_;
};

// Installs a resolver as the shared one for its lifetime.
class ScopedFontResolver {
  public:
    explicit ScopedFontResolver(const platform::FontResolver& r) {
        platform::FontResolver::setShared(&r);
    }
    ~ScopedFontResolver() { platform::FontResolver::setShared(nullptr); }
};

}  // namespace talvor::test
