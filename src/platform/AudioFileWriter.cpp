#include "AudioFileWriter.h"

#include "Log.h"
#include "SystemServices.h"

#include <cerrno>

namespace talvor::platform {

AudioFileWriter::Format AudioFileWriter::availableFormat() {
    const auto& format = systemServices().audioFileFormat;
    return format ? format() : Format::PcmWav;
}

std::unique_ptr<AudioFileWriter> AudioFileWriter::createNew(const QString& path, double fileRate,
                                                            int fileChannels, int* status) {
    if (const auto& make = systemServices().audioFileWriter) {
        return make(path, fileRate, fileChannels, status);
    }
    log(QStringLiteral("No sound file writer: %1 is not recorded").arg(path));
    *status = ENOSYS;
    return nullptr;
}

}  // namespace talvor::platform
