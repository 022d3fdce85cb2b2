// Keys and signatures with OpenSSL (libcrypto): ECDSA P-256 with SHA-256. OpenSSL speaks DER
// signatures; the files hold r and s as two 32-byte numbers, the form Windows' CNG verifies.
#include "tools/signing.hpp"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/pem.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "base/errors.hpp"
#include "settings/update_signature.hpp"

namespace tb::tool {

namespace {

template <auto Free>
struct Deleter {
    template <class T>
    void operator()(T* p) const {
        Free(p);
    }
};
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using KeyContext = std::unique_ptr<EVP_PKEY_CTX, Deleter<EVP_PKEY_CTX_free>>;
using DigestContext = std::unique_ptr<EVP_MD_CTX, Deleter<EVP_MD_CTX_free>>;
using Bio = std::unique_ptr<BIO, Deleter<BIO_free>>;
using EcdsaSignature = std::unique_ptr<ECDSA_SIG, Deleter<ECDSA_SIG_free>>;
using Number = std::unique_ptr<BIGNUM, Deleter<BN_free>>;

void FreeOpenSslMemory(unsigned char* p) { OPENSSL_free(p); }

constexpr char kCurve[] = "prime256v1";  // OpenSSL's name of P-256
constexpr int kNumberSize = static_cast<int>(kUpdateSignatureSize / 2);

bool IsP256(EVP_PKEY* key) {
    char group[64] = {};
    size_t length = 0;
    return EVP_PKEY_is_a(key, "EC") &&
           EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, &length) &&
           std::string_view(group, length) == kCurve;
}

std::string PublicPoint(EVP_PKEY* key) {
    unsigned char point[kUpdatePublicKeySize + 1] = {};
    size_t length = 0;
    if (!EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_ENCODED_PUBLIC_KEY, point, sizeof point, &length) ||
        length != kUpdatePublicKeySize || point[0] != 0x04) {
        throw Error("the key's public point is not in the uncompressed form");
    }
    return std::string(reinterpret_cast<const char*>(point), length);
}

Key PublicKeyFromPoint(std::string_view point) {
    if (point.size() != kUpdatePublicKeySize || static_cast<unsigned char>(point[0]) != 0x04) return nullptr;
    const KeyContext context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    if (!context || EVP_PKEY_fromdata_init(context.get()) != 1) return nullptr;
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, const_cast<char*>(kCurve), 0),
        OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, const_cast<char*>(point.data()), point.size()),
        OSSL_PARAM_construct_end(),
    };
    EVP_PKEY* key = nullptr;
    if (EVP_PKEY_fromdata(context.get(), &key, EVP_PKEY_PUBLIC_KEY, params) != 1) return nullptr;
    return Key(key);
}

}  // namespace

KeyPair GenerateKeyPair() {
    const Key key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", kCurve));
    if (!key) throw Error("cannot make a P-256 key");
    const Bio bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
        throw Error("cannot write the private key");
    }
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return {std::string(data, static_cast<size_t>(length)), PublicPoint(key.get())};
}

namespace {

// Creates a file that must not exist yet, with the given permissions, and writes all of it.
void WriteNewFile(const std::string& path, std::string_view bytes, mode_t mode) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) throw Error(path + ": " + std::strerror(errno));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = errno;
            close(fd);
            unlink(path.c_str());
            throw Error(path + ": " + std::strerror(error));
        }
        done += static_cast<size_t>(n);
    }
    if (close(fd) != 0) {
        const int error = errno;
        unlink(path.c_str());
        throw Error(path + ": " + std::strerror(error));
    }
}

}  // namespace

void SaveNewKeyPair(const KeyPair& pair, const std::string& key_file, const std::string& public_file) {
    if (access(public_file.c_str(), F_OK) == 0) throw Error(public_file + ": exists; a key is never overwritten");
    if (access(key_file.c_str(), F_OK) == 0) throw Error(key_file + ": exists; a key is never overwritten");
    WriteNewFile(key_file, pair.private_pem, S_IRUSR | S_IWUSR);
    try {
        WriteNewFile(public_file, pair.public_key, S_IRUSR | S_IWUSR | S_IRGRP | S_IROTH);
    } catch (...) {
        unlink(key_file.c_str());
        throw;
    }
}

namespace {

Key ReadPrivateKey(const std::string& private_pem) {
    const Bio bio(BIO_new_mem_buf(private_pem.data(), static_cast<int>(private_pem.size())));
    Key key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!key) throw Error("not a private key in PEM form");
    if (!IsP256(key.get())) throw Error("not a P-256 key");
    return key;
}

}  // namespace

std::string PublicKeyOf(const std::string& private_pem) { return PublicPoint(ReadPrivateKey(private_pem).get()); }

std::string Sha256(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE] = {};
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1 || length != 32) {
        throw Error("cannot compute SHA-256");
    }
    return std::string(reinterpret_cast<const char*>(digest), length);
}

std::string SignContent(const std::string& private_pem, std::string_view content) {
    const Key key = ReadPrivateKey(private_pem);
    const DigestContext digest(EVP_MD_CTX_new());
    size_t der_length = 0;
    if (!digest || EVP_DigestSignInit(digest.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
        EVP_DigestSignUpdate(digest.get(), content.data(), content.size()) != 1 ||
        EVP_DigestSignFinal(digest.get(), nullptr, &der_length) != 1) {
        throw Error("cannot sign");
    }
    std::string der(der_length, '\0');
    if (EVP_DigestSignFinal(digest.get(), reinterpret_cast<unsigned char*>(der.data()), &der_length) != 1) {
        throw Error("cannot sign");
    }
    const unsigned char* cursor = reinterpret_cast<const unsigned char*>(der.data());
    const EcdsaSignature parsed(d2i_ECDSA_SIG(nullptr, &cursor, static_cast<long>(der_length)));
    if (!parsed) throw Error("cannot sign");
    const BIGNUM* r = nullptr;
    const BIGNUM* s = nullptr;
    ECDSA_SIG_get0(parsed.get(), &r, &s);
    std::string raw(kUpdateSignatureSize, '\0');
    auto* out = reinterpret_cast<unsigned char*>(raw.data());
    if (BN_bn2binpad(r, out, kNumberSize) != kNumberSize || BN_bn2binpad(s, out + kNumberSize, kNumberSize) != kNumberSize) {
        throw Error("cannot sign");
    }
    return raw;
}

bool VerifyContent(std::string_view public_key, std::string_view content, std::string_view signature) {
    if (signature.size() != kUpdateSignatureSize) return false;
    const Key key = PublicKeyFromPoint(public_key);
    if (!key) return false;
    const auto* raw = reinterpret_cast<const unsigned char*>(signature.data());
    Number r(BN_bin2bn(raw, kNumberSize, nullptr));
    Number s(BN_bin2bn(raw + kNumberSize, kNumberSize, nullptr));
    EcdsaSignature parsed(ECDSA_SIG_new());
    if (!r || !s || !parsed || ECDSA_SIG_set0(parsed.get(), r.get(), s.get()) != 1) return false;
    r.release();  // now owned by the signature
    s.release();
    unsigned char* der = nullptr;
    const int der_length = i2d_ECDSA_SIG(parsed.get(), &der);
    if (der_length <= 0) return false;
    const std::unique_ptr<unsigned char, Deleter<FreeOpenSslMemory>> owned_der(der);

    const DigestContext digest(EVP_MD_CTX_new());
    return digest && EVP_DigestVerifyInit(digest.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
           EVP_DigestVerifyUpdate(digest.get(), content.data(), content.size()) == 1 &&
           EVP_DigestVerifyFinal(digest.get(), der, static_cast<size_t>(der_length)) == 1;
}

}  // namespace tb::tool
