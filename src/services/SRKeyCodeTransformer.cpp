#include "SRKeyCodeTransformer.h"

#include "platform/HotKeyBackend.h"

#include <QCoreApplication>

#include <mutex>

namespace talvor {
namespace {

QHash<int, QString> makeFixedNames() {
    QHash<int, QString> names{
        {122, QStringLiteral("F1")},  {120, QStringLiteral("F2")},  {99, QStringLiteral("F3")},
        {118, QStringLiteral("F4")},  {96, QStringLiteral("F5")},   {97, QStringLiteral("F6")},
        {98, QStringLiteral("F7")},   {100, QStringLiteral("F8")},  {101, QStringLiteral("F9")},
        {109, QStringLiteral("F10")}, {103, QStringLiteral("F11")}, {111, QStringLiteral("F12")},
        {105, QStringLiteral("F13")}, {107, QStringLiteral("F14")}, {113, QStringLiteral("F15")},
        {106, QStringLiteral("F16")}, {114, QStringLiteral("?")},
    };
    names.insert(49, QCoreApplication::translate("SRKeyCodeTransformer", "Space"));
    const std::pair<int, char16_t> glyphs[] = {
        {51, 0x232B},  {117, 0x2326}, {71, 0x2327},  {123, 0x2190}, {124, 0x2192},
        {126, 0x2191}, {125, 0x2193}, {119, 0x2198}, {115, 0x2196}, {53, 0x238B},
        {121, 0x21DF}, {116, 0x21DE}, {36, 0x21A9},  {76, 0x2305},  {48, 0x21E5},
    };
    for (const auto& [code, glyph] : glyphs) {
        names.insert(code, QString(QChar(glyph)));
    }
    return names;
}

std::mutex& reverseMutex() {
    static std::mutex m;
    return m;
}

QHash<QString, int>& reverseMap() {
    static QHash<QString, int> map;
    return map;
}

// The class's tables, built when the first transformer is made.
void initializeOnce() {
    static std::once_flag once;
    std::call_once(once, [] { SRKeyCodeTransformer::regenerateStringToKeyCodeMapping(); });
}

}  // namespace

SRKeyCodeTransformer::SRKeyCodeTransformer() {
    initializeOnce();
}

const QHash<int, QString>& SRKeyCodeTransformer::keyCodeToStringDict() {
    static const QHash<int, QString> names = makeFixedNames();
    return names;
}

const QList<int>& SRKeyCodeTransformer::padKeysArray() {
    static const QList<int> pad{65, 67, 69, 75, 78, 81, 82, 83, 84, 85, 86, 87, 88, 89, 91, 92};
    return pad;
}

QHash<QString, int> SRKeyCodeTransformer::stringToKeyCodeDict() {
    std::lock_guard lock(reverseMutex());
    return reverseMap();
}

QVariant SRKeyCodeTransformer::transformedValue(const QVariant& value) const {
    return nameForKeyCode(value);
}

QVariant SRKeyCodeTransformer::nameForKeyCode(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Double:
            break;
        default:
            return QVariant();
    }
    const auto code = static_cast<qint16>(value.toLongLong());
    if (code < 0) {
        return QVariant();
    }
    if (const auto it = keyCodeToStringDict().constFind(code); it != keyCodeToStringDict().cend()) {
        return *it;
    }
    const bool pad = padKeysArray().contains(code);
    const std::shared_ptr<const platform::KeyboardLayout> layout =
        platform::HotKeyBackend::shared().keyboardLayout();
    if (!layout) {
        return QVariant();
    }
    const QString typed = layout->textForKeyCode(code);
    if (typed.isEmpty()) {
        return QVariant();
    }
    const QString first = typed.left(typed.at(0).isHighSurrogate() ? 2 : 1).toUpper();
    if (pad) {
        return QCoreApplication::translate("SRKeyCodeTransformer", "Pad %1").arg(first);
    }
    return first;
}

QVariant SRKeyCodeTransformer::reverseTransformedValue(const QVariant& value) const {
    if (value.typeId() != QMetaType::QString) {
        return QVariant();
    }
    std::lock_guard lock(reverseMutex());
    const auto it = reverseMap().constFind(value.toString());
    return it == reverseMap().cend() ? QVariant() : QVariant(static_cast<qint64>(*it));
}

void SRKeyCodeTransformer::regenerateStringToKeyCodeMapping() {
    QHash<QString, int> map;
    for (int code = 0; code < 128; ++code) {
        const QString name = nameForKeyCode(QVariant(static_cast<qint64>(code))).toString();
        if (!name.isEmpty()) {
            map.insert(name, code);
        }
    }
    std::lock_guard lock(reverseMutex());
    reverseMap() = std::move(map);
}

}  // namespace talvor
