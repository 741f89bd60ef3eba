#pragma once

#include <QtGlobal>

namespace shared {

/// Algorithm ids of the compressed container; ids of 24 and above mark data that is not a container.
enum class EContainerAlgorithm : quint8
{
    Stored = 0,
    Deflate = 3,
    Lzip = 4,
    Lzma = 5,
    Zpaq = 6,
    Zstd = 7,
    LzmaAlias = 10,
};

constexpr quint8 ContainerAlgorithmLimit = 24;

} // namespace shared
