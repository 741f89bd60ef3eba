#pragma once

#include <QByteArray>

#include <memory>

namespace testsupport {

/// A fresh Ed25519 key pair made with libcrypto, to sign test documents the way a publisher does.
class TTestSigningKey
{
public:
    TTestSigningKey();
    ~TTestSigningKey();
    TTestSigningKey(const TTestSigningKey&) = delete;
    TTestSigningKey& operator=(const TTestSigningKey&) = delete;

    /// The raw 32-byte public key as one line of standard base64 (no newline).
    QByteArray publicKeyText() const;
    /// The raw 64-byte signature of Data.
    QByteArray signature(const QByteArray& data) const;
    /// The signature file's text: standard base64 of signature(Data) and a newline.
    QByteArray signatureText(const QByteArray& data) const { return signature(data).toBase64().append('\n'); }

private:
    struct TKey;
    std::unique_ptr<TKey> m_key;
};

} // namespace testsupport
