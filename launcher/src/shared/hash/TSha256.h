#pragma once

#include <QByteArray>

#include <cstddef>
#include <memory>

namespace shared {

/// SHA-256 through OpenSSL's EVP interface (uses the CPU's SHA extensions where present).
/// Every SHA-256 in the program goes through this class; digests equal QCryptographicHash::Sha256.
class TSha256
{
public:
    static constexpr int DigestSize = 32;

    TSha256();
    ~TSha256();
    TSha256(const TSha256&) = delete;
    TSha256& operator=(const TSha256&) = delete;
    TSha256(TSha256&&) noexcept;
    TSha256& operator=(TSha256&&) noexcept;

    void addData(const void* data, std::size_t size);
    void addData(const QByteArray& data) { addData(data.constData(), static_cast<std::size_t>(data.size())); }
    /// The 32-byte digest of everything added since construction or the last reset.
    QByteArray result();
    /// Writes the digest into out[0..31].
    void result(unsigned char* out);
    void reset();

    static QByteArray hash(const void* data, std::size_t size);
    static QByteArray hash(const QByteArray& data)
    {
        return hash(data.constData(), static_cast<std::size_t>(data.size()));
    }
    /// Lower-case hexadecimal digest.
    static QByteArray hexHash(const QByteArray& data) { return hash(data).toHex(); }

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};

} // namespace shared
