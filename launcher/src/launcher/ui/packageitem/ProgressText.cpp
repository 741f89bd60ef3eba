#include "packageitem/ProgressText.h"

#include <cmath>

namespace orvan::launcher {

int progressBarValue(TFileSize done, TFileSize total)
{
    if (total == 0) {
        return 0;
    }
    const float fraction = static_cast<float>(done) / static_cast<float>(total);
    const float scaled = std::floor(fraction * static_cast<float>(ProgressBarScale) + 0.5f);
    if (!(scaled < static_cast<float>(ProgressBarScale))) {
        return ProgressBarScale;
    }
    return static_cast<int>(scaled);
}

QString megabytesText(TFileSize done, TFileSize total)
{
    return QStringLiteral("%1/%2 MB")
        .arg(static_cast<double>(done) / 1000000.0, 0, 'f', 1)
        .arg(static_cast<double>(total) / 1000000.0, 0, 'f', 1);
}

double bytesPerSecondFromRate(quint64 rateCount, double rateMean)
{
    return rateCount == 0 ? 0.0 : 10.0 * rateMean;
}

QString speedText(double bytesPerSecond)
{
    if (bytesPerSecond > 1073741824.0) {
        return QStringLiteral("%1 GB/s").arg(bytesPerSecond / 1000000000.0, 0, 'f', 1);
    }
    if (bytesPerSecond > 1048576.0) {
        return QStringLiteral("%1 MB/s").arg(bytesPerSecond / 1000000.0, 0, 'f', 1);
    }
    if (bytesPerSecond > 1024.0) {
        return QStringLiteral("%1 KB/s").arg(bytesPerSecond / 1000.0, 0, 'f', 1);
    }
    // Also catches NaN, which no cast may see.
    if (!(bytesPerSecond > 0.0)) {
        return QStringLiteral("0 B/s");
    }
    return QStringLiteral("%1 B/s").arg(static_cast<qint64>(bytesPerSecond));
}

} // namespace orvan::launcher
