#pragma once

#include <cstdint>

// Names and constants of the kit's network layer.
namespace talvor::keys {

// Transport failures carry the platform's URL-error domain and numbering, which the retry
// rules are written in.
inline constexpr char NSURLErrorDomain[] = "NSURLErrorDomain";
inline constexpr char NSURLErrorFailingURLStringErrorKey[] = "NSErrorFailingURLStringKey";
inline constexpr std::int64_t NSURLErrorCancelled = -999;
inline constexpr std::int64_t NSURLErrorBadURL = -1000;
inline constexpr std::int64_t NSURLErrorTimedOut = -1001;
inline constexpr std::int64_t NSURLErrorUnsupportedURL = -1002;
inline constexpr std::int64_t NSURLErrorCannotFindHost = -1003;
inline constexpr std::int64_t NSURLErrorCannotConnectToHost = -1004;
inline constexpr std::int64_t NSURLErrorNetworkConnectionLost = -1005;
inline constexpr std::int64_t NSURLErrorHTTPTooManyRedirects = -1007;
inline constexpr std::int64_t NSURLErrorDataLengthExceedsMaximum = -1103;
inline constexpr std::int64_t NSURLErrorUnknown = -1;
inline constexpr std::int64_t NSURLErrorSecureConnectionFailed = -1200;
inline constexpr std::int64_t NSURLErrorServerCertificateUntrusted = -1202;
inline constexpr std::int64_t NSURLErrorCannotWriteToFile = -3003;

// A download whose file could not be written.
inline constexpr char WRKURLSessionDownloadTaskError[] = "WRKURLSessionDownloadTaskError";

// Sent with every request of a network operation.
inline constexpr char TRLDeveloperToken[] = "3c9e0b7a51d24f86e0a9c3b7d15f28e4a6b0c9d2";

// Failures the network client reports.
inline constexpr char TRLNetworkErrorDomain[] = "TRLNetworkError";
inline constexpr std::int64_t TRLNetworkErrorRetry = -1;
inline constexpr std::int64_t TRLNetworkErrorNoTask = -3;
inline constexpr std::int64_t TRLNetworkErrorFailed = -4;
inline constexpr std::int64_t TRLNetworkErrorClient = -5;
inline constexpr std::int64_t TRLNetworkErrorRetryLimit = -6;

}  // namespace talvor::keys
