#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "kit/KitJson.h"

// The record that heads every analytics event file: who sends (application, host, kit) and
// which execution. The crash metadata carries one execution's record into the next, so a
// crash is reported with the session it happened in.
namespace talvor::kit {

class Trellis;

class TLYMetadataSerializable {
  public:
    virtual ~TLYMetadataSerializable() = default;
    virtual std::string eventName() const { return "metadata"; }
    virtual JsonObject dictionaryRepresentationWithStartTime(std::uint64_t startTime) const = 0;
};

class TLYMetadata final : public TLYMetadataSerializable {
  public:
    TLYMetadata() = default;
    // This execution's record from the kit host, the application and the machine.
    static TLYMetadata initWithTrellis(Trellis& trellis, std::optional<std::string> betaToken);
    // "2:<token>" gives <token>; anything else none.
    static std::optional<std::string> unwrapBetaToken(const std::optional<std::string>& token);
    // The user's locale as "en_US" (from LC_ALL, LC_MESSAGES, LANG); "en_US" when unset.
    static std::string currentLocaleIdentifier();

    JsonObject dictionaryRepresentationWithStartTime(std::uint64_t startTime) const override;

    std::optional<std::string> APIKey;
    std::optional<std::string> betaToken;
    std::optional<std::string> buildVersion;
    std::optional<std::string> bundleIdentifier;
    std::optional<std::string> displayVersion;
    std::optional<std::string> executionIdentifier;
    std::optional<std::string> hostModel;
    std::optional<std::string> installationId;
    std::optional<std::string> instanceIdentifier;
    bool isJailbroken = false;
    std::optional<std::string> locale;
    std::uint32_t numberOfCores = 0;
    std::optional<std::string> OSBuildVersion;
    std::optional<std::string> OSDisplayVersion;
    std::string platform = "Mac";
    std::uint64_t platformCode() const { return 0; }
};

class TLYCrashMetadata final : public TLYMetadataSerializable {
  public:
    explicit TLYCrashMetadata(JsonObject raw = {}) : rawMetadataDictionary(std::move(raw)) {}
    // The start time is the previous execution's, inside the stored record.
    JsonObject dictionaryRepresentationWithStartTime(std::uint64_t) const override {
        return rawMetadataDictionary;
    }
    // The file's JSON object; none when it cannot be read or is not an object.
    static std::optional<JsonObject> readSerializedDictionaryFromURL(
        const std::filesystem::path& file);
    static bool writeSerializedDictionary(const JsonObject& dictionary,
                                          const std::filesystem::path& file);

    JsonObject rawMetadataDictionary;
};

}  // namespace talvor::kit
