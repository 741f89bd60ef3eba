#include "TCompressionLevelOption.h"

#include "TCommandError.h"

#include "compression/TContainerEncoder.h"

namespace quenmarpack {

int TCompressionLevelOption::parse(const QString& text, shared::EContainerAlgorithm algorithm)
{
    const int minLevel = shared::TContainerEncoder::minLevel(algorithm);
    const int maxLevel = shared::TContainerEncoder::maxLevel(algorithm);
    bool ok = false;
    const int level = text.toInt(&ok);
    if (!ok || level < minLevel || level > maxLevel)
        throw TCommandError(
            QStringLiteral("invalid level '%1' (expected %2..%3)").arg(text).arg(minLevel).arg(maxLevel));
    return level;
}

} // namespace quenmarpack
