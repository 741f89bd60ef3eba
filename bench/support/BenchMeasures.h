#pragma once

#include <QtGlobal>

#include <chrono>

class QMessageLogContext;
class QString;

/// What the benchmark programs measure and how they keep the launcher's log lines off the console.
namespace bench {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start);
/// The process's peak resident memory (VmHWM) in KiB, or -1 when it cannot be read.
long peakRssKib();
/// Message handler that drops info and debug lines and prints the rest to standard error.
void quietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message);

} // namespace bench
