#include "TSigningKey.h"

#include "TPackBuildError.h"

#include <QFile>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

namespace packbuilder {

namespace {

struct TBioDeleter
{
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using TBio = std::unique_ptr<BIO, TBioDeleter>;

struct TDigestContextDeleter
{
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

/// The reason OpenSSL gives for the last failure, for the end of an error message.
QString openSslReason()
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return QStringLiteral("unknown reason");
    char text[256] = {};
    ERR_error_string_n(code, text, sizeof text);
    return QString::fromLatin1(text);
}

/// Refuses to ask for a pass phrase: publishing runs unattended, and keygen writes plain keys.
int noPassphrase(char*, int, int, void*)
{
    return -1;
}

QByteArray bioContent(BIO* bio)
{
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return QByteArray(data, static_cast<int>(size));
}

} // namespace

void TSigningKey::TKeyDeleter::operator()(EVP_PKEY* key) const
{
    EVP_PKEY_free(key);
}

TSigningKey::TSigningKey(EVP_PKEY* key) : m_key(key) {}

TSigningKey TSigningKey::generate()
{
    EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519");
    if (key == nullptr)
        throw TPackBuildError(QStringLiteral("cannot generate an Ed25519 key: %1").arg(openSslReason()));
    return TSigningKey(key);
}

TSigningKey TSigningKey::fromPemFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw TPackBuildError(QStringLiteral("cannot open key '%1': %2").arg(path, file.errorString()));
    const QByteArray pem = file.readAll();
    TBio bio(BIO_new_mem_buf(pem.constData(), pem.size()));
    EVP_PKEY* key = bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, noPassphrase, nullptr) : nullptr;
    if (key == nullptr) {
        ERR_clear_error();
        throw TPackBuildError(
            QStringLiteral("'%1' holds no readable private key (an unencrypted PEM key as 'quenmar-pack keygen' "
                           "writes is needed)")
                .arg(path));
    }
    TSigningKey signingKey(key);
    if (EVP_PKEY_get_id(key) != EVP_PKEY_ED25519)
        throw TPackBuildError(QStringLiteral("'%1' is not an Ed25519 key (it holds a key of type %2)")
                                  .arg(path, QString::fromLatin1(EVP_PKEY_get0_type_name(key))));
    return signingKey;
}

QByteArray TSigningKey::privateKeyPem() const
{
    TBio bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PKCS8PrivateKey(bio.get(), m_key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
        throw TPackBuildError(QStringLiteral("cannot encode the private key: %1").arg(openSslReason()));
    return bioContent(bio.get());
}

QByteArray TSigningKey::publicKeyText() const
{
    QByteArray raw(PublicKeySize, '\0');
    std::size_t size = static_cast<std::size_t>(raw.size());
    if (EVP_PKEY_get_raw_public_key(m_key.get(), reinterpret_cast<unsigned char*>(raw.data()), &size) != 1 ||
        size != PublicKeySize)
        throw TPackBuildError(QStringLiteral("cannot read the public key: %1").arg(openSslReason()));
    return raw.toBase64() + '\n';
}

QByteArray TSigningKey::sign(const QByteArray& data) const
{
    std::unique_ptr<EVP_MD_CTX, TDigestContextDeleter> context(EVP_MD_CTX_new());
    QByteArray signature(SignatureSize, '\0');
    std::size_t size = static_cast<std::size_t>(signature.size());
    // Ed25519 hashes the message itself, so the digest is NULL and the message goes in whole.
    if (!context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, m_key.get()) != 1 ||
        EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &size,
                       reinterpret_cast<const unsigned char*>(data.constData()),
                       static_cast<std::size_t>(data.size())) != 1 ||
        size != SignatureSize)
        throw TPackBuildError(QStringLiteral("cannot sign: %1").arg(openSslReason()));
    return signature;
}

QByteArray TSigningKey::signatureText(const QByteArray& data) const
{
    return sign(data).toBase64() + '\n';
}

} // namespace packbuilder
