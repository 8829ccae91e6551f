#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>

namespace talvor {

// Between a key code and the name of that key: fixed names for keys that type nothing
// (function keys, arrows, ...), otherwise what the key types on the current keyboard layout
// (HotKeyBackend::keyboardLayout), upper-cased, keypad keys as "Pad %@".
class SRKeyCodeTransformer {
  public:
    SRKeyCodeTransformer();

    static bool allowsReverseTransformation() { return true; }
    // A number -> its key's name; invalid for anything else, a negative 16-bit code, or a
    // key that types nothing on the layout.
    QVariant transformedValue(const QVariant& value) const;
    // A name -> its key code (qint64), from the reverse map; invalid when unknown.
    QVariant reverseTransformedValue(const QVariant& value) const;

    // Rebuilds the reverse map from the current layout (names of codes 0-127; a later code
    // with the same name wins). Built once when the first transformer is made.
    static void regenerateStringToKeyCodeMapping();

    static const QHash<int, QString>& keyCodeToStringDict();
    static const QList<int>& padKeysArray();
    static QHash<QString, int> stringToKeyCodeDict();

  private:
    static QVariant nameForKeyCode(const QVariant& value);
};

}  // namespace talvor
