#include "PFMoveApplication.h"

#include "ProgramCopy.h"
#include "SystemEventNames.h"
#include "foundation/StringsBundle.h"
#include "platform/Log.h"
#include "platform/OpenDialogs.h"
#include "platform/Paths.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>

#include <unistd.h>

namespace talvor {
namespace {

// The macOS Applications folder stands for ~/.local/bin in the texts.
const QString kPlace = QStringLiteral("~/.local/bin");

QString tr(const QString& english) {
    const std::optional<QString> text =
        StringsBundle::mainBundle().localizedString(english, QStringLiteral("MoveApplication"));
    return text && !text->isEmpty() ? *text : english;
}

bool isUnder(const QString& path, const QString& folder) {
    if (folder.isEmpty()) {
        return false;
    }
    const QString f = QDir::cleanPath(folder) + QLatin1Char('/');
    return QDir::cleanPath(path).startsWith(f);
}

bool runningElsewhere(const QString& path) {
    const QString wanted = QFileInfo(path).canonicalFilePath();
    const QString self = QString::number(::getpid());
    QDirIterator it(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QString pid = it.fileName();
        if (pid == self || pid.toLongLong() == 0) {
            continue;
        }
        if (QFileInfo(it.filePath() + QStringLiteral("/exe")).symLinkTarget() == wanted) {
            return true;
        }
    }
    return false;
}

void openMessageBox(const MoveAlert& alert, std::function<void(MoveAlertAnswer)> answered) {
    auto* box = new QMessageBox;
    box->setIcon(QMessageBox::Question);
    box->setText(alert.messageText);
    box->setInformativeText(alert.informativeText);
    QPushButton* move = box->addButton(alert.buttons.value(0), QMessageBox::AcceptRole);
    QPushButton* stay = box->addButton(alert.buttons.value(1), QMessageBox::RejectRole);
    box->setDefaultButton(move);
    box->setEscapeButton(stay);
    QCheckBox* suppress = nullptr;
    if (alert.showsSuppressionButton) {
        suppress = new QCheckBox(QObject::tr("Do not show this message again"));
        box->setCheckBox(suppress);
    }
    platform::openDialog(box, [box, move, suppress, answered = std::move(answered)](int) {
        // Closed without a button (the application quitting): declined, and the tick,
        // which only a decline may store, is not taken.
        const QAbstractButton* clicked = box->clickedButton();
        answered({clicked == move ? 0 : 1,
                  clicked != nullptr && suppress != nullptr && suppress->isChecked()});
    });
    box->raise();
    box->activateWindow();
}

void showFailure(const MoveToApplicationsEnvironment& env) {
    const QString text = tr(QStringLiteral("Could not move to %1").arg(kPlace));
    if (env.runFailureAlert) {
        env.runFailureAlert(text);
        return;
    }
    auto* box = new QMessageBox;
    box->setText(text);
    platform::openDialog(box);
}

}  // namespace

QString ShellQuotedString(const QString& string) {
    QString quoted = string;
    quoted.replace(QStringLiteral("'"), QStringLiteral("'\\''"));
    return QStringLiteral("'%1'").arg(quoted);
}

bool Trash(const QString& path) {
    if (QFile::moveToTrash(path)) {
        return true;
    }
    platform::log(QStringLiteral("ERROR -- Could not trash '%1'").arg(path));
    return false;
}

bool isInBuildOrDownloadFolder(const QString& executablePath, const QString& downloadsFolder) {
    return isUnder(executablePath, downloadsFolder) || isInBuildTree(executablePath);
}

bool isInBuildTree(const QString& executablePath) {
    for (QDir dir = QFileInfo(executablePath).absoluteDir();;) {
        if (dir.exists(QStringLiteral("CMakeCache.txt"))) {
            return true;
        }
        if (!dir.cdUp()) {
            return false;
        }
    }
}

namespace {

// What follows the user's answer; false when the process is to end.
bool moveAnswered(const MoveToApplicationsEnvironment& env, const QString& source,
                  const MoveAlertAnswer& answer) {
    if (answer.button != 0) {
        if (answer.suppress) {
            platform::UserDefaults& defaults = platform::UserDefaults::standard();
            defaults.setBool(true, kMoveToApplicationsFolderAlertSuppressKey);
            defaults.synchronize();
        }
        return true;
    }
    platform::ProcessLauncher& launcher = *env.launcher;
    const PlacedCopy copy(env.destinationFolder);

    platform::log(QStringLiteral("INFO -- Moving myself to %1").arg(kPlace));
    // The copy there, or the program itself where earlier versions put it.
    const QString earlier = QFileInfo::exists(copy.executable()) ? copy.executable() : copy.link();
    if (QFileInfo::exists(earlier) && env.isRunningElsewhere(earlier)) {
        platform::log(QStringLiteral("INFO -- Switching to an already running version"));
        launcher.startDetached(earlier, {});
        env.exitProcess(0);
        return false;
    }
    const ProgramFiles files = env.executablePath == QCoreApplication::applicationFilePath()
                                   ? ProgramFiles::running()
                                   : ProgramFiles::beside(source);
    QString error;
    if (!copy.place(files, &error)) {
        platform::log(QStringLiteral("ERROR -- %1").arg(error));
        platform::log(
            QStringLiteral("ERROR -- Could not copy myself to %1").arg(copy.executable()));
        showFailure(env);
        return true;
    }
    // A build tree keeps its program: the build owns it, and the next build would make it
    // again anyway.
    if (!isInBuildTree(source)) {
        QFile old(source);
        if (!old.remove()) {
            platform::log(QStringLiteral("WARNING -- Could not delete '%1': %2")
                              .arg(source, old.errorString()));
            if (!Trash(source)) {
                platform::log(
                    QStringLiteral("WARNING -- Could not delete application after moving it to %1")
                        .arg(kPlace));
            }
        }
    }
    // Nobody reads the copy's output: left on this process's pipes, its first log line after
    // they close would end it (SIGPIPE).
    const QString script = QStringLiteral(
                               "(while /bin/kill -0 %1 >/dev/null 2>&1; do /bin/sleep 0.1; done; "
                               "%2 </dev/null >/dev/null 2>&1) &")
                               .arg(::getpid())
                               .arg(ShellQuotedString(copy.executable()));
    launcher.startDetached(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script});
    env.exitProcess(0);
    return false;
}

}  // namespace

void PFMoveToApplicationsFolderIfNecessary(const MoveToApplicationsEnvironment& given,
                                           std::function<void()> keepRunning) {
    const auto stay = [keepRunning = std::move(keepRunning)] {
        if (keepRunning) {
            keepRunning();
        }
    };
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    if (defaults.boolForKey(kMoveToApplicationsFolderAlertSuppressKey) ||
        qEnvironmentVariableIsSet("TALVOR_NO_MOVE_OFFER")) {
        stay();
        return;
    }
    MoveToApplicationsEnvironment env = given;
    if (!env.runAlert) {
        const QString platformName = QGuiApplication::platformName();
        if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr ||
            platformName == QStringLiteral("offscreen") ||
            platformName == QStringLiteral("minimal")) {
            stay();  // nobody could answer
            return;
        }
        env.runAlert = openMessageBox;
    }
    if (env.executablePath.isEmpty()) {
        env.executablePath = QCoreApplication::applicationFilePath();
    }
    if (env.destinationFolder.isEmpty()) {
        env.destinationFolder = platform::Paths::homeDir() + QStringLiteral("/.local/bin");
    }
    if (env.downloadsFolder.isEmpty()) {
        env.downloadsFolder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    }
    if (!env.isRunningElsewhere) {
        env.isRunningElsewhere = runningElsewhere;
    }
    if (env.launcher == nullptr) {
        env.launcher = &platform::ProcessLauncher::shared();
    }
    if (!env.exitProcess) {
        // Queued: the answer may come before the main loop runs, and a loop that is not
        // running yet cannot be left.
        env.exitProcess = [](int status) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [status] { QCoreApplication::exit(status); },
                Qt::QueuedConnection);
        };
    }

    const QString source = QDir::cleanPath(env.executablePath);
    if (!isInBuildOrDownloadFolder(source, env.downloadsFolder)) {
        stay();
        return;
    }

    MoveAlert alert;
    alert.messageText = tr(QStringLiteral("Move to %1?").arg(kPlace));
    alert.informativeText =
        tr(QStringLiteral("I can move myself to %1 if you'd like.").arg(kPlace));
    if (isUnder(source, env.downloadsFolder)) {
        alert.informativeText +=
            QLatin1Char(' ') +
            tr(QStringLiteral("This will keep your Downloads folder uncluttered."));
    }
    alert.buttons = {tr(QStringLiteral("Move to %1").arg(kPlace)),
                     tr(QStringLiteral("Do Not Move"))};
    alert.showsSuppressionButton = true;
    env.runAlert(alert, [env, source, stay](const MoveAlertAnswer& answer) {
        if (moveAnswered(env, source, answer)) {
            stay();
        }
    });
}

}  // namespace talvor
