#pragma once

#include "platform/SystemServices.h"

#include <QString>

#include <functional>

namespace talvor {

class AppDelegate;

// What a program built on the application's start adds to it.
struct ProgramStart {
    QString version;
    // The seams' real sides, installed before anything asks for one.
    platform::SystemServices services;
    // Called once the delegate has finished launching, before the loop runs: another
    // program's own work in the running application (the test driver's). Empty for the
    // product.
    std::function<void(AppDelegate&)> launched = {};
};

// The application's whole run, from the command line to the quit: --help, --version,
// --placed-files and --uninstall answered without a display, else the single running copy
// started, its loop run and its settings saved at the quit. The process's exit code.
int runTalvor(int argc, char* argv[], ProgramStart start);

}  // namespace talvor
