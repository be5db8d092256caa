#include "groupword.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/kdf.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace groupword {

namespace {

// Fixed: the same word gives the same key on every instance of a group.
constexpr char kSalt[] = "pelmora group word 1";
constexpr uint64_t kScryptN = uint64_t(1) << 15;
constexpr uint32_t kScryptR = 8;
constexpr uint32_t kScryptP = 1;
// 128 * r * N bytes are needed; OpenSSL's default ceiling is just below.
constexpr uint64_t kScryptMaxMem = uint64_t(64) << 20;

} // namespace

TKeyRef Derive(std::string_view word)
{
    if (word.empty())
        return nullptr;
    EVP_KDF* kdf = EVP_KDF_fetch(nullptr, OSSL_KDF_NAME_SCRYPT, nullptr);
    EVP_KDF_CTX* ctx = kdf ? EVP_KDF_CTX_new(kdf) : nullptr;
    EVP_KDF_free(kdf);
    if (!ctx) {
        ERR_clear_error();
        return nullptr;
    }
    uint64_t n = kScryptN, maxMem = kScryptMaxMem;
    uint32_t r = kScryptR, p = kScryptP;
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_PASSWORD, const_cast<char*>(word.data()), word.size()),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, const_cast<char*>(kSalt), sizeof kSalt - 1),
        OSSL_PARAM_construct_uint64(OSSL_KDF_PARAM_SCRYPT_N, &n),
        OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_SCRYPT_R, &r),
        OSSL_PARAM_construct_uint32(OSSL_KDF_PARAM_SCRYPT_P, &p),
        OSSL_PARAM_construct_uint64(OSSL_KDF_PARAM_SCRYPT_MAXMEM, &maxMem),
        OSSL_PARAM_construct_end()};
    auto key = std::make_shared<TKey>();
    const bool ok = EVP_KDF_derive(ctx, key->data(), key->size(), params) == 1;
    EVP_KDF_CTX_free(ctx);
    if (!ok) {
        ERR_clear_error();
        return nullptr;
    }
    return key;
}

std::string Proof(const TKey& key, std::string_view exported)
{
    if (exported.empty())
        return {};
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    if (!HMAC(EVP_sha256(), key.data(), int(key.size()), reinterpret_cast<const unsigned char*>(exported.data()),
              exported.size(), mac, &len)) {
        ERR_clear_error();
        return {};
    }
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * len);
    for (unsigned int i = 0; i < len; ++i) {
        hex += kHex[mac[i] >> 4];
        hex += kHex[mac[i] & 15];
    }
    OPENSSL_cleanse(mac, sizeof mac);
    return hex;
}

bool Same(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

void Forget(std::string& word)
{
    if (!word.empty())
        OPENSSL_cleanse(word.data(), word.size());
    word.clear();
}

bool ReadWordFile(const std::string& path, std::string& word, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error)
            *error = std::strerror(errno);
        return false;
    }
    std::getline(in, word);
    if (!word.empty() && word.back() == '\r')
        word.pop_back();
    if (word.empty()) {
        if (error)
            error->clear();
        return false;
    }
    return true;
}

} // namespace groupword
