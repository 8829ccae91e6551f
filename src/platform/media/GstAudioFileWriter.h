#pragma once

#include "platform/AudioFileWriter.h"

#include <QString>

#include <memory>

namespace talvor::platform {

// The sound file writer on GStreamer: an application source, a resampler and the encoder
// and muxer of the format, on the pipeline's own streaming thread.
class GstAudioFileWriter final : public AudioFileWriter {
  public:
    ~GstAudioFileWriter() override;

    // AAC when an encoder plugin is installed, else WAV.
    static Format supportedFormat();
    // As AudioFileWriter::createNew.
    static std::unique_ptr<GstAudioFileWriter> create(const QString& path, double fileRate,
                                                      int fileChannels, int* status);

    Format format() const override { return format_; }
    const QString& path() const override { return path_; }
    int setClientFormat(double rate, int channels) override;
    int writeAsync(const float* samples, qint64 frameCount) override;
    void dispose() override;

  private:
    GstAudioFileWriter() = default;
    struct Pipeline;

    Format format_ = Format::AacM4a;
    QString path_;
    double fileRate_ = 0;
    int fileChannels_ = 0;
    double clientRate_ = 0;
    int clientChannels_ = 0;
    qint64 framesWritten_ = 0;
    std::unique_ptr<Pipeline> pipeline_;
};

}  // namespace talvor::platform
