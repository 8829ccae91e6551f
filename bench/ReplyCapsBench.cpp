// Peak memory of each capped reply: every reader of a server's reply (the kit's data,
// upload and download tasks, the crash report's upload sent in the background and urgently,
// the IP-echo fetch's capped reading) against a loopback HTTPS server that answers without
// end in chunks, or announces a gigabyte, serving until the client hangs up. The peak is
// reset before each run where the kernel allows it (/proc/self/clear_refs), else run one
// benchmark per process (--benchmark_filter); the server lives in the same process and its
// buffers count too.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslConfiguration>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>

#include "LoopbackTlsServer.h"
#include "PeakMemory.h"
#include "calendar/CappedFetch.h"
#include "crash/WRKNetworkClient.h"
#include "kit/network/WRKURLSession.h"
#include "support/FloodServer.h"

namespace {

namespace fs = std::filesystem;
using talvor::bench::resetPeakRss;
using talvor::bench::statusMiB;
using talvor::kit::URLRequest;
using talvor::kit::WRKURLSession;
using talvor::kit::WRKURLSessionConfiguration;
using talvor::kit::test::LoopbackTlsServer;
using talvor::kit::test::RecordedRequest;
using talvor::kit::test::ScriptedResponse;
using talvor::kit::test::TestPki;

// The reply of argument 0: endless chunks, or a gigabyte announced.
ScriptedResponse reply(const benchmark::State& state) {
    if (state.range(0) == 0) {
        return talvor::kit::test::endless();
    }
    ScriptedResponse announced = talvor::kit::test::streamed(std::uint64_t{1} << 30);
    announced.contentType = "application/json";
    return announced;
}

// A small file to send, removed at the end.
class BodyFile {
  public:
    BodyFile() { std::ofstream(path, std::ios::binary) << "{\"events\":[]}"; }
    ~BodyFile() { fs::remove(path); }
    const fs::path path = fs::temp_directory_path() /
                          ("talvor-reply-caps-bench-" + std::to_string(::getpid()) + ".json");
};

// Runs `fetch` (which ends once its reply is done with) once on a small reply, so that
// the libraries and TLS are set up, then on the benchmark's reply at `url`; reports the
// peak over the resident size before it, and what the server wrote meanwhile.
template <typename Fetch>
void measureOn(benchmark::State& state, const std::string& warmUpUrl, const std::string& url,
               const std::function<std::uint64_t()>& written, Fetch fetch) {
    fetch(warmUpUrl);
    resetPeakRss();
    const double start = statusMiB("VmRSS:");
    const std::uint64_t before = written();
    for (auto _ : state) {
        fetch(url);
    }
    state.counters["peak_over_start_MiB"] = statusMiB("VmHWM:") - start;
    state.counters["server_wrote_MiB"] =
        static_cast<double>(written() - before) / (1024.0 * 1024.0);
}

// The same against a loopback HTTPS server.
template <typename Fetch>
void measure(benchmark::State& state, Fetch fetch) {
    LoopbackTlsServer server(TestPki::shared().leafA);
    const ScriptedResponse answer = reply(state);
    server.setScript([answer](const RecordedRequest& request) {
        return request.path == "/warm-up" ? talvor::kit::test::withBody("{}", "application/json")
                                          : answer;
    });
    measureOn(
        state, server.url("/warm-up"), server.url("/reply"),
        [&server] { return server.streamedBytesSent(); }, fetch);
}

WRKURLSessionConfiguration kitConfiguration() {
    auto configuration = WRKURLSessionConfiguration::defaultSessionConfiguration();
    configuration.defaultAnchorsPEM = TestPki::shared().rootAPEM;
    return configuration;
}

URLRequest requestFor(const std::string& url, const char* method) {
    URLRequest request;
    request.URL = url;
    request.HTTPMethod = method;
    request.timeoutInterval = 10.0;
    return request;
}

// The kit's three kinds of task (the onboarding's data task, the events' upload, the
// settings' download), without a cap of their own: the session's.
void BM_KitTask(benchmark::State& state) {
    const BodyFile body;
    const auto session = WRKURLSession::sessionWithConfiguration(kitConfiguration());
    measure(state, [&](const std::string& url) {
        std::promise<void> done;
        const auto finished = [&done](const auto&, const auto&, const auto&) { done.set_value(); };
        switch (state.range(1)) {
            case 0:
                session->dataTaskWithRequest(requestFor(url, "GET"), finished)->resume();
                break;
            case 1:
                session->uploadTaskWithRequest(requestFor(url, "POST"), body.path, finished)
                    ->resume();
                break;
            default:
                session->downloadTaskWithRequest(requestFor(url, "GET"), finished)->resume();
        }
        done.get_future().wait();
    });
}
BENCHMARK(BM_KitTask)
    ->ArgNames({"gigabyte", "task"})
    ->ArgsProduct({{0, 1}, {0, 1, 2}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// The crash report's upload through the crash kit's client: in the background (argument 1
// is 0) or urgent, one blocking request.
class Finished final : public talvor::crash::WRKNetworkClientDelegate {
  public:
    bool networkClientCanUseBackgroundSessions() override { return false; }
    void networkClientDidFinishUpload(const fs::path&,
                                      const std::optional<talvor::kit::KitError>&) override {
        done.set_value();
    }
    std::promise<void> done;
};

void BM_CrashReportUpload(benchmark::State& state) {
    const fs::path root =
        fs::temp_directory_path() / ("talvor-reply-caps-bench-crash-" + std::to_string(::getpid()));
    talvor::crash::WRKFileManager files(root, "com.larkspindle.TalvorPro");
    files.prepareForNewLaunch();
    const fs::path report = files.preparedPath() / "bench.multipartmime";
    std::ofstream(report, std::ios::binary) << "--bench--\r\n";
    auto queue = std::make_shared<talvor::kit::OperationQueue>("reply-caps-bench");
    queue->setMaxConcurrentOperationCount(1);
    const bool urgent = state.range(1) == 1;
    measure(state, [&](const std::string& url) {
        Finished delegate;
        talvor::crash::WRKNetworkClientSeams seams;
        seams.debug = [] { return false; };
        seams.anchorsPEM = TestPki::shared().rootAPEM;
        talvor::crash::WRKNetworkClient client(queue, files, &delegate, seams);
        URLRequest request = requestFor(url, "POST");
        request.setValue("application/json", "Accept");
        client.startUploadRequest(request, report, urgent);
        if (!urgent) {
            // Only a success is told of an urgent upload; any other end is told here.
            delegate.done.get_future().wait();
        }
        queue->waitUntilAllOperationsAreFinished();
    });
    fs::remove_all(root);
}
BENCHMARK(BM_CrashReportUpload)
    ->ArgNames({"gigabyte", "urgent"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// The IP-echo fetch's reading: a POST read through ReplyCap to 64 KiB, as the fetch does,
// asking for an uncompressed reply. Argument 1: 0, an https page (the test server); 1, the
// same letting the page compress, as Qt asks by default (the test server compresses what
// it can); 2, an http page on a raw socket that sends as fast as the machine allows.
void BM_IpEchoReply(benchmark::State& state) {
    QNetworkAccessManager network;
    const auto fetchOnce = [&](const std::string& url) {
        QNetworkRequest request(QUrl(QString::fromStdString(url)));
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates(QSslCertificate::fromData(
            QByteArray::fromStdString(TestPki::shared().rootAPEM), QSsl::Pem));
        request.setSslConfiguration(tls);
        request.setTransferTimeout(10000);
        request.setHeader(QNetworkRequest::ContentTypeHeader,
                          QStringLiteral("application/x-www-form-urlencoded"));
        if (state.range(1) != 1) {
            request.setRawHeader("Accept-Encoding", "identity");
        }
        QNetworkReply* fetch = network.post(request, QByteArray());
        talvor::ReplyCap body(*fetch, 64 * 1024);
        QEventLoop loop;
        QObject::connect(fetch, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        benchmark::DoNotOptimize(body.take(*fetch));
        fetch->deleteLater();
    };
    if (state.range(1) != 2) {
        measure(state, fetchOnce);
        return;
    }
    const std::string type = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n";
    talvor::test::FloodServer warmUp(type + "Content-Length: 2\r\n\r\n", false, false, 2);
    talvor::test::FloodServer flood(
        type + (state.range(0) == 0 ? "Transfer-Encoding: chunked\r\n\r\n"
                                    : "Content-Length: 1073741824\r\n\r\n"),
        state.range(0) == 0);
    measureOn(
        state, warmUp.url("/ExIP.php"), flood.url("/ExIP.php"),
        [&flood] { return static_cast<std::uint64_t>(flood.bodyBytesSentWhenDone()); }, fetchOnce);
}
BENCHMARK(BM_IpEchoReply)
    ->ArgNames({"gigabyte", "page"})
    ->ArgsProduct({{0, 1}, {0, 1, 2}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY"}) {
        ::unsetenv(name);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
