#include "TSha256.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace shared {

struct TSha256::Context
{
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    ~Context() { EVP_MD_CTX_free(ctx); }
};

namespace {

void initDigest(EVP_MD_CTX* ctx)
{
    if (ctx == nullptr || EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 initialisation failed");
}

} // namespace

TSha256::TSha256() : m_context(std::make_unique<Context>())
{
    initDigest(m_context->ctx);
}

TSha256::~TSha256() = default;
TSha256::TSha256(TSha256&&) noexcept = default;
TSha256& TSha256::operator=(TSha256&&) noexcept = default;

void TSha256::addData(const void* data, std::size_t size)
{
    if (size > 0)
        EVP_DigestUpdate(m_context->ctx, data, size);
}

void TSha256::result(unsigned char* out)
{
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_context->ctx, out, &length);
    initDigest(m_context->ctx);
}

QByteArray TSha256::result()
{
    QByteArray digest(DigestSize, Qt::Uninitialized);
    result(reinterpret_cast<unsigned char*>(digest.data()));
    return digest;
}

void TSha256::reset()
{
    initDigest(m_context->ctx);
}

QByteArray TSha256::hash(const void* data, std::size_t size)
{
    QByteArray digest(DigestSize, Qt::Uninitialized);
    unsigned int length = 0;
    EVP_Digest(data, size, reinterpret_cast<unsigned char*>(digest.data()), &length, EVP_sha256(), nullptr);
    return digest;
}

} // namespace shared
