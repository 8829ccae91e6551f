#include "TalvorRunCommand.h"

#include "platform/Log.h"

#include <QByteArray>

#include <cerrno>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace talvor {
namespace {

// Starts the program with its standard output on a pipe (or /dev/null) and standard input
// from /dev/null; waits for it after reading the pipe to its end.
std::optional<QByteArray> run(const QStringList& command, bool captureOutput) {
    if (command.isEmpty() || command.first().isEmpty()) {
        return std::nullopt;
    }
    std::vector<QByteArray> args;
    args.reserve(static_cast<std::size_t>(command.size()));
    for (const QString& a : command) {
        args.push_back(a.toUtf8());
    }
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (QByteArray& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    int fds[2] = {-1, -1};
    if (captureOutput && ::pipe2(fds, O_CLOEXEC) != 0) {
        return std::nullopt;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (captureOutput) {
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (captureOutput) {
        ::close(fds[1]);
    }
    if (spawned != 0) {
        if (captureOutput) {
            ::close(fds[0]);
        }
        return std::nullopt;
    }
    QByteArray output;
    if (captureOutput) {
        // A short read is not the end: only a read of 0 is.
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
            if (n > 0) {
                output.append(buffer, n);
            } else if (n == 0 || errno != EINTR) {
                break;
            }
        }
        ::close(fds[0]);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return output;
}

void reportFailure(const QStringList& command) {
    platform::log(QStringLiteral("Error opening pipe: %1").arg(command.join(u' ')));
    platform::beep();
}

}  // namespace

std::optional<QString> TalvorRunCommand::TalvorUtilGetPipeData(const QStringList& command) {
    const std::optional<QByteArray> output = run(command, true);
    if (!output) {
        reportFailure(command);
        return std::nullopt;
    }
    return QString::fromUtf8(*output);
}

bool TalvorRunCommand::TalvorRunNoOutput(const QStringList& command) {
    if (!run(command, false)) {
        reportFailure(command);
        return false;
    }
    return true;
}

}  // namespace talvor
