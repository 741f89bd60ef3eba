#pragma once

#include <QByteArray>
#include <QString>

/// Parses Data as a hints document, chooses a hint at several instants and checks the
/// invariants of both steps; returns a description of the first broken invariant, or an empty
/// text. Shared by the fuzz target and the regression test that replays its corpus.
QString checkHintsInput(const QByteArray& data);
