#pragma once

#include <QByteArray>
#include <QString>

/// Splits Data at its first NUL byte into a package and an asset document, parses them and
/// checks the reader's invariants; returns a description of the first broken invariant, or an
/// empty text. Shared by the fuzz target and the regression test that replays its corpus.
QString checkPackageConfigurationInput(const QByteArray& data);
