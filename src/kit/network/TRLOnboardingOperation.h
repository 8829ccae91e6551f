#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "kit/KitError.h"
#include "kit/TRLApplicationIdentiferModel.h"
#include "kit/TRLMultipartMimeStreamEncoder.h"
#include "kit/network/TRLNetworkClient.h"
#include "kit/network/TRLNetworkOperation.h"

// Tells the service about the application: creates its record (POST) or updates it (PUT)
// with a form of its identity, versions, kits, executable slices and icon.
namespace talvor::kit {

class TRLOnboardingOperation;

class TRLOnboardingOperationDelegate {
  public:
    virtual ~TRLOnboardingOperationDelegate() = default;
    // On the network client's delegate queue; no error: the service took the form.
    virtual void onboardingOperationDidCompleteAppCreationWithError(
        TRLOnboardingOperation& operation, const std::optional<KitError>& error) = 0;
    virtual void onboardingOperationDidCompleteAppUpdateWithError(
        TRLOnboardingOperation& operation, const std::optional<KitError>& error) = 0;
};

class TRLOnboardingOperation : public TRLNetworkOperation {
  public:
    static constexpr char kErrorDomain[] = "TRLSDKOnboardingErrorDomain";

    struct Parameters {
        std::weak_ptr<TRLOnboardingOperationDelegate> delegate;
        bool shouldCreate = false;
        std::map<std::string, std::string> kitVersionsByKitBundleIdentifier;
        std::optional<TRLApplicationIdentiferModel> appIdentifierModel;
        std::string appEndpoint;
        std::weak_ptr<TRLNetworkClient> networkClient;
    };
    // None without a key.
    static std::shared_ptr<TRLOnboardingOperation> initWithAPIKey(
        const std::optional<std::string>& APIKey, Parameters parameters);
    TRLOnboardingOperation(std::string APIKey, Parameters parameters);

    void main() override { beginAppConfigure(); }
    void beginAppConfigure();

    // endpoint + "/spi/v1/platforms/mac/apps".
    std::string appCreateURL() const;
    // endpoint + "/spi/v1/platforms/mac/apps/<bundle identifier>".
    std::string appUpdateURL() const;
    // POST to the create URL, or PUT to the update URL; the form is not in it yet.
    URLRequest onboardingRequestForAppCreate(bool create) const;
    // The form's parts, in the order the service reads them.
    void encodeForm(TRLMultipartMimeStreamEncoder& encoder) const;
    static KitError errorForCode(std::int64_t code, std::string description);

    bool shouldCreate() const { return parameters_.shouldCreate; }
    const std::optional<KitError>& error() const { return error_; }
    std::optional<std::string> appBundleIdentifier() const;
    static std::string appPlatform() { return "mac"; }
    static std::optional<std::string> appName();
    static std::optional<std::string> appBuildVersion();
    static std::optional<std::string> appDisplayVersion();
    static std::uint64_t appInstallSource();

    std::string className() const override { return "TRLOnboardingOperation"; }

  private:
    void report(const std::optional<KitError>& error);

    std::optional<KitError> error_;
    Parameters parameters_;
};

}  // namespace talvor::kit
