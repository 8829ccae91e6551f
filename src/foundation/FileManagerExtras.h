#pragma once

#include "platform/Clock.h"

#include <QString>

#include <optional>

namespace talvor::FileManagerExtras {

// uniqueFileInDirectory:extension: -- "<s><n>.<extension>" in the folder, s the current
// whole seconds since 2001 and n the first counter from 0 to 99 whose name is free. The file
// is created (empty, exclusively) so that no other caller can take the same name; nullopt
// when all 100 are taken or the folder cannot be written (logged).
std::optional<QString> uniqueFileInDirectory(
    const QString& directory, const QString& extension,
    const platform::Clock& clock = platform::Clock::shared());

}  // namespace talvor::FileManagerExtras
