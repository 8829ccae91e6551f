#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace talvor::platform {

// Starts helper programs of the desktop (settings tools, a relaunch script). Programs get an
// argument list, never a shell string of ours unless the program is the shell itself.
class ProcessLauncher {
  public:
    virtual ~ProcessLauncher();

    // Starts the program without waiting for it; false when it could not be started.
    virtual bool startDetached(const QString& program, const QStringList& arguments) = 0;
    // The program's full path when `name` is found on PATH (or is an executable path), else
    // empty.
    virtual QString findExecutable(const QString& name) const = 0;

    // The process-wide launcher; tests put a fake in its place (nullptr: the real one).
    static ProcessLauncher& shared();
    static void setShared(ProcessLauncher* launcher);
};

class SystemProcessLauncher : public ProcessLauncher {
  public:
    bool startDetached(const QString& program, const QStringList& arguments) override;
    QString findExecutable(const QString& name) const override;
};

// A desktop settings tool: the program and its arguments.
struct SettingsCommand {
    QString program;
    QStringList arguments;
};

// Starts the first of `commands` whose program is installed and starts; none means nothing
// happens, which is not worth a dialog.
bool openSystemSettings(const QList<SettingsCommand>& commands);
// Whether one of `commands` has its program installed.
bool hasSystemSettings(const QList<SettingsCommand>& commands);

}  // namespace talvor::platform
