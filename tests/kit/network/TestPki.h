#pragma once

#include <string>

// Certificates made at test time (nothing in the repository can expire): a root with an
// intermediate and a server certificate for 127.0.0.1 and localhost, a second unrelated
// root, and faulty server certificates.
namespace talvor::kit::test {

struct TestIdentity {
    std::string chainPEM;  // the server's certificate, then its intermediates
    std::string keyPEM;
};

struct TestPki {
    std::string rootADER, rootAPEM;
    std::string rootBDER, rootBPEM;
    TestIdentity leafA;       // root A -> intermediate A1 -> 127.0.0.1, localhost
    TestIdentity leafB;       // root B -> 127.0.0.1, localhost
    TestIdentity expiredA;    // root A -> intermediate A1, expired yesterday
    TestIdentity wrongHostA;  // root A -> intermediate A1, for another host only

    // Made once per process (key generation takes a moment).
    static const TestPki& shared();
};

}  // namespace talvor::kit::test
