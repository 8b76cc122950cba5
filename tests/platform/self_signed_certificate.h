#pragma once

// Writes a fresh self-signed certificate for 127.0.0.1 and its key as PEM files, for a TLS
// server that no client should trust.

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdio>
#include <filesystem>
#include <memory>

namespace quorvane::test {

inline bool writeSelfSignedCertificate(const std::filesystem::path& certificateFile,
                                       const std::filesystem::path& keyFile) {
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("P-256"),
                                                                  EVP_PKEY_free);
    const std::unique_ptr<X509, decltype(&X509_free)> certificate(X509_new(), X509_free);
    if (!key || !certificate) return false;
    X509* cert = certificate.get();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 24 * 3600);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(cert, name);
    if (X509_set_pubkey(cert, key.get()) != 1 || X509_sign(cert, key.get(), EVP_sha256()) == 0) {
        return false;
    }
    const std::unique_ptr<FILE, decltype(&std::fclose)> certOut(
        std::fopen(certificateFile.c_str(), "wb"), std::fclose);
    const std::unique_ptr<FILE, decltype(&std::fclose)> keyOut(std::fopen(keyFile.c_str(), "wb"),
                                                               std::fclose);
    return certOut && keyOut && PEM_write_X509(certOut.get(), cert) == 1 &&
           PEM_write_PrivateKey(keyOut.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) ==
               1;
}

}  // namespace quorvane::test
