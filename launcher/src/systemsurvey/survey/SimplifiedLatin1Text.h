#pragma once

#include <QByteArray>
#include <QString>

namespace systemsurvey {

/// Bytes from the processor or an external program as text: Latin-1 up to the first zero byte,
/// trimmed, inner whitespace runs collapsed to one blank.
QString simplifiedLatin1Text(const QByteArray& bytes);

} // namespace systemsurvey
