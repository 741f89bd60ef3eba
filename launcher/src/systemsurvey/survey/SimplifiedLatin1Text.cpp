#include "SimplifiedLatin1Text.h"

namespace systemsurvey {

QString simplifiedLatin1Text(const QByteArray& Bytes)
{
    const int end = Bytes.indexOf('\0');
    return QString::fromLatin1(end < 0 ? Bytes : Bytes.left(end)).simplified();
}

} // namespace systemsurvey
