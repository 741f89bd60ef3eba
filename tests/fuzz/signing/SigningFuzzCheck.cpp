#include "SigningFuzzCheck.h"

#include "signing/TEd25519Verifier.h"

using shared::TEd25519Verifier;

namespace {

// A parsed text must be exactly the canonical encoding of a value of the expected size.
QString checkParsed(const std::optional<QByteArray>& parsed, const QString& reason, const QByteArray& text, int size)
{
    if (!parsed)
        return reason.isEmpty() ? QStringLiteral("refused without a reason") : QString();
    if (parsed->size() != size)
        return QStringLiteral("accepted %1 bytes instead of %2").arg(parsed->size()).arg(size);
    if (parsed->toBase64() != text.trimmed())
        return QStringLiteral("accepted a text that is not the canonical encoding");
    return QString();
}

} // namespace

QString checkSigningInput(const QByteArray& data)
{
    const int newline = data.indexOf('\n');
    const QByteArray keyText = newline < 0 ? data : data.left(newline);
    const QByteArray signatureText = newline < 0 ? QByteArray() : data.mid(newline + 1);

    QString keyReason;
    const auto key = TEd25519Verifier::parsePublicKey(keyText, keyReason);
    QString problem = checkParsed(key, keyReason, keyText, TEd25519Verifier::PublicKeySize);
    if (!problem.isEmpty())
        return QStringLiteral("key: ") + problem;
    QString signatureReason;
    const auto signature = TEd25519Verifier::parseSignature(signatureText, signatureReason);
    problem = checkParsed(signature, signatureReason, signatureText, TEd25519Verifier::SignatureSize);
    if (!problem.isEmpty())
        return QStringLiteral("signature: ") + problem;

    // With its size: the QByteArray overload would stop at the first NUL byte.
    const TEd25519Verifier verifier({QString::fromLatin1(keyText.constData(), keyText.size())});
    if (verifier.keyCount() != (key ? 1 : 0) || verifier.refusedKeys().size() != (key ? 0u : 1u))
        return QStringLiteral("the verifier disagrees with the key parser");
    // Whatever the input, a check never throws or crashes; a success needs both parts well formed.
    const QString refusal = verifier.refusal(data, signatureText);
    if (refusal.isEmpty() && (!key || !signature))
        return QStringLiteral("a malformed key or signature verified");
    return QString();
}
