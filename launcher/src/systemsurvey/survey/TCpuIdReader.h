#pragma once

#include <QByteArray>
#include <QString>

namespace systemsurvey {

/// What the processor tells about itself through the cpuid instruction: vendor, brand text, long
/// mode and the SSE flags. Read once on construction; on other architectures everything is unknown.
class TCpuIdReader
{
public:
    TCpuIdReader();

    /// The 12-character vendor text (EBX, EDX, ECX of leaf 0); empty when unknown.
    QByteArray vendor() const { return m_vendor; }
    QString manufacturer() const { return manufacturerForVendor(m_vendor); }
    /// The brand text, or "Acquiring Brand Name not supported" when the processor has none.
    QString brandName() const { return m_brandName; }
    bool is64Bit() const { return m_is64Bit; }
    bool sse() const { return m_sse; }
    bool sse2() const { return m_sse2; }

    /// The manufacturer for a vendor text, "Unknown Manufacturer" for unlisted ones.
    static QString manufacturerForVendor(const QByteArray& vendor);

private:
    void read();

    QByteArray m_vendor;
    QString m_brandName;
    bool m_is64Bit = false;
    bool m_sse = false;
    bool m_sse2 = false;
};

} // namespace systemsurvey
