#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace talvor {

// Running helper programs. A command is an argument vector (program first, found on PATH),
// run without a shell, so no text is ever interpreted as shell syntax.
class TalvorRunCommand {
  public:
    // TalvorUtilGetPipeData: -- the program's standard output, read to its end, as UTF-8.
    // A program that cannot be started: logs "Error opening pipe: <command>", beeps, and
    // gives nullopt.
    static std::optional<QString> TalvorUtilGetPipeData(const QStringList& command);
    // TalvorRunNoOutput: -- runs the program to its end, discarding its output; false (with
    // the same log line and beep) when it cannot be started.
    static bool TalvorRunNoOutput(const QStringList& command);
};

}  // namespace talvor
