#pragma once

#include <QString>

#include <stdexcept>

namespace talvor {

// A named exception of the original system ("OutOfBounds", "InvalidSizes"): `name()` is the name,
// `what()` the reason text.
class NamedError : public std::runtime_error {
  public:
    NamedError(QString name, const QString& reason)
        : std::runtime_error(reason.toStdString()), name_(std::move(name)) {}

    const QString& name() const { return name_; }
    QString reason() const { return QString::fromStdString(what()); }

  private:
    QString name_;
};

}  // namespace talvor
