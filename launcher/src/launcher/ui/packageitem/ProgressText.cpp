#include "packageitem/ProgressText.h"

#include <cmath>

namespace orvan::launcher {

int progressBarValue(TFileSize Done, TFileSize Total)
{
    if (Total == 0) {
        return 0;
    }
    const float fraction = static_cast<float>(Done) / static_cast<float>(Total);
    const float scaled = std::floor(fraction * static_cast<float>(ProgressBarScale) + 0.5f);
    if (!(scaled < static_cast<float>(ProgressBarScale))) {
        return ProgressBarScale;
    }
    return static_cast<int>(scaled);
}

QString megabytesText(TFileSize Done, TFileSize Total)
{
    return QStringLiteral("%1/%2 MB")
        .arg(static_cast<double>(Done) / 1000000.0, 0, 'f', 1)
        .arg(static_cast<double>(Total) / 1000000.0, 0, 'f', 1);
}

double bytesPerSecondFromRate(quint64 RateCount, double RateMean)
{
    return RateCount == 0 ? 0.0 : 10.0 * RateMean;
}

QString speedText(double BytesPerSecond)
{
    if (BytesPerSecond > 1073741824.0) {
        return QStringLiteral("%1 GB/s").arg(BytesPerSecond / 1000000000.0, 0, 'f', 1);
    }
    if (BytesPerSecond > 1048576.0) {
        return QStringLiteral("%1 MB/s").arg(BytesPerSecond / 1000000.0, 0, 'f', 1);
    }
    if (BytesPerSecond > 1024.0) {
        return QStringLiteral("%1 KB/s").arg(BytesPerSecond / 1000.0, 0, 'f', 1);
    }
    // Also catches NaN, which no cast may see.
    if (!(BytesPerSecond > 0.0)) {
        return QStringLiteral("0 B/s");
    }
    return QStringLiteral("%1 B/s").arg(static_cast<qint64>(BytesPerSecond));
}

} // namespace orvan::launcher
