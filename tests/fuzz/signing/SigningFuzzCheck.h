#pragma once

#include <QByteArray>
#include <QString>

/// Reads Data as a public key text, a newline and a signature text, parses both and checks a
/// signature with them; returns a description of the first broken invariant, or an empty text.
/// Shared by the fuzz target and the unit test of the signing library.
QString checkSigningInput(const QByteArray& data);
