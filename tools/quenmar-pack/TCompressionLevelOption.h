#pragma once

#include "compression/EContainerAlgorithm.h"

#include <QString>

namespace quenmarpack {

/// The value of a "--level" option, checked against the levels of the chosen algorithm.
class TCompressionLevelOption
{
public:
    /// Throws TCommandError naming the accepted range when text is not a level of the algorithm.
    static int parse(const QString& text, shared::EContainerAlgorithm algorithm);
};

} // namespace quenmarpack
