#pragma once

#include "configuration/TFileSize.h"

#include <QString>
#include <QtGlobal>

namespace orvan::launcher {

/// The scale of the item's progress bar while a phase reports byte counts.
constexpr int ProgressBarScale = 10000;

/// Done / Total on a scale of ProgressBarScale, rounded half up in single precision. A Total of 0 gives 0 and
/// Done beyond Total gives the full scale.
int progressBarValue(TFileSize done, TFileSize total);

/// "<done>/<total> MB" in decimal megabytes with one decimal, for example "512.0/1000.0 MB".
QString megabytesText(TFileSize done, TFileSize total);

/// Bytes per second from the downloader's rate statistics: ten progress ticks a second, so ten times the mean
/// bytes per tick, or 0 before the first tick.
double bytesPerSecondFromRate(quint64 rateCount, double rateMean);

/// A transfer speed for the progress bar. The unit steps at powers of two while the values are divided by powers
/// of ten: 1024 B/s stays "1024 B/s", 1025 B/s shows as "1.0 KB/s".
QString speedText(double bytesPerSecond);

} // namespace orvan::launcher
