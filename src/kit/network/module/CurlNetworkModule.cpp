// The network module: the kit's transfers on libcurl and its certificate checks on OpenSSL,
// linked as usual and loaded by the program at its first request.
#include "kit/network/NetworkModule.h"

#include <curl/curl.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <mutex>

namespace talvor::kit::net {
namespace {

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct X509Free {
    void operator()(X509* certificate) const { X509_free(certificate); }
};
using X509Ptr = std::unique_ptr<X509, X509Free>;

X509Ptr parse(const std::string& der) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(der.data());
    X509Ptr certificate(d2i_X509(nullptr, &bytes, static_cast<long>(der.size())));
    // Trailing bytes mean it was not one certificate.
    if (certificate && bytes != reinterpret_cast<const unsigned char*>(der.data()) + der.size()) {
        return nullptr;
    }
    return certificate;
}

std::string derOf(X509* certificate) {
    unsigned char* bytes = nullptr;
    const int length = i2d_X509(certificate, &bytes);
    if (length <= 0) {
        return {};
    }
    std::string der(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
    OPENSSL_free(bytes);
    return der;
}

std::optional<std::string> hostOfURL(const std::string& url) {
    std::optional<std::string> host;
    if (CURLU* parsed = curl_url(); parsed != nullptr) {
        char* part = nullptr;
        if (curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
            curl_url_get(parsed, CURLUPART_HOST, &part, 0) == CURLUE_OK) {
            host = part;
        }
        curl_free(part);
        curl_url_cleanup(parsed);
    }
    return host;
}

// One easy handle and what its callbacks need.
struct Transfer {
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    TransferSink* sink = nullptr;
    std::string host;
    char errorText[CURL_ERROR_SIZE] = {};

    Transfer() = default;
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;
    ~Transfer() {
        if (easy != nullptr) {
            curl_easy_cleanup(easy);
        }
        curl_slist_free_all(headers);
    }
};

std::size_t onHeader(char* buffer, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    std::string line(buffer, size * count);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
        line.pop_back();
    }
    transfer.sink->headerLine(line);
    return size * count;
}

std::size_t onBody(char* buffer, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t length = size * count;
    return transfer.sink->bodyBytes(buffer, length) ? length : 0;
}

std::size_t onReadBody(char* buffer, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::optional<std::size_t> read = transfer.sink->readBody(buffer, size * count);
    return read ? *read : CURL_READFUNC_ABORT;
}

// Replaces OpenSSL's chain check so that the caller's trust decision decides, as the
// platform's trust challenge does; without one the configured roots decide.
int verifyServer(X509_STORE_CTX* context, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    ServerTrust trust{transfer.host, {}};
    X509* leaf = X509_STORE_CTX_get0_cert(context);
    if (leaf != nullptr) {
        trust.chainDER.push_back(derOf(leaf));
    }
    if (STACK_OF(X509)* chain = X509_STORE_CTX_get0_untrusted(context); chain != nullptr) {
        for (int i = 0; i < sk_X509_num(chain); ++i) {
            X509* certificate = sk_X509_value(chain, i);
            if (leaf == nullptr || X509_cmp(certificate, leaf) != 0) {
                trust.chainDER.push_back(derOf(certificate));
            }
        }
    }
    const std::optional<bool> accepted = transfer.sink->trust(trust);
    if (!accepted) {
        return X509_verify_cert(context);
    }
    if (*accepted) {
        return 1;
    }
    X509_STORE_CTX_set_error(context, X509_V_ERR_CERT_UNTRUSTED);
    return 0;
}

CURLcode onSslContext(CURL*, void* sslContext, void* user) {
    SSL_CTX_set_cert_verify_callback(static_cast<SSL_CTX*>(sslContext), verifyServer, user);
    return CURLE_OK;
}

// Sets `transfer` up for `request`; false when the library cannot make a transfer.
bool configure(Transfer& transfer, const TransferRequest& request, TransferSink& sink) {
    initialiseCurlOnce();
    transfer.sink = &sink;
    transfer.easy = curl_easy_init();
    if (transfer.easy == nullptr) {
        return false;
    }
    CURL* easy = transfer.easy;
    transfer.host = hostOfURL(request.url).value_or(std::string());
    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    const bool hasBody = request.body.has_value() || request.bodyFileSize.has_value();
    if (request.bodyFileSize) {
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_READFUNCTION, onReadBody);
        curl_easy_setopt(easy, CURLOPT_READDATA, &transfer);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(*request.bodyFileSize));
    } else if (request.body) {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.body->size()));
        curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, request.body->c_str());
    }
    if (request.method == "HEAD") {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else if ((hasBody && request.method != "POST") || (!hasBody && request.method != "GET")) {
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }
    for (const std::string& line : request.headerLines) {
        transfer.headers = curl_slist_append(transfer.headers, line.c_str());
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer.headers);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "https,http");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 16L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    // Every connection is judged afresh: a resumed TLS session would skip the check.
    curl_easy_setopt(easy, CURLOPT_SSL_SESSIONID_CACHE, 0L);
    if (request.anchorsPEM) {
        curl_blob blob{const_cast<char*>(request.anchorsPEM->data()), request.anchorsPEM->size(),
                       CURL_BLOB_COPY};
        curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &blob);
        curl_easy_setopt(easy, CURLOPT_CAINFO, nullptr);
        curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
    }
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, onSslContext);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.timeout * 1000.0));
    // Idle for the timeout: fewer than one byte a second over that many seconds.
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME,
                     std::max(1L, std::lround(std::ceil(request.timeout))));
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS,
                     static_cast<long>(std::min(request.resourceTimeout * 1000.0, 2.0e9)));
    // A reply announcing more than the cap is refused at its headers.
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(std::min<std::uint64_t>(
                         request.maximumResponseBytes, std::numeric_limits<curl_off_t>::max())));
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer.errorText);
    return true;
}

TransferEnd endOf(const Transfer& transfer, CURLcode result) {
    TransferEnd end;
    end.resultCode = result;
    if (result != CURLE_OK) {
        end.reason =
            transfer.errorText[0] != '\0' ? transfer.errorText : curl_easy_strerror(result);
        return end;
    }
    curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &end.statusCode);
    char* effective = nullptr;
    curl_easy_getinfo(transfer.easy, CURLINFO_EFFECTIVE_URL, &effective);
    if (effective != nullptr) {
        end.effectiveURL = effective;
    }
    return end;
}

class CurlTransferGroup final : public TransferGroup {
  public:
    CurlTransferGroup() : multi_(curl_multi_init()) {}
    ~CurlTransferGroup() override {
        for (auto& [key, transfer] : running_) {
            curl_multi_remove_handle(multi_, transfer->easy);
        }
        running_.clear();
        curl_multi_cleanup(multi_);
    }
    CurlTransferGroup(const CurlTransferGroup&) = delete;
    CurlTransferGroup& operator=(const CurlTransferGroup&) = delete;

    bool valid() const { return multi_ != nullptr; }

    bool add(std::uint64_t key, const TransferRequest& request, TransferSink& sink) override {
        auto transfer = std::make_unique<Transfer>();
        if (!configure(*transfer, request, sink)) {
            return false;
        }
        curl_multi_add_handle(multi_, transfer->easy);
        running_[key] = std::move(transfer);
        return true;
    }

    void remove(std::uint64_t key) override {
        if (const auto found = running_.find(key); found != running_.end()) {
            curl_multi_remove_handle(multi_, found->second->easy);
            running_.erase(found);
        }
    }

    std::vector<std::pair<std::uint64_t, TransferEnd>> perform() override {
        std::vector<std::pair<std::uint64_t, TransferEnd>> ended;
        int active = 0;
        curl_multi_perform(multi_, &active);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
            if (message->msg != CURLMSG_DONE) {
                continue;
            }
            const auto found = std::find_if(
                running_.begin(), running_.end(),
                [&](const auto& entry) { return entry.second->easy == message->easy_handle; });
            if (found == running_.end()) {
                continue;
            }
            ended.emplace_back(found->first, endOf(*found->second, message->data.result));
            curl_multi_remove_handle(multi_, found->second->easy);
            running_.erase(found);
        }
        return ended;
    }

    void wait(int milliseconds) override {
        curl_multi_poll(multi_, nullptr, 0, milliseconds, nullptr);
    }

    void wakeUp() override { curl_multi_wakeup(multi_); }

  private:
    CURLM* const multi_;
    std::map<std::uint64_t, std::unique_ptr<Transfer>> running_;
};

class CurlNetworkModule final : public NetworkModule {
  public:
    std::unique_ptr<TransferGroup> makeGroup() const override {
        initialiseCurlOnce();
        auto group = std::make_unique<CurlTransferGroup>();
        if (!group->valid()) {
            return nullptr;
        }
        return group;
    }

    std::optional<TransferEnd> performOne(const TransferRequest& request,
                                          TransferSink& sink) const override {
        Transfer transfer;
        if (!configure(transfer, request, sink)) {
            return std::nullopt;
        }
        return endOf(transfer, curl_easy_perform(transfer.easy));
    }

    std::optional<std::string> hostOf(const std::string& url) const override {
        return hostOfURL(url);
    }

    bool isCertificate(const std::string& der) const override { return parse(der) != nullptr; }

    std::vector<std::string> certificatesOfPEM(const std::string& pem) const override {
        std::vector<std::string> certificates;
        std::unique_ptr<BIO, decltype(&BIO_free)> input(
            BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), BIO_free);
        if (!input) {
            return certificates;
        }
        while (X509* certificate = PEM_read_bio_X509(input.get(), nullptr, nullptr, nullptr)) {
            std::string der = derOf(certificate);
            X509_free(certificate);
            if (!der.empty()) {
                certificates.push_back(std::move(der));
            }
        }
        // The end of the text is queued as an error; it must not be taken for a later one's.
        ERR_clear_error();
        return certificates;
    }

    ChainCheck checkChain(const ServerTrust& trust,
                          const std::vector<std::string>& anchorsDER) const override {
        std::unique_ptr<X509_STORE, decltype(&X509_STORE_free)> anchors(X509_STORE_new(),
                                                                        X509_STORE_free);
        if (!anchors) {
            return ChainCheck::Failed;
        }
        for (const std::string& anchor : anchorsDER) {
            X509Ptr root = parse(anchor);
            if (!root || X509_STORE_add_cert(anchors.get(), root.get()) != 1) {
                return ChainCheck::Failed;
            }
        }
        if (trust.chainDER.empty()) {
            return ChainCheck::Untrusted;
        }
        X509Ptr leaf = parse(trust.chainDER.front());
        std::unique_ptr<STACK_OF(X509), void (*)(STACK_OF(X509)*)> chain(
            sk_X509_new_null(), [](STACK_OF(X509) * stack) { sk_X509_pop_free(stack, X509_free); });
        if (!leaf || !chain) {
            return ChainCheck::Untrusted;
        }
        for (std::size_t i = 1; i < trust.chainDER.size(); ++i) {
            if (X509Ptr intermediate = parse(trust.chainDER[i])) {
                sk_X509_push(chain.get(), intermediate.release());
            }
        }
        std::unique_ptr<X509_STORE_CTX, decltype(&X509_STORE_CTX_free)> context(
            X509_STORE_CTX_new(), X509_STORE_CTX_free);
        if (!context ||
            X509_STORE_CTX_init(context.get(), anchors.get(), leaf.get(), chain.get()) != 1) {
            return ChainCheck::Failed;
        }
        if (!trust.host.empty()) {
            X509_VERIFY_PARAM* parameters = X509_STORE_CTX_get0_param(context.get());
            if (X509_VERIFY_PARAM_set1_ip_asc(parameters, trust.host.c_str()) != 1) {
                X509_VERIFY_PARAM_set1_host(parameters, trust.host.c_str(), trust.host.size());
            }
        }
        return X509_verify_cert(context.get()) == 1 ? ChainCheck::Trusted : ChainCheck::Untrusted;
    }
};

}  // namespace
}  // namespace talvor::kit::net

extern "C" __attribute__((visibility("default"))) const talvor::kit::net::NetworkModule*
talvor_network_module() {
    // Never destroyed: transfers may still be ending while the process exits.
    static const auto* const module = new talvor::kit::net::CurlNetworkModule();
    return module;
}
