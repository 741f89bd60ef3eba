#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace systemsurvey {

/// Reads the processor counts and the clock from the text of the kernel's processor table
/// ("/proc/cpuinfo"). Only the field names are matched, so a model name that happens to contain
/// "processor" does not count as a processor.
class TCpuInfoParser
{
public:
    explicit TCpuInfoParser(const QByteArray& text);

    /// Always 0: the table does not tell NUMA nodes.
    quint64 numaNodeCount() const { return 0; }
    /// Distinct "physical id" values.
    quint64 physicalProcessorCount() const { return m_physicalProcessorCount; }
    /// The last valid "cpu cores" value.
    quint64 coreCount() const { return m_coreCount; }
    /// "processor" entries.
    quint64 logicalProcessorCount() const { return m_logicalProcessorCount; }
    /// The largest "cpu MHz" value, 0 when there is none.
    double clockSpeed() const { return m_clockSpeed; }

private:
    void readField(const QByteArray& key, const QByteArray& value);

    quint64 m_physicalProcessorCount = 0;
    quint64 m_coreCount = 0;
    quint64 m_logicalProcessorCount = 0;
    double m_clockSpeed = 0.0;
};

} // namespace systemsurvey
