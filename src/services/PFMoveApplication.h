#pragma once

#include "platform/ProcessLauncher.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace talvor {

// What the move offer shows, and what the user answered.
struct MoveAlert {
    QString messageText;
    QString informativeText;
    QStringList buttons;  // the first is the default; the second answers Escape
    bool showsSuppressionButton = false;
};
struct MoveAlertAnswer {
    int button = 1;         // index into MoveAlert::buttons
    bool suppress = false;  // the suppression check box was ticked
};

// Where the offer looks and what it uses; empty members take the running program's.
struct MoveToApplicationsEnvironment {
    QString executablePath;     // default: the running executable
    QString destinationFolder;  // default: ~/.local/bin
    QString downloadsFolder;    // default: the desktop's Downloads folder
    // Shows the offer and returns at once; `answered` is called when the user answered.
    // Default: a message box.
    std::function<void(const MoveAlert&, std::function<void(MoveAlertAnswer)> answered)> runAlert;
    // Default: a notice that nothing waits for.
    std::function<void(const QString& messageText)> runFailureAlert;
    std::function<bool(const QString& path)> isRunningElsewhere;  // default: /proc
    platform::ProcessLauncher* launcher = nullptr;
    // Default: the application quits as its Quit command does, with this status.
    std::function<void(int status)> exitProcess;
};

// Once at start-up: when Talvor runs from a build tree or the Downloads folder, offers (in a
// modal alert) to install itself for the user (PlacedCopy: the program with its libraries,
// media module and data in a folder of its own, the command in ~/.local/bin, a menu entry);
// on consent copies it there, removes the old copy (but one in a build tree), starts the new
// one and ends this process with status 0. Does nothing when
// "moveToApplicationsFolderAlertSuppress" is set, when the variable TALVOR_NO_MOVE_OFFER is set, or
// when nobody can answer (offscreen). The offer never waits in a loop of its own: the start-up goes
// on in `keepRunning`, which is called once the application stays where it is (at once when nothing
// is offered), and never when the process is to end.
void PFMoveToApplicationsFolderIfNecessary(const MoveToApplicationsEnvironment& environment = {},
                                           std::function<void()> keepRunning = {});

// Moves the path to the desktop's trash; true on success.
bool Trash(const QString& path);
// The text quoted for /bin/sh: every "'" becomes "'\''" and the whole is wrapped in "'".
QString ShellQuotedString(const QString& string);
// A build tree (a folder above holds CMakeCache.txt) or the Downloads folder.
bool isInBuildOrDownloadFolder(const QString& executablePath, const QString& downloadsFolder);
bool isInBuildTree(const QString& executablePath);

}  // namespace talvor
