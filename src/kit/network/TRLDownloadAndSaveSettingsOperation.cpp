#include "kit/network/TRLDownloadAndSaveSettingsOperation.h"

#include <system_error>
#include <utility>

#include "kit/FileBytes.h"
#include "kit/KitKeys.h"
#include "kit/KitLog.h"
#include "kit/PropertyList.h"
#include "kit/TRLApplication.h"
#include "kit/TRLHost.h"
#include "kit/TRLSettings.h"
#include "kit/network/NetworkKeys.h"

namespace talvor::kit {
namespace {

namespace fs = std::filesystem;

KitError settingsError(std::int64_t code, std::string description) {
    return KitError{TRLDownloadAndSaveSettingsOperation::kErrorDomain, code,
                    std::move(description)};
}

}  // namespace

std::shared_ptr<TRLDownloadAndSaveSettingsOperation>
TRLDownloadAndSaveSettingsOperation::initWithAPIKey(const std::optional<std::string>& APIKey,
                                                    Parameters parameters) {
    if (!APIKey) {
        return nullptr;
    }
    return std::make_shared<TRLDownloadAndSaveSettingsOperation>(*APIKey, std::move(parameters));
}

TRLDownloadAndSaveSettingsOperation::TRLDownloadAndSaveSettingsOperation(std::string APIKey,
                                                                         Parameters parameters)
    : TRLNetworkOperation(std::move(APIKey)), parameters_(std::move(parameters)) {
    if (TRLApplicationShouldReportDeviceIdentifiers()) {
        advertisingToken_ = parameters_.advertisingToken;
    } else {
        log(KitLogLevel::Debug, "[Trellis] Suppressing device identifier reporting");
    }
}

fs::path TRLDownloadAndSaveSettingsOperation::validatorsPath(const fs::path& settingsFilePath) {
    fs::path path = settingsFilePath;
    path += ".validators";
    return path;
}

bool TRLDownloadAndSaveSettingsOperation::storedDocumentIsGood() const {
    const auto bytes =
        readRegularFile(parameters_.settingsFilePath, TRLSettings::kMaxDocumentBytes);
    return bytes && TRLSettings::parseDocument(*bytes);
}

URLRequest
TRLDownloadAndSaveSettingsOperation::mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(
    const std::string& URL) const {
    URLRequest request =
        TRLNetworkOperation::mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(URL);
    request.HTTPMethod = "GET";
    // A larger reply is no settings document: it is not even written to disk.
    request.maximumResponseBytes = TRLSettings::kMaxDocumentBytes;
    request.setValue("application/json", "Accept");
    request.setValue(parameters_.installIdentifier, "X-Wreckord-Installation-ID");
    request.setValue(TRLHostModelInfo().value_or(""), "X-Wreckord-Device-Model");
    request.setValue(TRLHostOSBuildVersion().value_or(""), "X-Wreckord-OS-Build-Version");
    request.setValue(TRLHostOSDisplayVersion(), "X-Wreckord-OS-Display-Version");
    request.setValue(keys::TRLCoreKitDisplayVersion, "X-Wreckord-API-Client-Version");
    if (advertisingToken_ && !advertisingToken_->empty()) {
        request.setValue(*advertisingToken_, "X-Wreckord-Advertising-Token");
    }
    // Validators only stand for a document that is there and good: otherwise a "not
    // modified" would leave the kits with nothing.
    if (storedDocumentIsGood()) {
        const auto validators =
            readRegularFile(validatorsPath(parameters_.settingsFilePath), 64 * 1024);
        const auto parsed = validators ? json::parse(*validators) : std::nullopt;
        if (parsed && parsed->object()) {
            const JsonValue* etag = parsed->object()->find("etag");
            const JsonValue* lastModified = parsed->object()->find("last_modified");
            if (etag != nullptr && etag->string() && !etag->string()->empty()) {
                request.setValue(*etag->string(), "If-None-Match");
            }
            if (lastModified != nullptr && lastModified->string() &&
                !lastModified->string()->empty()) {
                request.setValue(*lastModified->string(), "If-Modified-Since");
            }
        }
    }
    return request;
}

void TRLDownloadAndSaveSettingsOperation::main() {
    const auto client = parameters_.networkClient.lock();
    if (!client) {
        report(KitError{keys::TRLNetworkErrorDomain, keys::TRLNetworkErrorNoTask});
        return;
    }
    const URLRequest request =
        mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(parameters_.settingsURL);
    auto self = std::static_pointer_cast<TRLDownloadAndSaveSettingsOperation>(shared_from_this());
    // At most one retry: the next launch asks again anyway.
    client->startDownloadTaskWithRequest(request, 1,
                                         [self](const std::optional<std::string>& location,
                                                const std::optional<HTTPURLResponse>& response,
                                                const std::optional<KitError>& error) {
                                             self->finished(location, response, error);
                                         });
}

void TRLDownloadAndSaveSettingsOperation::finished(const std::optional<std::string>& location,
                                                   const std::optional<HTTPURLResponse>& response,
                                                   const std::optional<KitError>& error) {
    if (error) {
        report(error);
        return;
    }
    if (response && response->statusCode == 304) {
        if (!storedDocumentIsGood()) {
            report(settingsError(NotModifiedWithoutDocument,
                                 "The service answered \"not modified\" but no settings are "
                                 "stored"));
            return;
        }
        report(std::nullopt);
        return;
    }
    const auto bytes =
        location ? readRegularFile(*location, TRLSettings::kMaxDocumentBytes) : std::nullopt;
    if (!bytes || !TRLSettings::parseDocument(*bytes)) {
        report(settingsError(InvalidDocument,
                             "The settings reply is not a JSON object of at most 1 MiB"));
        return;
    }
    report(response ? save(*bytes, *response)
                    : settingsError(SaveFailed, "The settings reply has no response"));
}

std::optional<KitError> TRLDownloadAndSaveSettingsOperation::save(
    const std::string& document, const HTTPURLResponse& response) const {
    std::error_code ec;
    fs::create_directories(parameters_.settingsDirectoryPath, ec);
    // The old validators go first: they must never stand beside a newer document.
    const fs::path validators = validatorsPath(parameters_.settingsFilePath);
    fs::remove(validators, ec);
    std::string reason;
    if (!PropertyList::writeFileAtomically(parameters_.settingsFilePath, document, &reason)) {
        log("[Trellis] Unable to complete settings download " + reason);
        return settingsError(SaveFailed, reason);
    }
    JsonObject stored;
    if (const auto etag = response.valueForHTTPHeaderField("ETag")) {
        stored.set("etag", *etag);
    }
    if (const auto lastModified = response.valueForHTTPHeaderField("Last-Modified")) {
        stored.set("last_modified", *lastModified);
    }
    if (!stored.empty()) {
        if (const auto text = json::serialize(JsonValue(std::move(stored)))) {
            // Without them the next request is a plain one; nothing is lost.
            PropertyList::writeFileAtomically(validators, *text);
        }
    }
    return std::nullopt;
}

void TRLDownloadAndSaveSettingsOperation::report(const std::optional<KitError>& error) {
    error_ = error;
    if (const auto delegate = parameters_.delegate.lock()) {
        delegate->operationDidDownloadAndSaveSettingsWithError(*this, error);
    }
    finishWithError(error);
}

}  // namespace talvor::kit
