#include "TCpuInfoParser.h"

#include <QList>

#include <cmath>
#include <set>

namespace systemsurvey {

namespace {

/// The first whitespace-separated word of a field value ("4", "2400.000").
QByteArray firstWord(const QByteArray& value)
{
    const QList<QByteArray> words = value.simplified().split(' ');
    return words.isEmpty() ? QByteArray() : words.first();
}

} // namespace

TCpuInfoParser::TCpuInfoParser(const QByteArray& text)
{
    std::set<QByteArray> physicalIds;
    for (const QByteArray& line : text.split('\n')) {
        const int colon = line.indexOf(':');
        if (colon < 0) {
            continue;
        }
        const QByteArray key = line.left(colon).trimmed();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (key == "physical id") {
            physicalIds.insert(value);
        } else {
            readField(key, value);
        }
    }
    m_physicalProcessorCount = physicalIds.size();
}

void TCpuInfoParser::readField(const QByteArray& key, const QByteArray& value)
{
    if (key == "processor") {
        ++m_logicalProcessorCount;
    } else if (key == "cpu cores") {
        bool ok = false;
        const quint64 cores = firstWord(value).toULongLong(&ok);
        if (ok) {
            m_coreCount = cores;
        }
    } else if (key == "cpu MHz") {
        bool ok = false;
        const double megahertz = firstWord(value).toDouble(&ok);
        if (ok && std::isfinite(megahertz) && megahertz > m_clockSpeed) {
            m_clockSpeed = megahertz;
        }
    }
}

} // namespace systemsurvey
