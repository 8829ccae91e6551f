#include <gtest/gtest.h>

#include "LoopbackTlsServer.h"
#include "NetworkTestSupport.h"
#include "kit/network/NetworkKeys.h"
#include "kit/network/TRLCertificatePinner.h"
#include "kit/network/TRLNetworkClient.h"

namespace talvor::kit {
namespace {

using test::Awaited;
using test::LoopbackTlsServer;
using test::Outcome;
using test::TestIdentity;
using test::TestPki;

std::vector<TRLCertificate> pins(std::initializer_list<const std::string*> ders) {
    std::vector<TRLCertificate> certificates;
    for (const auto* der : ders) {
        certificates.push_back(*TRLCertificate::withData(*der));
    }
    return certificates;
}

// One request through a client pinned to `pinned` (none: no pinning) at a server showing
// `identity`; answers the outcome and how many requests the server saw.
std::pair<Outcome, std::size_t> fetch(const TestIdentity& identity,
                                      std::optional<std::vector<TRLCertificate>> pinned,
                                      bool debug = false,
                                      std::optional<std::string> defaultAnchors = std::nullopt) {
    test::keepRequestsOnThisMachine();
    LoopbackTlsServer server(identity);
    auto configuration = test::loopbackConfiguration();
    if (defaultAnchors) {
        configuration.defaultAnchorsPEM = *defaultAnchors;
    }
    auto client = TRLNetworkClient::initWithSessionConfiguration(
        configuration, nullptr, std::move(pinned),
        TRLNetworkClient::Seams{.debug = [debug] { return debug; }});
    Awaited<Outcome> done;
    client->startDataTaskWithRequest(
        test::requestFor(server.url("/settings")), 0,
        [&](const std::string& data, const auto& response, const auto& error) {
            done.set({data, response, error});
        });
    auto outcome = done.get();
    EXPECT_TRUE(outcome);
    return {outcome.value_or(Outcome{}), server.requestCount()};
}

void expectRefused(const std::pair<Outcome, std::size_t>& result, const char* what) {
    ASSERT_TRUE(result.first.error) << what;
    EXPECT_EQ(result.first.error->domain, keys::NSURLErrorDomain) << what;
    EXPECT_EQ(result.first.error->code, keys::NSURLErrorServerCertificateUntrusted) << what;
    EXPECT_EQ(result.second, 0u) << what << ": the server must see no request";
}

TEST(KitTrustTest, OnlyThePinnedRootsAreTrusted) {
    const auto& pki = TestPki::shared();
    const auto accepted = fetch(pki.leafA, pins({&pki.rootBDER, &pki.rootADER}));
    EXPECT_FALSE(accepted.first.error);
    EXPECT_EQ(accepted.second, 1u);

    expectRefused(fetch(pki.leafA, pins({&pki.rootBDER})), "a wrong root");
    // Root A is what the session's default handling trusts; the pin overrides it.
    expectRefused(fetch(pki.leafB, pins({&pki.rootADER})), "a server under another root");
    expectRefused(fetch(pki.leafA, pins({})), "an empty pin set");
    expectRefused(fetch(pki.expiredA, pins({&pki.rootADER})), "an expired certificate");
    expectRefused(fetch(pki.wrongHostA, pins({&pki.rootADER})), "another host's certificate");
}

TEST(KitTrustTest, WithoutPinsOrInDebugTheDefaultHandlingDecides) {
    const auto& pki = TestPki::shared();
    EXPECT_FALSE(fetch(pki.leafA, std::nullopt).first.error);
    expectRefused(fetch(pki.leafB, std::nullopt), "default roots without root B");
    EXPECT_FALSE(fetch(pki.leafA, pins({&pki.rootBDER}), true).first.error);
    expectRefused(fetch(pki.wrongHostA, std::nullopt), "default handling, another host");
}

TEST(KitTrustTest, ARefusedServerIsNotTriedAgain) {
    test::keepRequestsOnThisMachine();
    const auto& pki = TestPki::shared();
    LoopbackTlsServer server(pki.leafA);
    auto client = TRLNetworkClient::initWithSessionConfiguration(
        test::loopbackConfiguration(), nullptr, pins({&pki.rootBDER}),
        TRLNetworkClient::Seams{.debug = [] { return false; }});
    Awaited<Outcome> done;
    client->startDataTaskWithRequest(
        test::requestFor(server.url("/events")),
        [&](const std::string& data, const auto& response, const auto& error) {
            done.set({data, response, error});
        });
    const auto outcome = done.get();
    ASSERT_TRUE(outcome && outcome->error);
    EXPECT_EQ(outcome->error->code, keys::NSURLErrorServerCertificateUntrusted);
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST(KitTrustTest, CertificatesAreMadeFromDerBytesOnly) {
    const auto& pki = TestPki::shared();
    ASSERT_TRUE(TRLCertificatePinner::createCertificationWithData(pki.rootADER));
    EXPECT_FALSE(TRLCertificate::withData(pki.rootAPEM));
    EXPECT_FALSE(TRLCertificate::withData(pki.rootADER.substr(0, pki.rootADER.size() - 1)));
    EXPECT_FALSE(TRLCertificate::withData(pki.rootADER + "x"));
    EXPECT_FALSE(TRLCertificate::withData(""));

    const TRLCertificatePinner empty({});
    const auto evaluation = empty.evaluateTrust(ServerTrust{"127.0.0.1", {pki.rootADER}});
    EXPECT_TRUE(evaluation.statusSuccess);
    EXPECT_EQ(evaluation.result, TRLCertificatePinner::TrustResult::Invalid);
}

}  // namespace
}  // namespace talvor::kit
