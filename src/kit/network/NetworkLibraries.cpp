// libcurl and OpenSSL, loaded at their first use.
//
// The kit talks HTTPS only when an endpoint is configured, yet linking these two libraries
// made every start of the program map and relocate them and the twenty libraries they
// bring (LDAP, Kerberos, GnuTLS, SSH, ...) before the strip could be drawn. The kit's code
// calls them as usual; the entry points it uses are defined here and forward to the
// libraries, which are opened the first time one of them is called. Without the libraries
// each call fails the way the library reports a failure, and the kit's requests end with
// an error.
#define CURL_DISABLE_TYPECHECK  // the entry points below are defined, not called
#include "kit/KitLog.h"

#include <curl/curl.h>
#include <dlfcn.h>
#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/opensslv.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/stack.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <cstdarg>
#include <mutex>
#include <string>

static_assert(OPENSSL_VERSION_MAJOR == 3, "the names below are OpenSSL 3's");

namespace {

enum class Library { Curl, Ssl, Crypto };

void* openLibrary(Library which) {
    // libcurl.so.4 is libcurl 7 and 8 alike; OpenSSL 3 keeps its sonames for the series.
    static void* handles[3] = {};
    static std::once_flag once[3];
    const auto i = static_cast<int>(which);
    std::call_once(once[i], [which, i] {
        const char* const name = which == Library::Curl  ? "libcurl.so.4"
                                 : which == Library::Ssl ? "libssl.so.3"
                                                         : "libcrypto.so.3";
        handles[i] = dlopen(name, RTLD_NOW | RTLD_LOCAL);
        if (handles[i] == nullptr) {
            const char* why = dlerror();
            talvor::kit::log(talvor::kit::KitLogLevel::Error,
                             std::string(name) + " could not be loaded (" +
                                 (why != nullptr ? why : "no reason given") +
                                 "): the kit's network is off");
        }
    });
    return handles[i];
}

// The library's own entry point of that name and type; null without the library.
template <class Function>
Function* entry(Library which, const char* name) {
    void* handle = openLibrary(which);
    return handle != nullptr ? reinterpret_cast<Function*>(dlsym(handle, name)) : nullptr;
}

#define TALVOR_ENTRY(library, name) \
    static auto* const real = entry<decltype(::name)>(Library::library, #name)

}  // namespace

extern "C" {

// ---- libcurl ----

CURLcode curl_global_init(long flags) {
    TALVOR_ENTRY(Curl, curl_global_init);
    return real != nullptr ? real(flags) : CURLE_FAILED_INIT;
}

CURL* curl_easy_init() {
    TALVOR_ENTRY(Curl, curl_easy_init);
    return real != nullptr ? real() : nullptr;
}

void curl_easy_cleanup(CURL* curl) {
    TALVOR_ENTRY(Curl, curl_easy_cleanup);
    if (real != nullptr) {
        real(curl);
    }
}

// libcurl's own signatures end their named parameters with an enum before the "...", as
// libcurl's own definitions do; the enums are int-sized, so va_start finds the arguments.
#if defined(__clang__)
#pragma clang diagnostic ignored "-Wvarargs"
#endif

// Every option takes one argument: a long below 10000, an object or function pointer below
// 30000, a curl_off_t from there on (curl.h's CURLOPTTYPE_ ranges).
CURLcode curl_easy_setopt(CURL* curl, CURLoption option, ...) {
    TALVOR_ENTRY(Curl, curl_easy_setopt);
    if (real == nullptr) {
        return CURLE_FAILED_INIT;
    }
    va_list arguments;
    va_start(arguments, option);
    CURLcode result = CURLE_OK;
    // long and curl_off_t are one type on LP64 systems, not on every system.
    if (option < CURLOPTTYPE_OBJECTPOINT) {  // NOLINT(bugprone-branch-clone)
        result = real(curl, option, va_arg(arguments, long));
    } else if (option < CURLOPTTYPE_OFF_T) {
        result = real(curl, option, va_arg(arguments, void*));
    } else {
        result = real(curl, option, va_arg(arguments, curl_off_t));
    }
    va_end(arguments);
    return result;
}

// Every query takes one pointer to where the answer goes.
CURLcode curl_easy_getinfo(CURL* curl, CURLINFO info, ...) {
    TALVOR_ENTRY(Curl, curl_easy_getinfo);
    if (real == nullptr) {
        return CURLE_FAILED_INIT;
    }
    va_list arguments;
    va_start(arguments, info);
    void* answer = va_arg(arguments, void*);
    va_end(arguments);
    return real(curl, info, answer);
}

CURLcode curl_easy_perform(CURL* curl) {
    TALVOR_ENTRY(Curl, curl_easy_perform);
    return real != nullptr ? real(curl) : CURLE_FAILED_INIT;
}

const char* curl_easy_strerror(CURLcode code) {
    TALVOR_ENTRY(Curl, curl_easy_strerror);
    return real != nullptr ? real(code) : "libcurl is not available";
}

void curl_free(void* p) {
    TALVOR_ENTRY(Curl, curl_free);
    if (real != nullptr) {
        real(p);
    }
}

CURLM* curl_multi_init() {
    TALVOR_ENTRY(Curl, curl_multi_init);
    return real != nullptr ? real() : nullptr;
}

CURLMcode curl_multi_add_handle(CURLM* multi, CURL* curl) {
    TALVOR_ENTRY(Curl, curl_multi_add_handle);
    return real != nullptr ? real(multi, curl) : CURLM_BAD_HANDLE;
}

CURLMcode curl_multi_remove_handle(CURLM* multi, CURL* curl) {
    TALVOR_ENTRY(Curl, curl_multi_remove_handle);
    return real != nullptr ? real(multi, curl) : CURLM_BAD_HANDLE;
}

CURLMcode curl_multi_cleanup(CURLM* multi) {
    TALVOR_ENTRY(Curl, curl_multi_cleanup);
    return real != nullptr ? real(multi) : CURLM_BAD_HANDLE;
}

CURLMsg* curl_multi_info_read(CURLM* multi, int* left) {
    TALVOR_ENTRY(Curl, curl_multi_info_read);
    if (real == nullptr) {
        *left = 0;
        return nullptr;
    }
    return real(multi, left);
}

CURLMcode curl_multi_perform(CURLM* multi, int* running) {
    TALVOR_ENTRY(Curl, curl_multi_perform);
    if (real == nullptr) {
        *running = 0;
        return CURLM_BAD_HANDLE;
    }
    return real(multi, running);
}

CURLMcode curl_multi_poll(CURLM* multi, curl_waitfd extra[], unsigned int count, int timeoutMs,
                          int* ready) {
    TALVOR_ENTRY(Curl, curl_multi_poll);
    return real != nullptr ? real(multi, extra, count, timeoutMs, ready) : CURLM_BAD_HANDLE;
}

CURLMcode curl_multi_wakeup(CURLM* multi) {
    TALVOR_ENTRY(Curl, curl_multi_wakeup);
    return real != nullptr ? real(multi) : CURLM_BAD_HANDLE;
}

curl_slist* curl_slist_append(curl_slist* list, const char* text) {
    TALVOR_ENTRY(Curl, curl_slist_append);
    return real != nullptr ? real(list, text) : nullptr;
}

void curl_slist_free_all(curl_slist* list) {
    TALVOR_ENTRY(Curl, curl_slist_free_all);
    if (real != nullptr) {
        real(list);
    }
}

CURLU* curl_url() {
    TALVOR_ENTRY(Curl, curl_url);
    return real != nullptr ? real() : nullptr;
}

void curl_url_cleanup(CURLU* url) {
    TALVOR_ENTRY(Curl, curl_url_cleanup);
    if (real != nullptr) {
        real(url);
    }
}

CURLUcode curl_url_get(CURLU* url, CURLUPart part, char** text, unsigned int flags) {
    TALVOR_ENTRY(Curl, curl_url_get);
    return real != nullptr ? real(url, part, text, flags) : CURLUE_BAD_HANDLE;
}

CURLUcode curl_url_set(CURLU* url, CURLUPart part, const char* text, unsigned int flags) {
    TALVOR_ENTRY(Curl, curl_url_set);
    return real != nullptr ? real(url, part, text, flags) : CURLUE_BAD_HANDLE;
}

// ---- OpenSSL: called only from libcurl's TLS callbacks, so loaded with it ----

void SSL_CTX_set_cert_verify_callback(SSL_CTX* context, int (*callback)(X509_STORE_CTX*, void*),
                                      void* argument) {
    TALVOR_ENTRY(Ssl, SSL_CTX_set_cert_verify_callback);
    if (real != nullptr) {
        real(context, callback, argument);
    }
}

void CRYPTO_free(void* p, const char* file, int line) {
    TALVOR_ENTRY(Crypto, CRYPTO_free);
    if (real != nullptr) {
        real(p, file, line);
    }
}

OPENSSL_STACK* OPENSSL_sk_new_null() {
    TALVOR_ENTRY(Crypto, OPENSSL_sk_new_null);
    return real != nullptr ? real() : nullptr;
}

int OPENSSL_sk_num(const OPENSSL_STACK* stack) {
    TALVOR_ENTRY(Crypto, OPENSSL_sk_num);
    return real != nullptr ? real(stack) : -1;
}

void* OPENSSL_sk_value(const OPENSSL_STACK* stack, int i) {
    TALVOR_ENTRY(Crypto, OPENSSL_sk_value);
    return real != nullptr ? real(stack, i) : nullptr;
}

int OPENSSL_sk_push(OPENSSL_STACK* stack, const void* data) {
    TALVOR_ENTRY(Crypto, OPENSSL_sk_push);
    return real != nullptr ? real(stack, data) : 0;
}

void OPENSSL_sk_pop_free(OPENSSL_STACK* stack, OPENSSL_sk_freefunc free) {
    TALVOR_ENTRY(Crypto, OPENSSL_sk_pop_free);
    if (real != nullptr) {
        real(stack, free);
    }
}

X509_STORE_CTX* X509_STORE_CTX_new() {
    TALVOR_ENTRY(Crypto, X509_STORE_CTX_new);
    return real != nullptr ? real() : nullptr;
}

void X509_STORE_CTX_free(X509_STORE_CTX* context) {
    TALVOR_ENTRY(Crypto, X509_STORE_CTX_free);
    if (real != nullptr) {
        real(context);
    }
}

int X509_STORE_CTX_init(X509_STORE_CTX* context, X509_STORE* store, X509* certificate,
                        STACK_OF(X509) * chain) {
    TALVOR_ENTRY(Crypto, X509_STORE_CTX_init);
    return real != nullptr ? real(context, store, certificate, chain) : 0;
}

X509* X509_STORE_CTX_get0_cert(const X509_STORE_CTX* context) {
    TALVOR_ENTRY(Crypto, X509_STORE_CTX_get0_cert);
    return real != nullptr ? real(context) : nullptr;
}

X509_VERIFY_PARAM* X509_STORE_CTX_get0_param(const X509_STORE_CTX* context) {
    TALVOR_ENTRY(Crypto, X509_STORE_CTX_get0_param);
    return real != nullptr ? real(context) : nullptr;
}

STACK_OF(X509) * X509_STORE_CTX_get0_untrusted(const X509_STORE_CTX* context) {
    TALVOR_ENTRY(Crypto, X509_STORE_CTX_get0_untrusted);
    return real != nullptr ? real(context) : nullptr;
}

void X509_STORE_CTX_set_error(X509_STORE_CTX* context, int error) {
    TALVOR_ENTRY(Crypto, X509_STORE_CTX_set_error);
    if (real != nullptr) {
        real(context, error);
    }
}

X509_STORE* X509_STORE_new() {
    TALVOR_ENTRY(Crypto, X509_STORE_new);
    return real != nullptr ? real() : nullptr;
}

void X509_STORE_free(X509_STORE* store) {
    TALVOR_ENTRY(Crypto, X509_STORE_free);
    if (real != nullptr) {
        real(store);
    }
}

int X509_STORE_add_cert(X509_STORE* store, X509* certificate) {
    TALVOR_ENTRY(Crypto, X509_STORE_add_cert);
    return real != nullptr ? real(store, certificate) : 0;
}

int X509_VERIFY_PARAM_set1_host(X509_VERIFY_PARAM* param, const char* name, size_t length) {
    TALVOR_ENTRY(Crypto, X509_VERIFY_PARAM_set1_host);
    return real != nullptr ? real(param, name, length) : 0;
}

int X509_VERIFY_PARAM_set1_ip_asc(X509_VERIFY_PARAM* param, const char* address) {
    TALVOR_ENTRY(Crypto, X509_VERIFY_PARAM_set1_ip_asc);
    return real != nullptr ? real(param, address) : 0;
}

int X509_cmp(const X509* a, const X509* b) {
    TALVOR_ENTRY(Crypto, X509_cmp);
    return real != nullptr ? real(a, b) : -1;
}

void X509_free(X509* certificate) {
    TALVOR_ENTRY(Crypto, X509_free);
    if (real != nullptr) {
        real(certificate);
    }
}

// Without the library nothing is trusted.
int X509_verify_cert(X509_STORE_CTX* context) {
    TALVOR_ENTRY(Crypto, X509_verify_cert);
    return real != nullptr ? real(context) : 0;
}

X509* d2i_X509(X509** made, const unsigned char** input, long length) {
    TALVOR_ENTRY(Crypto, d2i_X509);
    return real != nullptr ? real(made, input, length) : nullptr;
}

int i2d_X509(const X509* certificate, unsigned char** output) {
    TALVOR_ENTRY(Crypto, i2d_X509);
    return real != nullptr ? real(certificate, output) : -1;
}

// ---- PEM text (the configured pins) ----

BIO* BIO_new_mem_buf(const void* bytes, int length) {
    TALVOR_ENTRY(Crypto, BIO_new_mem_buf);
    return real != nullptr ? real(bytes, length) : nullptr;
}

int BIO_free(BIO* bio) {
    TALVOR_ENTRY(Crypto, BIO_free);
    return real != nullptr ? real(bio) : 0;
}

X509* PEM_read_bio_X509(BIO* bio, X509** made, pem_password_cb* password, void* user) {
    TALVOR_ENTRY(Crypto, PEM_read_bio_X509);
    return real != nullptr ? real(bio, made, password, user) : nullptr;
}

void ERR_clear_error() {
    TALVOR_ENTRY(Crypto, ERR_clear_error);
    if (real != nullptr) {
        real();
    }
}

}  // extern "C"
