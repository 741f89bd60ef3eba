#include "SimplifiedLatin1Text.h"

namespace systemsurvey {

QString simplifiedLatin1Text(const QByteArray& bytes)
{
    const int end = bytes.indexOf('\0');
    return QString::fromLatin1(end < 0 ? bytes : bytes.left(end)).simplified();
}

} // namespace systemsurvey
