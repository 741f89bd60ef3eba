#include "TestSigningKey.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace testsupport {

struct TTestSigningKey::TKey
{
    EVP_PKEY* key = nullptr;
    ~TKey() { EVP_PKEY_free(key); }
};

TTestSigningKey::TTestSigningKey() : m_key(std::make_unique<TKey>())
{
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr);
    const bool made =
        context != nullptr && EVP_PKEY_keygen_init(context) == 1 && EVP_PKEY_keygen(context, &m_key->key) == 1;
    EVP_PKEY_CTX_free(context);
    if (!made)
        throw std::runtime_error("Ed25519 key generation failed");
}

TTestSigningKey::~TTestSigningKey() = default;

QByteArray TTestSigningKey::publicKeyText() const
{
    QByteArray raw(32, '\0');
    std::size_t length = static_cast<std::size_t>(raw.size());
    if (EVP_PKEY_get_raw_public_key(m_key->key, reinterpret_cast<unsigned char*>(raw.data()), &length) != 1)
        throw std::runtime_error("cannot read the public key");
    return raw.toBase64();
}

QByteArray TTestSigningKey::signature(const QByteArray& data) const
{
    QByteArray signature(64, '\0');
    std::size_t length = static_cast<std::size_t>(signature.size());
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    const bool signedData = context != nullptr &&
                            EVP_DigestSignInit(context, nullptr, nullptr, nullptr, m_key->key) == 1 &&
                            EVP_DigestSign(context, reinterpret_cast<unsigned char*>(signature.data()), &length,
                                           reinterpret_cast<const unsigned char*>(data.constData()),
                                           static_cast<std::size_t>(data.size())) == 1;
    EVP_MD_CTX_free(context);
    if (!signedData)
        throw std::runtime_error("signing failed");
    return signature;
}

} // namespace testsupport
