#pragma once

#include <cstddef>
#include <cstdint>

namespace shared {

/// The decoding core behind the container: one decoder per algorithm id behind one dispatch.
/// Each decoder writes straight into the caller's buffer and never beyond its capacity.
class TDecompressor
{
public:
    /// Decodes payload[0..payloadLength) of the given algorithm into output. On entry outputLength
    /// is the capacity, on success the number of bytes produced. Returns false for empty or null
    /// arguments, unsupported ids, corrupt streams and streams that would exceed the capacity.
    static bool unpack(int algorithmId, const std::uint8_t* payload, std::size_t payloadLength, std::uint8_t* output,
                       std::size_t& outputLength);

    static bool isSupported(int algorithmId);

private:
    static bool unpackStored(const std::uint8_t* payload, std::size_t payloadLength, std::uint8_t* output,
                             std::size_t& outputLength);
    static bool unpackDeflate(const std::uint8_t* payload, std::size_t payloadLength, std::uint8_t* output,
                              std::size_t& outputLength);
    static bool unpackLzip(const std::uint8_t* payload, std::size_t payloadLength, std::uint8_t* output,
                           std::size_t& outputLength);
    static bool unpackLzma(const std::uint8_t* payload, std::size_t payloadLength, std::uint8_t* output,
                           std::size_t& outputLength);
    static bool unpackZpaq(const std::uint8_t* payload, std::size_t payloadLength, std::uint8_t* output,
                           std::size_t& outputLength);
    static bool unpackZstd(const std::uint8_t* payload, std::size_t payloadLength, std::uint8_t* output,
                           std::size_t& outputLength);
};

} // namespace shared
