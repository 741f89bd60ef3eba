#include "TCpuIdReader.h"

#include "SimplifiedLatin1Text.h"

#include <QHash>

#include <array>
#include <cstdint>
#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#define QUENMAR_HAS_CPUID 1
#endif

namespace systemsurvey {

namespace {

const QString UnknownManufacturer = QStringLiteral("Unknown Manufacturer");
const QString BrandNameNotSupported = QStringLiteral("Acquiring Brand Name not supported");

constexpr unsigned ExtendedBase = 0x80000000u;
constexpr unsigned ExtendedFeatures = 0x80000001u;
constexpr unsigned FirstBrandLeaf = 0x80000002u;
constexpr unsigned LastBrandLeaf = 0x80000004u;
constexpr unsigned LongModeBit = 29;
constexpr unsigned SseBit = 25;
constexpr unsigned Sse2Bit = 26;

const QHash<QByteArray, QString>& vendorTable()
{
    // Some manufacturer texts start with a blank; the receiving side knows them that way.
    static const QHash<QByteArray, QString> table = {
        {"AMDisbetter!", QStringLiteral("AMD")},
        {"AuthenticAMD", QStringLiteral("AMD")},
        {"CentaurHauls", QStringLiteral("Centaur")},
        {"CyrixInstead", QStringLiteral("Cyrix")},
        {"GenuineIntel", QStringLiteral("Intel")},
        {"TransmetaCPU", QStringLiteral("Transmeta")},
        {"GenuineTMx86", QStringLiteral("Transmeta")},
        {"Geode by NSC", QStringLiteral("National Semiconductor")},
        {"NexGenDriven", QStringLiteral("NexGen")},
        {"RiseRiseRise", QStringLiteral("Rise")},
        {"SiS SiS SiS ", QStringLiteral("SiS")},
        {"UMC UMC UMC ", QStringLiteral("UMC")},
        {"VIA VIA VIA ", QStringLiteral("VIA")},
        {"Vortex86 SoC", QStringLiteral(" Vortex")},
        {"KVMKVMKVMKVM", QStringLiteral("KVM")},
        {"Microsoft Hv", QStringLiteral("Microsoft Hyper-V or Windows Virtual PC")},
        {"VMwareVMware", QStringLiteral("VMware")},
        {"XenVMMXenVMM", QStringLiteral(" Xen HVM")},
    };
    return table;
}

#ifdef QUENMAR_HAS_CPUID
struct TCpuIdRegisters
{
    unsigned eax = 0;
    unsigned ebx = 0;
    unsigned ecx = 0;
    unsigned edx = 0;
};

TCpuIdRegisters cpuId(unsigned leaf)
{
    TCpuIdRegisters registers;
    __cpuid(leaf, registers.eax, registers.ebx, registers.ecx, registers.edx);
    return registers;
}

void appendRegister(QByteArray& text, unsigned registerValue)
{
    std::array<char, sizeof(std::uint32_t)> bytes{};
    const std::uint32_t value = registerValue;
    std::memcpy(bytes.data(), &value, bytes.size());
    text.append(bytes.data(), static_cast<int>(bytes.size()));
}

bool bitIsSet(unsigned registerValue, unsigned bit)
{
    return ((registerValue >> bit) & 1u) != 0;
}
#endif

} // namespace

TCpuIdReader::TCpuIdReader() : m_brandName(BrandNameNotSupported)
{
    read();
}

QString TCpuIdReader::manufacturerForVendor(const QByteArray& vendor)
{
    return vendorTable().value(vendor, UnknownManufacturer);
}

void TCpuIdReader::read()
{
#ifdef QUENMAR_HAS_CPUID
    const TCpuIdRegisters leaf0 = cpuId(0);
    appendRegister(m_vendor, leaf0.ebx);
    appendRegister(m_vendor, leaf0.edx);
    appendRegister(m_vendor, leaf0.ecx);

    const unsigned highestExtendedLeaf = cpuId(ExtendedBase).eax;
    if (highestExtendedLeaf >= LastBrandLeaf) {
        QByteArray brand;
        for (unsigned leaf = FirstBrandLeaf; leaf <= LastBrandLeaf; ++leaf) {
            const TCpuIdRegisters registers = cpuId(leaf);
            appendRegister(brand, registers.eax);
            appendRegister(brand, registers.ebx);
            appendRegister(brand, registers.ecx);
            appendRegister(brand, registers.edx);
        }
        m_brandName = simplifiedLatin1Text(brand);
    }
    if (highestExtendedLeaf > ExtendedBase) {
        m_is64Bit = bitIsSet(cpuId(ExtendedFeatures).edx, LongModeBit);
    }
    // Leaf 1 exists on every processor that reports a highest basic leaf of at least 1.
    if (leaf0.eax >= 1) {
        const TCpuIdRegisters features = cpuId(1);
        m_sse = bitIsSet(features.edx, SseBit);
        m_sse2 = bitIsSet(features.edx, Sse2Bit);
    }
#endif
}

} // namespace systemsurvey
