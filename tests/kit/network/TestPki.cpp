#include "TestPki.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>
#include <stdexcept>
#include <vector>

namespace talvor::kit::test {
namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Cert = std::unique_ptr<X509, decltype(&X509_free)>;

Key newKey() {
    Key key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"), EVP_PKEY_free);
    if (!key) {
        throw std::runtime_error("no test key");
    }
    return key;
}

void addExtension(X509* certificate, X509* issuer, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (extension == nullptr) {
        throw std::runtime_error("bad test extension");
    }
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

struct Subject {
    std::string commonName;
    bool authority = false;
    std::string altNames;  // "IP:127.0.0.1,DNS:localhost"
    long notBefore = -3600;
    long notAfter = 86400;
};

Cert issue(const Subject& subject, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey) {
    static long serial = 1;
    Cert certificate(X509_new(), X509_free);
    X509_set_version(certificate.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), serial++);
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), subject.notBefore);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), subject.notAfter);
    X509_set_pubkey(certificate.get(), key);
    X509_NAME* name = X509_get_subject_name(certificate.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(subject.commonName.c_str()),
                               -1, -1, 0);
    X509* signer = issuer != nullptr ? issuer : certificate.get();
    X509_set_issuer_name(certificate.get(), X509_get_subject_name(signer));
    addExtension(certificate.get(), signer, NID_basic_constraints,
                 subject.authority ? "critical,CA:TRUE" : "critical,CA:FALSE");
    addExtension(certificate.get(), signer, NID_key_usage,
                 subject.authority ? "critical,keyCertSign,cRLSign" : "critical,digitalSignature");
    addExtension(certificate.get(), signer, NID_subject_key_identifier, "hash");
    addExtension(certificate.get(), signer, NID_authority_key_identifier, "keyid:always");
    if (!subject.altNames.empty()) {
        addExtension(certificate.get(), signer, NID_subject_alt_name, subject.altNames.c_str());
        addExtension(certificate.get(), signer, NID_ext_key_usage, "serverAuth");
    }
    if (X509_sign(certificate.get(), issuerKey != nullptr ? issuerKey : key, EVP_sha256()) == 0) {
        throw std::runtime_error("test certificate not signed");
    }
    return certificate;
}

std::string pemOf(X509* certificate) {
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
    PEM_write_bio_X509(bio.get(), certificate);
    char* bytes = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &bytes);
    return std::string(bytes, static_cast<std::size_t>(length));
}

std::string pemOf(EVP_PKEY* key) {
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
    PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr);
    char* bytes = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &bytes);
    return std::string(bytes, static_cast<std::size_t>(length));
}

std::string derOf(X509* certificate) {
    unsigned char* bytes = nullptr;
    const int length = i2d_X509(certificate, &bytes);
    std::string der(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
    OPENSSL_free(bytes);
    return der;
}

constexpr char kLoopbackNames[] = "IP:127.0.0.1,DNS:localhost";

TestPki make() {
    TestPki pki;
    Key rootAKey = newKey();
    Cert rootA = issue({"Talvor Test Root A", true, {}, -3600, 30 * 86400}, rootAKey.get(), nullptr,
                       nullptr);
    Key intermediateKey = newKey();
    Cert intermediate = issue({"Talvor Test Intermediate A1", true, {}, -3600, 30 * 86400},
                              intermediateKey.get(), rootA.get(), rootAKey.get());
    const std::string intermediatePEM = pemOf(intermediate.get());
    auto leafUnderA = [&](Subject subject) {
        Key key = newKey();
        Cert leaf = issue(subject, key.get(), intermediate.get(), intermediateKey.get());
        return TestIdentity{pemOf(leaf.get()) + intermediatePEM, pemOf(key.get())};
    };
    pki.leafA = leafUnderA({"127.0.0.1", false, kLoopbackNames});
    pki.expiredA = leafUnderA({"127.0.0.1", false, kLoopbackNames, -3 * 86400, -86400});
    pki.wrongHostA = leafUnderA({"elsewhere.invalid", false, "DNS:elsewhere.invalid"});

    Key rootBKey = newKey();
    Cert rootB = issue({"Talvor Test Root B", true, {}, -3600, 30 * 86400}, rootBKey.get(), nullptr,
                       nullptr);
    Key leafBKey = newKey();
    Cert leafB =
        issue({"127.0.0.1", false, kLoopbackNames}, leafBKey.get(), rootB.get(), rootBKey.get());
    pki.leafB = {pemOf(leafB.get()), pemOf(leafBKey.get())};

    pki.rootADER = derOf(rootA.get());
    pki.rootAPEM = pemOf(rootA.get());
    pki.rootBDER = derOf(rootB.get());
    pki.rootBPEM = pemOf(rootB.get());
    return pki;
}

}  // namespace

const TestPki& TestPki::shared() {
    static const TestPki pki = make();
    return pki;
}

}  // namespace talvor::kit::test
