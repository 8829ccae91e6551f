// Key combinations, key names on fixed layouts, the feature hot keys and the typed
// dictionary accessors.
#include "services/HotKeyKeys.h"
#include "services/SRKeyCodeTransformer.h"
#include "services/TalvorDictBoolean.h"
#include "services/TalvorHotKeys.h"
#include "services/TalvorKeyCombo.h"

#include "foundation/PreferenceDomain.h"
#include "platform/KeyedArchiver.h"
#include "platform/UserDefaults.h"
#include "platform/VirtualKeyCodes.h"
#include "platform/linux/XkbKeyboardLayout.h"
#include "support/FakeHotKeyBackend.h"
#include "support/ScopedPreferences.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

using namespace talvor;
using platform::AlternateKeyMask;
using platform::CommandKeyMask;
using platform::ControlKeyMask;
using platform::ShiftKeyMask;

namespace {

// Key names come from the shared back end's layout.
class ScopedLayout {
  public:
    explicit ScopedLayout(const QString& layout)
        : backend_(platform::XkbKeyboardLayout::fromNames(layout)) {
        platform::HotKeyBackend::setShared(&backend_);
    }
    ~ScopedLayout() { platform::HotKeyBackend::setShared(nullptr); }
    bool loaded() const { return backend_.keyboardLayout() != nullptr; }

  private:
    test::FakeHotKeyBackend backend_;
};

QString nameOf(qint64 code) {
    return SRKeyCodeTransformer().transformedValue(QVariant(code)).toString();
}

TEST(servicesHotkeysKeyNames, FixedNamesKeypadAndLayoutNames) {
    struct Case {
        const char* layout;
        qint64 code;
        QString name;
    };
    const Case cases[] = {
        {"us", 122, QStringLiteral("F1")},
        {"us", 111, QStringLiteral("F12")},
        {"us", 49, QStringLiteral("Space")},
        {"us", 123, QString(QChar(0x2190))},
        {"us", 126, QString(QChar(0x2191))},
        {"us", 36, QString(QChar(0x21A9))},
        {"us", 114, QStringLiteral("?")},
        {"us", 0, QStringLiteral("A")},
        {"us", 6, QStringLiteral("Z")},
        {"us", 18, QStringLiteral("1")},
        {"us", 24, QStringLiteral("=")},
        {"us", 83, QStringLiteral("Pad 1")},
        {"us", 67, QStringLiteral("Pad *")},
        {"us", 65, QStringLiteral("Pad .")},
        // Positions, not letters: the layout says what the key types.
        {"de", 6, QStringLiteral("Y")},
        {"de", 16, QStringLiteral("Z")},
        {"de", 65, QStringLiteral("Pad ,")},
        {"fr", 0, QStringLiteral("Q")},
        {"fr", 18, QStringLiteral("&")},
        {"de", 122, QStringLiteral("F1")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.layout) + " " + std::to_string(c.code));
        ScopedLayout layout(QString::fromLatin1(c.layout));
        ASSERT_TRUE(layout.loaded());
        EXPECT_EQ(nameOf(c.code), c.name);
    }
}

TEST(servicesHotkeysKeyNames, NoNameForOtherValues) {
    ScopedLayout layout(QStringLiteral("us"));
    const SRKeyCodeTransformer t;
    EXPECT_FALSE(t.transformedValue(QVariant(qint64(0xFFFF))).isValid()) << "negative as 16 bits";
    EXPECT_FALSE(t.transformedValue(QVariant(qint64(200))).isValid()) << "no such key";
    EXPECT_FALSE(t.transformedValue(QVariant(qint64(56))).isValid()) << "shift types nothing";
    EXPECT_FALSE(t.transformedValue(QVariant(QStringLiteral("0"))).isValid()) << "not a number";
    EXPECT_TRUE(SRKeyCodeTransformer::allowsReverseTransformation());
}

TEST(servicesHotkeysKeyNames, ReverseMapLeadsBackToTheSameName) {
    ScopedLayout layout(QStringLiteral("us"));
    SRKeyCodeTransformer::regenerateStringToKeyCodeMapping();
    const SRKeyCodeTransformer t;
    const QHash<QString, int> reverse = SRKeyCodeTransformer::stringToKeyCodeDict();
    ASSERT_GT(reverse.size(), 60);
    for (auto it = reverse.cbegin(); it != reverse.cend(); ++it) {
        EXPECT_EQ(nameOf(it.value()), it.key());
    }
    EXPECT_EQ(t.reverseTransformedValue(QVariant(QStringLiteral("A"))), QVariant(qint64(0)));
    EXPECT_EQ(t.reverseTransformedValue(QVariant(QStringLiteral("Pad 1"))), QVariant(qint64(83)));
    EXPECT_FALSE(t.reverseTransformedValue(QVariant(QStringLiteral("nothing"))).isValid());
}

TEST(servicesHotkeysKeyNames, EveryPositionHasAScanCodeThatLeadsBack) {
    const auto us = platform::XkbKeyboardLayout::fromNames(QStringLiteral("us"));
    ASSERT_NE(us, nullptr);
    const test::FakeUsKeyboardLayout fake;
    for (int code = 0; code < platform::VirtualKeyCodes::kCount; ++code) {
        SCOPED_TRACE(code);
        // The tests' stand-in types what the system's layout types.
        EXPECT_EQ(fake.textForKeyCode(code), us->textForKeyCode(code));
        if (!platform::VirtualKeyCodes::xkbKeyName(code)) {
            continue;
        }
        const std::optional<quint32> scan = us->scanCodeForKeyCode(code);
        ASSERT_TRUE(scan.has_value());
        EXPECT_EQ(us->keyCodeForScanCode(*scan), code);
        ASSERT_TRUE(fake.scanCodeForKeyCode(code).has_value());
        EXPECT_EQ(fake.keyCodeForScanCode(*fake.scanCodeForKeyCode(code)), code);
    }
}

TEST(servicesHotkeysKeyCombo, DisplayText) {
    ScopedLayout layout(QStringLiteral("us"));
    struct Case {
        qint32 code;
        qint64 modifiers;
        QString text;
    };
    const Case cases[] = {
        {-1, -1, QStringLiteral("(None)")},
        {3, -1, QStringLiteral("(None)")},
        {-1, 0x100, QStringLiteral("(None)")},
        {3, 0x1300, QStringLiteral("Ctrl+Shift+Super+F")},
        {122, 0x900, QStringLiteral("Ctrl+Alt+F1")},
        {200, 0, QStringLiteral("C8")},
        {17, 0x100 | 0x4000, QStringLiteral("Ctrl+T")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(TalvorKeyCombo(c.code, c.modifiers).userDisplayRep(), c.text);
        EXPECT_EQ(TalvorKeyCombo(c.code, c.modifiers).description(), c.text);
    }
    EXPECT_EQ(TalvorKeyCombo::_stringForKeyCode(-1), QString());
    EXPECT_EQ(TalvorKeyCombo::_stringForModifiers(-1), QString());
    EXPECT_EQ(TalvorKeyCombo::_stringForKeyCode(83), QStringLiteral("Pad 1"));
}

TEST(servicesHotkeysKeyCombo, ValueSemantics) {
    EXPECT_FALSE(TalvorKeyCombo().isValid());
    EXPECT_EQ(TalvorKeyCombo().keyCode(), -1);
    EXPECT_EQ(TalvorKeyCombo().modifiers(), -1);
    EXPECT_EQ(TalvorKeyCombo::keyCombo(), TalvorKeyCombo::clearKeyCombo());
    EXPECT_TRUE(TalvorKeyCombo(0, 0).isValid());
    // The key code is kept as 16 bits.
    EXPECT_TRUE(TalvorKeyCombo(0x10003, 0x100).isEqual(TalvorKeyCombo(3, 0x100)));
    EXPECT_EQ(TalvorKeyCombo(0xFFFF, 0x100).keyCode(), -1);
    EXPECT_FALSE(TalvorKeyCombo(3, 0x100).isEqual(TalvorKeyCombo(3, 0x200)));
}

TEST(servicesHotkeysKeyCombo, ModifierMasks) {
    struct Case {
        qint64 carbon;
        platform::ModifierFlags flags;
    };
    const Case cases[] = {
        {0x100, CommandKeyMask},
        {0x200, ShiftKeyMask},
        {0x800, AlternateKeyMask},
        {0x1000, ControlKeyMask},
        {0x1B00, CommandKeyMask | ShiftKeyMask | AlternateKeyMask | ControlKeyMask},
        {0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TalvorKeyCombo::NSModifierForModifiers(c.carbon), c.flags);
        EXPECT_EQ(TalvorKeyCombo::modifiersForNSModifiers(c.flags), c.carbon);
    }
    EXPECT_EQ(TalvorKeyCombo::NSModifierForModifiers(0x100 | 0x400 | 0x10000), CommandKeyMask);
}

TEST(servicesHotkeysKeyCombo, ArchivesAndTheDefaultsReader) {
    platform::MemoryPreferenceStore store;
    platform::UserDefaults defaults(store);
    const TalvorKeyCombo combo(17, 0x300);
    defaults.setObject(QVariant(platform::KeyedArchiver::archivedDataWithRootObject(combo)),
                       QStringLiteral("combo"));
    EXPECT_EQ(KeyComboAdditions::keyComboForKey(defaults, QStringLiteral("combo")), combo);

    defaults.setObject(QVariant(QByteArray("not an archive")), QStringLiteral("garbage"));
    EXPECT_EQ(KeyComboAdditions::keyComboForKey(defaults, QStringLiteral("garbage")),
              TalvorKeyCombo::clearKeyCombo());
    EXPECT_EQ(KeyComboAdditions::keyComboForKey(defaults, QStringLiteral("absent")),
              TalvorKeyCombo::clearKeyCombo());
}

TEST(servicesHotkeysFeatureHotKeys, DefaultsLoadingAndSaving) {
    test::ScopedMemoryDomain domain(appTalvor4Prefs);
    const QVariantMap defaults = TalvorHotKeys::setDetaults();
    const std::pair<QString, qint64> expected[] = {
        {keys::hotKeyCodeCalculator, 24}, {keys::HotKeyModifiersCalculator, 768},
        {keys::hotKeyCodeTodoList, 17},   {keys::hotKeyModifiersTodoList, 768},
        {keys::hotKeyCodeStopWatch, 13},  {keys::hotKeyModifiersStopWatch, 2816},
        {keys::hotKeyCodeFloater, 3},     {keys::hotKeyModifiersFloater, 4864},
        {keys::hotKeyCodeCal, 8},         {keys::hotKeyModifiersCal, 4864},
        {keys::hotKeyCodeSetAlarm, 18},   {keys::hotKeyModifiersSetAlarm, 2816},
    };
    EXPECT_EQ(defaults.size(), 12);
    for (const auto& [key, value] : expected) {
        EXPECT_EQ(defaults.value(key), QVariant(value)) << key.toStdString();
    }
    EXPECT_FALSE(TalvorDictBoolean::boolForKey(defaults, keys::FloaterHotKeyEnabled));

    // Nothing stored, or something that is not a dictionary: the defaults.
    EXPECT_EQ(TalvorHotKeys().hotKeyValues(), defaults);
    domain.store().setValue(keys::TalvorHotKeyPrefStrKey, QVariant(qint64(3)));
    EXPECT_EQ(TalvorHotKeys().hotKeyValues(), defaults);

    TalvorHotKeys hotKeys;
    QVariantMap changed = defaults;
    TalvorDictBoolean::setBool(changed, true, keys::FloaterHotKeyEnabled);
    TalvorDictBoolean::setInteger(changed, 5, keys::hotKeyCodeFloater);
    hotKeys.setHotKeyValues(changed);
    hotKeys.writePrefs();
    EXPECT_EQ(domain.store().value(keys::TalvorHotKeyPrefStrKey), QVariant(changed));
    EXPECT_EQ(TalvorHotKeys().hotKeyValues(), changed);

    test::LogCapture log;
    domain.store().setFailSynchronize(true);
    hotKeys.writePrefs();
    EXPECT_TRUE(log.contains(QStringLiteral("hot keys failed to save")));
}

TEST(servicesHotkeysFeatureHotKeys, KeyedArchive) {
    test::ScopedMemoryDomain domain(appTalvor4Prefs);
    TalvorHotKeys hotKeys;
    QVariantMap values = hotKeys.hotKeyValues();
    TalvorDictBoolean::setBool(values, true, keys::FloaterHotKeyEnabled);
    hotKeys.setHotKeyValues(values);
    const QByteArray data = platform::KeyedArchiver::archivedDataWithRootObject(hotKeys);
    const auto back = platform::KeyedUnarchiver::unarchiveObjectWithData<TalvorHotKeys>(data);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->hotKeyValues(), values);

    // An archive without the dictionary gives the defaults.
    platform::KeyedArchiver empty(TalvorHotKeys::archiveClassName());
    const auto fallback =
        platform::KeyedUnarchiver::unarchiveObjectWithData<TalvorHotKeys>(empty.archivedData());
    ASSERT_TRUE(fallback.has_value());
    EXPECT_EQ(fallback->hotKeyValues(), TalvorHotKeys::setDetaults());
}

TEST(servicesHotkeysDictAccessors, TypedReads) {
    const QVariantMap dict{
        {QStringLiteral("yes"), QVariant(true)},
        {QStringLiteral("no"), QVariant(false)},
        {QStringLiteral("one"), QVariant(qint64(1))},
        {QStringLiteral("real"), QVariant(2.75)},
        {QStringLiteral("text"), QVariant(QStringLiteral("  12abc"))},
        {QStringLiteral("word"), QVariant(QStringLiteral("YES"))},
        {QStringLiteral("list"), QVariant(QVariantList{1})},
    };
    struct Case {
        const char* key;
        bool b;
        qint64 i;
        double d;
    };
    const Case cases[] = {
        {"yes", true, 1, 1.0},    {"no", false, 0, 0.0},      {"one", false, 1, 1.0},
        {"real", false, 2, 2.75}, {"text", false, 12, 12.0},  {"word", false, 0, 0.0},
        {"list", false, 0, 0.0},  {"missing", false, 0, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        const QString key = QString::fromLatin1(c.key);
        EXPECT_EQ(TalvorDictBoolean::boolForKey(dict, key), c.b);
        EXPECT_EQ(TalvorDictBoolean::integerForKey(dict, key), c.i);
        EXPECT_DOUBLE_EQ(TalvorDictBoolean::doubleForKey(dict, key), c.d);
        EXPECT_FLOAT_EQ(TalvorDictBoolean::floatForKey(dict, key), static_cast<float>(c.d));
    }
}

TEST(servicesHotkeysDictAccessors, TypedWrites) {
    QVariantMap dict;
    TalvorDictBoolean::setBool(dict, true, QStringLiteral("b"));
    EXPECT_EQ(dict.value(QStringLiteral("b")).typeId(), QMetaType::Bool);
    const std::pair<qint64, qint64> integers[] = {
        {5, 5}, {-7, -7}, {0x100000005LL, 5}, {0xFFFFFFFFLL, -1}, {0x80000000LL, -2147483648LL}};
    for (const auto& [given, kept] : integers) {
        TalvorDictBoolean::setInteger(dict, given, QStringLiteral("i"));
        EXPECT_EQ(dict.value(QStringLiteral("i")), QVariant(kept)) << given;
    }
}

}  // namespace
