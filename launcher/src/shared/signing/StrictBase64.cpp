#include "StrictBase64.h"

namespace shared {

std::optional<QByteArray> decodeStrictBase64(const QByteArray& text, int length, QString& reason)
{
    const QByteArray trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        reason = QStringLiteral("empty");
        return std::nullopt;
    }
    const QByteArray::FromBase64Result decoded =
        QByteArray::fromBase64Encoding(trimmed, QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    // Qt tolerates missing padding and ignores stray bits; only the canonical text counts here.
    if (!decoded || decoded.decoded.toBase64() != trimmed) {
        reason = QStringLiteral("not standard base64");
        return std::nullopt;
    }
    if (decoded.decoded.size() != length) {
        reason = QStringLiteral("%1 bytes instead of %2").arg(decoded.decoded.size()).arg(length);
        return std::nullopt;
    }
    return decoded.decoded;
}

} // namespace shared
