#include "platform/linux/LinuxSystemServices.h"
#include "shell/ProgramStart.h"

int main(int argc, char* argv[]) {
    return talvor::runTalvor(argc, argv,
                             {.version = QStringLiteral(TALVOR_VERSION),
                              .services = talvor::platform::linuxSystemServices()});
}
