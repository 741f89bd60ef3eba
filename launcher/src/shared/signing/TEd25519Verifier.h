#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace shared {

/// Checks detached Ed25519 signatures against a set of trusted public keys. Key and signature
/// texts are one line of standard base64 of the raw 32-byte key or 64-byte signature; malformed
/// texts never throw, they are refused with a reason.
class TEd25519Verifier
{
public:
    static constexpr int PublicKeySize = 32;
    static constexpr int SignatureSize = 64;

    struct TRefusedKey
    {
        QString text;
        QString reason;
    };

    /// Parses every key text; the malformed ones are kept aside in refusedKeys().
    explicit TEd25519Verifier(const QStringList& keyTexts);

    int keyCount() const { return static_cast<int>(m_keys.size()); }
    const std::vector<TRefusedKey>& refusedKeys() const { return m_refusedKeys; }
    /// Empty when signatureText is a valid signature of Data by one of the keys, else why not.
    QString refusal(const QByteArray& data, const QByteArray& signatureText) const;

    static std::optional<QByteArray> parsePublicKey(const QByteArray& text, QString& reason);
    static std::optional<QByteArray> parseSignature(const QByteArray& text, QString& reason);
    /// True when rawSignature is a valid signature of Data by rawKey; false for any malformed input.
    static bool verify(const QByteArray& rawKey, const QByteArray& data, const QByteArray& rawSignature);

private:
    std::vector<QByteArray> m_keys;
    std::vector<TRefusedKey> m_refusedKeys;
};

} // namespace shared
