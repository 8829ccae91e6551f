#pragma once

#include "platform/KeyboardLayout.h"
#include "platform/VirtualKeyCodes.h"

#include <QHash>

namespace talvor::test {

// The "us" layout of a PC keyboard as key names need it, without the system's keymaps: what
// each key position types. Scan codes are made up (the key code plus 8), one per position
// that has a key. The hot-key tests hold it to the system's own "us" layout.
class FakeUsKeyboardLayout : public platform::KeyboardLayout {
  public:
    std::optional<quint32> scanCodeForKeyCode(int keyCode) const override {
        if (!platform::VirtualKeyCodes::xkbKeyName(keyCode)) {
            return std::nullopt;
        }
        return static_cast<quint32>(keyCode + kOffset);
    }
    std::optional<int> keyCodeForScanCode(quint32 scanCode) const override {
        const int keyCode = static_cast<int>(scanCode) - kOffset;
        if (!scanCodeForKeyCode(keyCode)) {
            return std::nullopt;
        }
        return keyCode;
    }
    QString textForKeyCode(int keyCode) const override {
        const std::optional<QByteArray> name = platform::VirtualKeyCodes::xkbKeyName(keyCode);
        return name ? typed().value(*name) : QString();
    }

  private:
    static constexpr int kOffset = 8;

    static const QHash<QByteArray, QString>& typed() {
        static const QHash<QByteArray, QString> table = [] {
            QHash<QByteArray, QString> t;
            const auto row = [&t](const char* prefix, const char* keys) {
                for (int i = 0; keys[i] != '\0'; ++i) {
                    t.insert(QByteArray(prefix) + QByteArray::number(i + 1).rightJustified(2, '0'),
                             QString(QLatin1Char(keys[i])));
                }
            };
            row("AE", "1234567890-=");
            row("AD", "qwertyuiop[]");
            row("AC", "asdfghjkl;'");
            row("AB", "zxcvbnm,./");
            const std::pair<const char*, const char*> others[] = {
                {"TLDE", "`"},
                {"BKSL", "\\"},
                {"LSGT", "<"},
                {"SPCE", " "},
                {"KPDL", "."},
                {"KPMU", "*"},
                {"KPAD", "+"},
                {"KPDV", "/"},
                {"KPSU", "-"},
                {"KPEQ", "="},
                {"KP0", "0"},
                {"KP1", "1"},
                {"KP2", "2"},
                {"KP3", "3"},
                {"KP4", "4"},
                {"KP5", "5"},
                {"KP6", "6"},
                {"KP7", "7"},
                {"KP8", "8"},
                {"KP9", "9"},
                // The keypad comma of Brazilian and Japanese keyboards.
                {"I129", "."},
            };
            for (const auto& [name, text] : others) {
                t.insert(QByteArray(name), QString::fromLatin1(text));
            }
            return t;
        }();
        return table;
    }
};

}  // namespace talvor::test
