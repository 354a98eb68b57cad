#include "tests/support/test_certificates.h"

#include "tests/support/temp_dir.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace testsupport {
namespace {

EVP_PKEY* newKey() {
    return EVP_EC_gen("P-256");
}

bool isIpAddress(const std::string& name) {
    unsigned char buffer[16];
    return ::inet_pton(AF_INET, name.c_str(), buffer) == 1 || ::inet_pton(AF_INET6, name.c_str(), buffer) == 1;
}

std::string subjectAltNames(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ",") + std::string(isIpAddress(name) ? "IP:" : "DNS:") + name;
    return text;
}

void addExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    if (!extension) {
        ADD_FAILURE() << "bad certificate extension " << value;
        return;
    }
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

/// A certificate for the key, signed by issuerKey (itself when no issuer is given).
X509* makeCertificate(EVP_PKEY* key, const std::string& commonName, const std::vector<std::string>& names,
                      bool isAuthority, X509* issuer, EVP_PKEY* issuerKey, Validity validity) {
    X509* certificate = X509_new();
    X509_set_version(certificate, 2);
    unsigned char serial[16];
    RAND_bytes(serial, sizeof serial);
    serial[0] &= 0x7F;
    BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
    BN_to_ASN1_INTEGER(number, X509_get_serialNumber(certificate));
    BN_free(number);
    X509_gmtime_adj(X509_getm_notBefore(certificate), validity.notBeforeSeconds);
    X509_gmtime_adj(X509_getm_notAfter(certificate), validity.notAfterSeconds);
    X509_set_pubkey(certificate, key);
    X509_NAME* subject = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(subject, "O", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>("Corvana Tests"), -1,
                               -1, 0);
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(commonName.c_str()),
                               -1, -1, 0);
    X509_set_issuer_name(certificate, issuer ? X509_get_subject_name(issuer) : subject);
    X509* signer = issuer ? issuer : certificate;
    if (isAuthority) {
        addExtension(certificate, signer, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(certificate, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        addExtension(certificate, signer, NID_basic_constraints, "critical,CA:FALSE");
        addExtension(certificate, signer, NID_key_usage, "critical,digitalSignature,keyEncipherment");
        addExtension(certificate, signer, NID_ext_key_usage, "serverAuth");
    }
    addExtension(certificate, signer, NID_subject_key_identifier, "hash");
    if (issuer)
        addExtension(certificate, signer, NID_authority_key_identifier, "keyid:always");
    if (!names.empty())
        addExtension(certificate, signer, NID_subject_alt_name, subjectAltNames(names));
    if (X509_sign(certificate, issuerKey ? issuerKey : key, EVP_sha256()) <= 0)
        ADD_FAILURE() << "cannot sign the test certificate";
    return certificate;
}

std::string toPem(X509* certificate) {
    BIO* memory = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(memory, certificate);
    char* data = nullptr;
    const long length = BIO_get_mem_data(memory, &data);
    std::string pem(data, static_cast<std::size_t>(length));
    BIO_free(memory);
    return pem;
}

std::string toPem(EVP_PKEY* key) {
    BIO* memory = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(memory, key, nullptr, nullptr, 0, nullptr, nullptr);
    char* data = nullptr;
    const long length = BIO_get_mem_data(memory, &data);
    std::string pem(data, static_cast<std::size_t>(length));
    BIO_free(memory);
    return pem;
}

CertificateFiles writeOut(const std::string& folder, const std::string& stem, X509* certificate, EVP_PKEY* key) {
    CertificateFiles files;
    files.certificateFile = folder + "/" + stem + ".pem";
    files.keyFile = folder + "/" + stem + ".key";
    files.certificatePem = toPem(certificate);
    files.keyPem = toPem(key);
    writeFile(files.certificateFile, files.certificatePem);
    writeFile(files.keyFile, files.keyPem);
    return files;
}

} // namespace

std::vector<std::string> loopbackNames() {
    return {"127.0.0.1", "localhost"};
}

TestCertificateAuthority::TestCertificateAuthority(const std::string& folder, const std::string& stem)
    : folder_(folder) {
    EVP_PKEY* key = newKey();
    X509* certificate = makeCertificate(key, "Corvana Test Authority", {}, true, nullptr, nullptr, Validity{});
    authority_ = writeOut(folder, stem, certificate, key);
    key_ = key;
    certificate_ = certificate;
}

TestCertificateAuthority::~TestCertificateAuthority() {
    X509_free(static_cast<X509*>(certificate_));
    EVP_PKEY_free(static_cast<EVP_PKEY*>(key_));
}

CertificateFiles TestCertificateAuthority::issue(const std::string& stem, const std::vector<std::string>& names,
                                                 Validity validity) const {
    EVP_PKEY* key = newKey();
    X509* certificate = makeCertificate(key, names.empty() ? stem : names.front(), names, false,
                                        static_cast<X509*>(certificate_), static_cast<EVP_PKEY*>(key_), validity);
    CertificateFiles files = writeOut(folder_, stem, certificate, key);
    X509_free(certificate);
    EVP_PKEY_free(key);
    return files;
}

CertificateFiles makeSelfSigned(const std::string& folder, const std::string& stem,
                                const std::vector<std::string>& names) {
    EVP_PKEY* key = newKey();
    X509* certificate =
        makeCertificate(key, names.empty() ? stem : names.front(), names, false, nullptr, nullptr, Validity{});
    CertificateFiles files = writeOut(folder, stem, certificate, key);
    X509_free(certificate);
    EVP_PKEY_free(key);
    return files;
}

} // namespace testsupport
