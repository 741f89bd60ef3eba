#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace shared {

/// Decodes Text as standard base64 with padding that must hold exactly `length` bytes. Whitespace
/// around the text is ignored; anything else that is not the canonical encoding of those bytes
/// (other characters, missing or misplaced padding, stray bits in the last character, another
/// length) is refused with a reason for the log in `reason`.
std::optional<QByteArray> decodeStrictBase64(const QByteArray& text, int length, QString& reason);

} // namespace shared
