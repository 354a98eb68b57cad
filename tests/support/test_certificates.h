#pragma once

// Certificates made at run time for TLS tests: a test certificate authority, server certificates for chosen names,
// and the broken kinds (self-signed, expired, wrong name) that hostile-server tests need.

#include <string>
#include <vector>

namespace testsupport {

/// A certificate and its private key, as PEM text and as files.
struct CertificateFiles {
    std::string certificateFile;
    std::string keyFile;
    std::string certificatePem;
    std::string keyPem;
};

/// The time a certificate is valid, in seconds relative to now.
struct Validity {
    long notBeforeSeconds = -3600;
    long notAfterSeconds = 7 * 24 * 3600;
};
/// A validity that ended yesterday.
inline constexpr Validity kExpired{-3 * 24 * 3600, -24 * 3600};

/// The names a loopback server answers to: the IP address 127.0.0.1 and localhost.
[[nodiscard]] std::vector<std::string> loopbackNames();

/// A certificate authority made for one test; its certificate is written to folder + "/" + stem + ".pem".
class TestCertificateAuthority {
public:
    explicit TestCertificateAuthority(const std::string& folder, const std::string& stem = "test-ca");
    TestCertificateAuthority(const TestCertificateAuthority&) = delete;
    TestCertificateAuthority& operator=(const TestCertificateAuthority&) = delete;
    ~TestCertificateAuthority();

    /// The authority's own certificate (a file to hand to CORVANA_CA_BUNDLE).
    [[nodiscard]] const CertificateFiles& authority() const { return authority_; }
    /// A server certificate signed by this authority for the names (IP addresses become IP entries, everything
    /// else DNS entries), written as stem + ".pem" and stem + ".key" in the authority's folder.
    [[nodiscard]] CertificateFiles issue(const std::string& stem, const std::vector<std::string>& names,
                                         Validity validity = {}) const;

private:
    std::string folder_;
    CertificateFiles authority_;
    void* key_ = nullptr;         // EVP_PKEY*
    void* certificate_ = nullptr; // X509*
};

/// A server certificate that signs itself, for the names, written as folder/stem.pem and folder/stem.key.
[[nodiscard]] CertificateFiles makeSelfSigned(const std::string& folder, const std::string& stem,
                                              const std::vector<std::string>& names);

} // namespace testsupport
