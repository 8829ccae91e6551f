#include "GstAudioFileWriter.h"

#include "platform/Log.h"

#include <QFile>
#include <QFileInfo>

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <cerrno>
#include <vector>

namespace talvor::platform {
namespace {

constexpr int kNoElements = -1;
constexpr int kNoLink = -2;
constexpr int kNotStarted = -3;
constexpr int kNoFormat = -4;
constexpr int kPushFailed = -5;

bool gstReady() {
    static const bool ok = gst_init_check(nullptr, nullptr, nullptr);
    return ok;
}

// The first AAC encoder installed, by our order of preference.
const char* aacEncoder() {
    if (!gstReady()) {
        return nullptr;
    }
    for (const char* name : {"voaacenc", "avenc_aac", "fdkaacenc", "faac"}) {
        if (GstElementFactory* f = gst_element_factory_find(name)) {
            gst_object_unref(f);
            return name;
        }
    }
    return nullptr;
}

}  // namespace

struct GstAudioFileWriter::Pipeline {
    GstElement* pipeline = nullptr;
    GstElement* source = nullptr;
    bool playing = false;

    ~Pipeline() {
        if (pipeline != nullptr) {
            gst_element_set_state(pipeline, GST_STATE_NULL);
            gst_object_unref(pipeline);
        }
    }
};

GstAudioFileWriter::~GstAudioFileWriter() {
    dispose();
}

GstAudioFileWriter::Format GstAudioFileWriter::supportedFormat() {
    return aacEncoder() != nullptr ? Format::AacM4a : Format::PcmWav;
}

std::unique_ptr<GstAudioFileWriter> GstAudioFileWriter::create(const QString& path, double fileRate,
                                                               int fileChannels, int* status) {
    std::unique_ptr<GstAudioFileWriter> w(new GstAudioFileWriter());
    w->format_ = supportedFormat();
    w->path_ = path;
    if (w->format_ == Format::PcmWav) {
        const QFileInfo info(path);
        w->path_ =
            info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".wav");
        log(QStringLiteral("no AAC encoder installed: recording 16-bit PCM WAV to %1")
                .arg(w->path_));
    }
    w->fileRate_ = fileRate;
    w->fileChannels_ = fileChannels;
    if (!QFileInfo(QFileInfo(w->path_).path()).isDir()) {
        *status = ENOENT;
        return nullptr;
    }
    QFile file(w->path_);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *status = EACCES;
        return nullptr;
    }
    *status = 0;
    return w;
}

int GstAudioFileWriter::setClientFormat(double rate, int channels) {
    if (rate <= 0 || channels <= 0 || channels > 2) {
        return kNoFormat;
    }
    if (!gstReady()) {
        return kNoElements;
    }
    clientRate_ = rate;
    clientChannels_ = channels;
    pipeline_ = std::make_unique<Pipeline>();
    Pipeline& p = *pipeline_;
    p.pipeline = gst_pipeline_new("talvor-audio-file");
    p.source = gst_element_factory_make("appsrc", nullptr);
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* resample = gst_element_factory_make("audioresample", nullptr);
    GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
    const bool aac = format_ == Format::AacM4a;
    GstElement* encoder = gst_element_factory_make(aac ? aacEncoder() : "wavenc", nullptr);
    GstElement* mux = aac ? gst_element_factory_make("mp4mux", nullptr) : nullptr;
    GstElement* sink = gst_element_factory_make("filesink", nullptr);
    if (p.pipeline == nullptr || p.source == nullptr || convert == nullptr || resample == nullptr ||
        filter == nullptr || encoder == nullptr || (aac && mux == nullptr) || sink == nullptr) {
        for (GstElement* e : {p.source, convert, resample, filter, encoder, mux, sink}) {
            if (e != nullptr) {
                gst_object_unref(e);
            }
        }
        p.source = nullptr;
        return kNoElements;
    }
    GstCaps* in = gst_caps_new_simple(
        "audio/x-raw", "format", G_TYPE_STRING, "F32LE", "layout", G_TYPE_STRING, "interleaved",
        "rate", G_TYPE_INT, static_cast<int>(rate), "channels", G_TYPE_INT, channels, nullptr);
    g_object_set(p.source, "caps", in, "format", GST_FORMAT_TIME, "is-live", FALSE, nullptr);
    gst_caps_unref(in);
    GstCaps* out = gst_caps_new_simple(
        "audio/x-raw", "format", G_TYPE_STRING, aac ? "F32LE" : "S16LE", "rate", G_TYPE_INT,
        static_cast<int>(fileRate_), "channels", G_TYPE_INT, fileChannels_, nullptr);
    if (aac) {
        // Let the encoder pick its sample format; only rate and channels are fixed.
        gst_caps_unref(out);
        out = gst_caps_new_simple("audio/x-raw", "rate", G_TYPE_INT, static_cast<int>(fileRate_),
                                  "channels", G_TYPE_INT, fileChannels_, nullptr);
    }
    g_object_set(filter, "caps", out, nullptr);
    gst_caps_unref(out);
    const QByteArray location = QFile::encodeName(path_);
    g_object_set(sink, "location", location.constData(), nullptr);

    gst_bin_add_many(GST_BIN(p.pipeline), p.source, convert, resample, filter, encoder, sink,
                     nullptr);
    bool linked = false;
    if (aac) {
        gst_bin_add(GST_BIN(p.pipeline), mux);
        linked =
            gst_element_link_many(p.source, convert, resample, filter, encoder, mux, sink, nullptr);
    } else {
        linked = gst_element_link_many(p.source, convert, resample, filter, encoder, sink, nullptr);
    }
    return linked ? 0 : kNoLink;
}

int GstAudioFileWriter::writeAsync(const float* samples, qint64 frameCount) {
    if (!pipeline_ || pipeline_->source == nullptr) {
        return kNotStarted;
    }
    Pipeline& p = *pipeline_;
    if (!p.playing) {
        if (gst_element_set_state(p.pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
            return kNotStarted;
        }
        p.playing = true;
    }
    if (frameCount <= 0) {
        return 0;
    }
    const gsize bytes =
        static_cast<gsize>(frameCount) * sizeof(float) * static_cast<gsize>(clientChannels_);
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
    gst_buffer_fill(buffer, 0, samples, bytes);
    GST_BUFFER_PTS(buffer) = gst_util_uint64_scale(static_cast<guint64>(framesWritten_), GST_SECOND,
                                                   static_cast<guint64>(clientRate_));
    GST_BUFFER_DURATION(buffer) = gst_util_uint64_scale(
        static_cast<guint64>(frameCount), GST_SECOND, static_cast<guint64>(clientRate_));
    framesWritten_ += frameCount;
    return gst_app_src_push_buffer(GST_APP_SRC(p.source), buffer) == GST_FLOW_OK ? 0 : kPushFailed;
}

void GstAudioFileWriter::dispose() {
    if (!pipeline_) {
        return;
    }
    Pipeline& p = *pipeline_;
    if (p.playing) {
        // AAC encoders hold back a last partial frame: a little silence lets the end through.
        if (format_ == Format::AacM4a && clientRate_ > 0) {
            const auto padFrames = static_cast<qint64>(clientRate_ * 2048.0 / fileRate_);
            const std::vector<float> silence(static_cast<std::size_t>(padFrames * clientChannels_),
                                             0.0f);
            writeAsync(silence.data(), padFrames);
        }
        gst_app_src_end_of_stream(GST_APP_SRC(p.source));
        // The file is complete once the end of the stream has gone through; bounded wait.
        GstBus* bus = gst_element_get_bus(p.pipeline);
        GstMessage* msg = gst_bus_timed_pop_filtered(
            bus, 10 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        if (msg == nullptr) {
            log(QStringLiteral("sound file %1 not finished in time").arg(path_));
        } else {
            if (GST_MESSAGE_TYPE(msg) == GST_MESSAGE_ERROR) {
                GError* err = nullptr;
                gst_message_parse_error(msg, &err, nullptr);
                log(QStringLiteral("sound file %1: %2")
                        .arg(path_, QString::fromUtf8(err != nullptr ? err->message : "error")));
                g_clear_error(&err);
            }
            gst_message_unref(msg);
        }
        gst_object_unref(bus);
    }
    pipeline_.reset();
}

}  // namespace talvor::platform
