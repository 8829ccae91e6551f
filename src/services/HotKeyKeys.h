#pragma once

#include <QString>

// Preference keys and notification names of the hot keys.
namespace talvor::keys {

// The store of bound hot keys in the standard user defaults, and the names start-up uses.
inline const QString HotKeys = QStringLiteral("HotKeys");
inline const QString ToggleHotKey = QStringLiteral("ToggleHotKey");
inline const QString CenterHotKey = QStringLiteral("CenterHotKey");
// The stopwatch's hot key: bound from the per-feature values below, never stored under it.
inline const QString StopWatchHotKey = QStringLiteral("StopWatchHotKey");
// Entries of one stored hot key.
inline const QString HotKeyName = QStringLiteral("Name");
inline const QString HotKeyCode = QStringLiteral("Code");
inline const QString HotKeyFlags = QStringLiteral("Flags");

// The per-feature shortcut values, one dictionary in the application's domain.
inline const QString TalvorHotKeyPrefStrKey = QStringLiteral("TalvorHotKeyPrefStrKey");
inline const QString hotKeyCodeCalculator = QStringLiteral("hotKeyCodeCalculator");
inline const QString HotKeyModifiersCalculator = QStringLiteral("HotKeyModifiersCalculator");
inline const QString hotKeyCodeTodoList = QStringLiteral("hotKeyCodeTodoList");
inline const QString hotKeyModifiersTodoList = QStringLiteral("hotKeyModifiersTodoList");
inline const QString hotKeyCodeStopWatch = QStringLiteral("hotKeyCodeStopWatch");
inline const QString hotKeyModifiersStopWatch = QStringLiteral("hotKeyModifiersStopWatch");
inline const QString hotKeyCodeFloater = QStringLiteral("hotKeyCodeFloater");
inline const QString hotKeyModifiersFloater = QStringLiteral("hotKeyModifiersFloater");
inline const QString hotKeyCodeCal = QStringLiteral("hotKeyCodeCal");
inline const QString hotKeyModifiersCal = QStringLiteral("hotKeyModifiersCal");
inline const QString hotKeyCodeSetAlarm = QStringLiteral("hotKeyCodeSetAlarm");
inline const QString hotKeyModifiersSetAlarm = QStringLiteral("hotKeyModifiersSetAlarm");
inline const QString FloaterHotKeyEnabled = QStringLiteral("FloaterHotKeyEnabled");

// Local: a key pressed on a key broadcaster; user info "KeyCode" and "Modifiers".
inline const QString KeyBraodcasterKeyEvent = QStringLiteral("KeyBraodcasterKeyEvent");
inline const QString KeyBroadcasterKeyCode = QStringLiteral("KeyCode");
inline const QString KeyBroadcasterModifiers = QStringLiteral("Modifiers");

}  // namespace talvor::keys
