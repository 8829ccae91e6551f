#pragma once

#include <QString>

#include <optional>

namespace talvor::platform {

// The general pasteboard: the desktop's clipboard, text only.
class Pasteboard {
  public:
    virtual ~Pasteboard();

    // Replaces the contents with `text`; false when there is no clipboard to write to.
    virtual bool setString(const QString& text) = 0;
    // The text on the pasteboard; nullopt when it holds none or cannot be read.
    virtual std::optional<QString> string() const = 0;

    // The process-wide pasteboard; tests put a fake in its place (nullptr: the real one).
    static Pasteboard& generalPasteboard();
    static void setGeneralPasteboard(Pasteboard* pasteboard);
};

// QGuiApplication's clipboard; without a GUI application it refuses, with one log line.
class QtPasteboard : public Pasteboard {
  public:
    bool setString(const QString& text) override;
    std::optional<QString> string() const override;
};

}  // namespace talvor::platform
