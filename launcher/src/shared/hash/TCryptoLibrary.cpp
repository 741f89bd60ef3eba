#include "TCryptoLibrary.h"

#include <openssl/crypto.h>

#include <stdexcept>

namespace shared {

void TCryptoLibrary::initialise()
{
    const uint64_t options = OPENSSL_INIT_LOAD_CRYPTO_STRINGS | OPENSSL_INIT_ADD_ALL_DIGESTS;
    if (OPENSSL_init_crypto(options, nullptr) != 1)
        throw std::runtime_error("OpenSSL initialisation failed");
}

} // namespace shared
