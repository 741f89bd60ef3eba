#include "TEd25519Verifier.h"

#include "StrictBase64.h"

#include <openssl/err.h>
#include <openssl/evp.h>

#include <memory>

namespace shared {

namespace {

struct TKeyDeleter
{
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};

struct TContextDeleter
{
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

} // namespace

TEd25519Verifier::TEd25519Verifier(const QStringList& keyTexts)
{
    for (const QString& text : keyTexts) {
        QString reason;
        if (const auto key = parsePublicKey(text.toLatin1(), reason))
            m_keys.push_back(*key);
        else
            m_refusedKeys.push_back({text, reason});
    }
}

QString TEd25519Verifier::refusal(const QByteArray& data, const QByteArray& signatureText) const
{
    QString reason;
    const auto signature = parseSignature(signatureText, reason);
    if (!signature)
        return QStringLiteral("malformed signature (%1)").arg(reason);
    if (m_keys.empty())
        return QStringLiteral("no valid public key configured");
    for (const QByteArray& key : m_keys) {
        if (verify(key, data, *signature))
            return QString();
    }
    return QStringLiteral("signature does not match any trusted key");
}

std::optional<QByteArray> TEd25519Verifier::parsePublicKey(const QByteArray& text, QString& reason)
{
    return decodeStrictBase64(text, PublicKeySize, reason);
}

std::optional<QByteArray> TEd25519Verifier::parseSignature(const QByteArray& text, QString& reason)
{
    return decodeStrictBase64(text, SignatureSize, reason);
}

bool TEd25519Verifier::verify(const QByteArray& rawKey, const QByteArray& data, const QByteArray& rawSignature)
{
    if (rawKey.size() != PublicKeySize || rawSignature.size() != SignatureSize)
        return false;
    const std::unique_ptr<EVP_PKEY, TKeyDeleter> key(EVP_PKEY_new_raw_public_key(
        EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char*>(rawKey.constData()), PublicKeySize));
    const std::unique_ptr<EVP_MD_CTX, TContextDeleter> context(EVP_MD_CTX_new());
    // Ed25519 hashes internally: one-shot verification without a digest of its own.
    const bool valid = key && context &&
                       EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
                       EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(rawSignature.constData()),
                                        SignatureSize, reinterpret_cast<const unsigned char*>(data.constData()),
                                        static_cast<std::size_t>(data.size())) == 1;
    // A refused key or signature leaves entries in the thread's error queue; they belong to no one.
    ERR_clear_error();
    return valid;
}

} // namespace shared
