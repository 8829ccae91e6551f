#include "ProcessLauncher.h"

#include "Log.h"

#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <atomic>

namespace talvor::platform {
namespace {
std::atomic<ProcessLauncher*> gOverride{nullptr};
}

ProcessLauncher::~ProcessLauncher() = default;

ProcessLauncher& ProcessLauncher::shared() {
    if (ProcessLauncher* overridden = gOverride.load()) {
        return *overridden;
    }
    static SystemProcessLauncher real;
    return real;
}

void ProcessLauncher::setShared(ProcessLauncher* launcher) {
    gOverride.store(launcher);
}

bool SystemProcessLauncher::startDetached(const QString& program, const QStringList& arguments) {
    // Detached children are reparented away from us, so none is left as a zombie.
    if (!QProcess::startDetached(program, arguments)) {
        log(QStringLiteral("Could not start %1").arg(program));
        return false;
    }
    return true;
}

QString SystemProcessLauncher::findExecutable(const QString& name) const {
    return QStandardPaths::findExecutable(name);
}

bool openSystemSettings(const QList<SettingsCommand>& commands) {
    ProcessLauncher& launcher = ProcessLauncher::shared();
    for (const SettingsCommand& command : commands) {
        const QString path = launcher.findExecutable(command.program);
        if (!path.isEmpty() && launcher.startDetached(path, command.arguments)) {
            return true;
        }
    }
    log(QStringLiteral("No desktop settings tool could be started"));
    return false;
}

bool hasSystemSettings(const QList<SettingsCommand>& commands) {
    const ProcessLauncher& launcher = ProcessLauncher::shared();
    return std::any_of(commands.begin(), commands.end(), [&](const SettingsCommand& command) {
        return !launcher.findExecutable(command.program).isEmpty();
    });
}

}  // namespace talvor::platform
