// No library of the program, nor a module it opens, defines a function of libcurl or OpenSSL:
// under their own names they would stand in for the real ones in every other library of the
// process.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <sstream>
#include <string>

namespace {

// "name" for each external symbol `file` defines.
std::string definedSymbols(const std::string& file) {
    const std::string command =
        "nm --defined-only --extern-only --format=just-symbols '" + file + "' 2>&1";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t read = 0;
        while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            out.append(buffer, read);
        }
        pclose(pipe);
    }
    return out;
}

TEST(architectureLibraries, NoneDefinesAFunctionOfTheNetworkLibraries) {
    static const std::regex foreign(
        R"(^(curl_|Curl_|SSL|TLS|DTLS|X509|OPENSSL_|OSSL_|CRYPTO_|BIO_|PEM_|ERR_|EVP_|RAND_|)"
        R"(ASN1_|PKCS|RSA_|EC_|BN_|HMAC|d2i_|i2d_)\w*$)");
    std::stringstream files(TALVOR_PRODUCT_FILES);
    std::string file;
    int checked = 0;
    while (std::getline(files, file, '|')) {
        SCOPED_TRACE(file);
        std::stringstream symbols(definedSymbols(file));
        std::string symbol;
        int defined = 0;
        while (std::getline(symbols, symbol)) {
            ++defined;
            EXPECT_FALSE(std::regex_match(symbol, foreign)) << symbol;
        }
        EXPECT_GT(defined, 0) << "nm found nothing in it";
        ++checked;
    }
    EXPECT_GT(checked, 1);
}

}  // namespace
