#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "kit/KitError.h"
#include "kit/network/TRLNetworkClient.h"
#include "kit/network/TRLNetworkOperation.h"

// Fetches the kit settings document and stores it as "settings.json". The request is
// conditional when a good document is stored: the service may answer "not modified" and the
// stored one stays. A reply that is no JSON object never replaces the stored document.
namespace talvor::kit {

class TRLDownloadAndSaveSettingsOperation;

class TRLDownloadAndSaveSettingsOperationDelegate {
  public:
    virtual ~TRLDownloadAndSaveSettingsOperationDelegate() = default;
    // On the network client's delegate queue; no error: the stored document is current.
    virtual void operationDidDownloadAndSaveSettingsWithError(
        TRLDownloadAndSaveSettingsOperation& operation, const std::optional<KitError>& error) = 0;
};

class TRLDownloadAndSaveSettingsOperation : public TRLNetworkOperation {
  public:
    struct Parameters {
        std::weak_ptr<TRLDownloadAndSaveSettingsOperationDelegate> delegate;
        std::string settingsURL;
        std::filesystem::path settingsDirectoryPath;
        std::filesystem::path settingsFilePath;
        std::string installIdentifier;
        std::optional<std::string> advertisingToken;
        std::weak_ptr<TRLNetworkClient> networkClient;
    };
    // None without a key.
    static std::shared_ptr<TRLDownloadAndSaveSettingsOperation> initWithAPIKey(
        const std::optional<std::string>& APIKey, Parameters parameters);
    TRLDownloadAndSaveSettingsOperation(std::string APIKey, Parameters parameters);

    // Errors of this operation's own (the network's carry theirs).
    static constexpr char kErrorDomain[] = "TRLSettingsErrorDomain";
    enum ErrorCode : std::int64_t {
        // The reply is not a JSON object (or too large, or nested too deep).
        InvalidDocument = 1,
        // "Not modified" while no document is stored.
        NotModifiedWithoutDocument = 2,
        // The document could not be written.
        SaveFailed = 3,
    };

    // Beside the document: the validators ("ETag", "Last-Modified") of the reply it came in.
    static std::filesystem::path validatorsPath(const std::filesystem::path& settingsFilePath);

    void main() override;
    // The request with the kit's headers, the device facts and, with a stored document, its
    // validators.
    URLRequest mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(
        const std::string& URL) const;

    const std::optional<KitError>& error() const { return error_; }
    const std::optional<std::string>& advertisingToken() const { return advertisingToken_; }
    std::string className() const override { return "TRLDownloadAndSaveSettingsOperation"; }

  private:
    void finished(const std::optional<std::string>& location,
                  const std::optional<HTTPURLResponse>& response,
                  const std::optional<KitError>& error);
    std::optional<KitError> save(const std::string& document,
                                 const HTTPURLResponse& response) const;
    bool storedDocumentIsGood() const;
    void report(const std::optional<KitError>& error);

    std::optional<KitError> error_;
    Parameters parameters_;
    std::optional<std::string> advertisingToken_;
};

}  // namespace talvor::kit
