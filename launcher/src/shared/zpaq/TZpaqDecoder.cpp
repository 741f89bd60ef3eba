#include "TZpaqDecoder.h"

#include "TZpaqStreamDecoder.h"

#include <exception>

namespace shared {

bool TZpaqDecoder::decode(const unsigned char* input, std::size_t inputSize, unsigned char* output,
                          std::size_t& outputSize)
{
    if (input == nullptr || output == nullptr || inputSize == 0 || outputSize == 0)
        return false;
    try {
        outputSize = TZpaqStreamDecoder().decode(input, inputSize, output, outputSize);
        return true;
    } catch (const std::exception&) {
        // Format errors, exhausted limits and failed allocations all mean "cannot decode".
        return false;
    }
}

} // namespace shared
