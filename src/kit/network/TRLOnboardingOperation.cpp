#include "kit/network/TRLOnboardingOperation.h"

#include <cmath>
#include <utility>

#include "kit/KitKeys.h"
#include "kit/KitLog.h"
#include "kit/OutputStream.h"
#include "kit/TRLApplication.h"
#include "kit/network/NetworkKeys.h"
#include "kit/network/TRLURLBuilder.h"

namespace talvor::kit {
namespace {

// A whole number of points, as the service takes it.
std::string wholePoints(double points) {
    if (!(points >= 0) || points >= 1e18) {
        return "0";
    }
    return std::to_string(static_cast<unsigned long>(std::trunc(points)));
}

}  // namespace

std::shared_ptr<TRLOnboardingOperation> TRLOnboardingOperation::initWithAPIKey(
    const std::optional<std::string>& APIKey, Parameters parameters) {
    if (!APIKey) {
        return nullptr;
    }
    return std::make_shared<TRLOnboardingOperation>(*APIKey, std::move(parameters));
}

TRLOnboardingOperation::TRLOnboardingOperation(std::string APIKey, Parameters parameters)
    : TRLNetworkOperation(std::move(APIKey)), parameters_(std::move(parameters)) {}

std::optional<std::string> TRLOnboardingOperation::appBundleIdentifier() const {
    return TRLApplicationGetBundleIdentifier();
}

std::optional<std::string> TRLOnboardingOperation::appName() {
    return TRLApplicationGetName();
}

std::optional<std::string> TRLOnboardingOperation::appBuildVersion() {
    return TRLApplicationGetBundleVersion();
}

std::optional<std::string> TRLOnboardingOperation::appDisplayVersion() {
    return TRLApplicationGetShortBundleVersion();
}

std::uint64_t TRLOnboardingOperation::appInstallSource() {
    return TRLApplicationInstallationSource();
}

std::string TRLOnboardingOperation::appCreateURL() const {
    TRLURLBuilder builder = TRLURLBuilder::URLWithBase(parameters_.appEndpoint);
    builder.appendComponent("/spi/v1/platforms/");
    builder.escapeAndAppendComponent(appPlatform());
    builder.appendComponent("/apps");
    return builder.URLString();
}

std::string TRLOnboardingOperation::appUpdateURL() const {
    TRLURLBuilder builder = TRLURLBuilder::URLWithBase(parameters_.appEndpoint);
    builder.appendComponent("/spi/v1/platforms/");
    builder.escapeAndAppendComponent(appPlatform());
    builder.appendComponent("/apps/");
    builder.escapeAndAppendComponent(appBundleIdentifier().value_or(""));
    return builder.URLString();
}

URLRequest TRLOnboardingOperation::onboardingRequestForAppCreate(bool create) const {
    URLRequest request =
        mutableRequestWithDefaultHTTPHeadersForURL(create ? appCreateURL() : appUpdateURL(), 10.0);
    request.HTTPMethod = create ? "POST" : "PUT";
    return request;
}

KitError TRLOnboardingOperation::errorForCode(std::int64_t code, std::string description) {
    return KitError{kErrorDomain, code, std::move(description)};
}

void TRLOnboardingOperation::encodeForm(TRLMultipartMimeStreamEncoder& encoder) const {
    const auto& model = parameters_.appIdentifierModel;
    encoder.addValue(appBundleIdentifier(), "app[identifier]");
    encoder.addValue(model ? std::optional<std::string>(model->instanceIdentifier()) : std::nullopt,
                     "app[instance_identifier]");
    encoder.addValue(appName(), "app[name]");
    encoder.addValue(appBuildVersion(), "app[build_version]");
    encoder.addValue(appDisplayVersion(), "app[display_version]");
    encoder.addValue(appInstallSource(), "app[source]");
    encoder.addValue(model ? std::optional<std::string>(model->minimumSDKString()) : std::nullopt,
                     "app[minimum_sdk_version]");
    encoder.addValue(model ? std::optional<std::string>(model->builtSDKString()) : std::nullopt,
                     "app[built_sdk_version]");
    for (const auto& [identifier, version] : parameters_.kitVersionsByKitBundleIdentifier) {
        encoder.addValue(version, "app[build][libraries][" + identifier + "]");
    }
    if (model) {
        for (const auto& [architecture, uuid] : model->architectureUUIDMap()) {
            encoder.addValue(architecture, "app[slices][][arch]");
            encoder.addValue(uuid, "app[slices][][uuid]");
        }
    }
    const std::optional<TRLIcon>& icon = model ? model->icon() : std::nullopt;
    if (icon && !icon->data().empty() && !icon->dataHash().empty()) {
        encoder.addValue(icon->dataHash(), "app[icon][hash]");
        encoder.addValue(icon->prerendered() ? "true" : "false", "app[icon][prerendered]");
        encoder.addValue(wholePoints(icon->size().width), "app[icon][width]");
        encoder.addValue(wholePoints(icon->size().height), "app[icon][height]");
        encoder.addFileData(icon->data(), "icon.png", std::string("image/png"), "app[icon][data]");
    }
}

void TRLOnboardingOperation::beginAppConfigure() {
    const auto client = parameters_.networkClient.lock();
    if (!client) {
        report(KitError{keys::TRLNetworkErrorDomain, keys::TRLNetworkErrorNoTask});
        return;
    }
    auto stream = std::make_shared<MemoryOutputStream>();
    auto encoder = TRLMultipartMimeStreamEncoder::encoderWithStream(
        stream, TRLMultipartMimeStreamEncoder::generateBoundary());
    // A body cut short is never sent; the settings flow must still hear of it.
    if (!encoder || !encoder->encode([this](TRLMultipartMimeStreamEncoder& e) { encodeForm(e); })) {
        log("[Trellis] configure failed during onboarding");
        report(errorForCode(0, "Multipart mime encoder was nil"));
        return;
    }
    URLRequest request = onboardingRequestForAppCreate(parameters_.shouldCreate);
    request.setValue(encoder->contentTypeHTTPHeaderValue(), "Content-Type");
    request.setValue(encoder->contentLengthHTTPHeaderValue(), "Content-Length");
    request.HTTPBody = stream->data();
    auto self = std::static_pointer_cast<TRLOnboardingOperation>(shared_from_this());
    client->startDataTaskWithRequest(
        request, parameters_.shouldCreate ? 10 : 1,
        [self](const std::string&, const std::optional<HTTPURLResponse>&,
               const std::optional<KitError>& error) { self->report(error); });
}

void TRLOnboardingOperation::report(const std::optional<KitError>& error) {
    error_ = error;
    if (const auto delegate = parameters_.delegate.lock()) {
        if (parameters_.shouldCreate) {
            delegate->onboardingOperationDidCompleteAppCreationWithError(*this, error);
        } else {
            delegate->onboardingOperationDidCompleteAppUpdateWithError(*this, error);
        }
    }
    finishWithError(error);
}

}  // namespace talvor::kit
