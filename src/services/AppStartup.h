#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

class QFileSystemWatcher;

namespace talvor {

// The login item, one service for every caller: the autostart entry
// $XDG_CONFIG_HOME/autostart/com.larkspindle.TalvorPro.desktop is the truth, and the setting
// "StartAtLogin" follows it. The program's identity is its executable's path: an entry
// pointing at another copy is not ours (it is replaced when we enable, left alone when we
// disable). An entry marked Hidden or disabled counts as absent. Main thread only.
class LoginItems : public QObject {
    Q_OBJECT
  public:
    // No path: the running executable.
    explicit LoginItems(const QString& programPath = QString(), QObject* parent = nullptr);
    ~LoginItems() override;

    static LoginItems& shared();
    // Tests: replaces the shared service (nullptr: the real one).
    static void setShared(LoginItems* items);

    QString programPath() const { return programPath_; }
    static QString entryPath();
    // The program the entry starts, when there is an effective entry.
    QString entryProgram() const;

    bool isEnabled() const;
    // Makes the entry start this program, or removes it when it does; stores "StartAtLogin".
    // False when the file could not be written or removed.
    bool setEnabled(bool enable);
    // "StartAtLogin" := whether the entry starts this program (at start-up).
    void synchronizeStartAtLogin();

    // Hears changes made elsewhere (the desktop's settings, another copy) from now on.
    void watch();

  signals:
    void changed(bool enabled);

  private:
    void onFolderChanged();

    QString programPath_;
    QFileSystemWatcher* watcher_ = nullptr;
    bool lastReported_ = false;
};

// NSApplication(AppStartup): the operations of the login item as the preferences call them.
namespace AppStartup {
// The file URL of the program.
QString ourURL();
void setInLoginItems(bool enable);
bool isInLoginItems();
}  // namespace AppStartup

// Shows nothing instead of the largest signed 64-bit integer (the "not found" marker).
class MaxIntegerToZeroValueTransformer {
  public:
    static QVariant transformedValue(const QVariant& value);
};

}  // namespace talvor
