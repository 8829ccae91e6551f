#pragma once

#include <cstdint>

// Names and constants of the kit host.
namespace talvor::keys {

// The core kit's identity, reported with the other kits' versions.
inline constexpr char TRLCoreKitBundleIdentifier[] = "io.trellis.sdk.mac";
inline constexpr char TRLCoreKitDisplayVersion[] = "1.7.2";
inline constexpr char TRLCoreKitBuildVersion[] = "66";
// The name of the exceptions the host raises for a wrong kit list or configuration.
inline constexpr char TRLExceptionName[] = "TRLException";
// The install identifier in the kit's own store.
inline constexpr char TRLInstallIDKey[] = "com.wreckord.iuuid";
// Posted by a host analytics library when it is ready for the crash kit.
inline constexpr char NMBAppReadyToConfigureSDKNotification[] =
    "NMBAppReadyToConfigureSDKNotification";
// Configuration keys (environment, then Info.plist "Wreckord") naming the service's base URLs.
inline constexpr char TRLSettingsEndpointKey[] = "SettingsEndpoint";
inline constexpr char TRLConfigureEndpointKey[] = "ConfigureEndpoint";
// Posted once a fresh settings document is stored (no object, no user information).
inline constexpr char TRLSettingsAvailableNotification[] = "TRLSettingsAvailableNotification";
// The application's defaults: NO (or 0) when the user has switched sharing data with the
// service off. Absent: sharing is allowed.
inline constexpr char TalvorShareDataWithServiceKey[] = "ShareDataWithService";
// Info.plist: whether the crash kit starts in the host-analytics mode.
inline constexpr char NimbusWreckordCollectionEnabled[] = "nimbus_wreckord_collection_enabled";

}  // namespace talvor::keys

namespace talvor::keys {

// Errors of a compound operation.
inline constexpr char TRLCompoundOperationErrorDomain[] = "com.quillon.TRLCompoundOperation.error";
inline constexpr std::int64_t TRLCompoundOperationErrorCodeCancelled = 0xFFFFFFFE;
inline constexpr std::int64_t TRLCompoundOperationErrorCodeFailed = 0xFFFFFFFD;
// The user-information key of a failed compound's member errors.
inline constexpr char TRLCompoundOperationErrorUserInfoKeyUnderlyingErrors[] =
    "com.quillon.TRLCompoundOperation.error.user-info-key.underlying-errors";
inline constexpr char TRLCompoundOperationCountingQueueLabel[] =
    "com.quillon.TRLCompoundOperation.dispatch-queue.counting-queue";

}  // namespace talvor::keys
