#pragma once

#include <QByteArray>
#include <QString>

/// Parses Data as a main configuration document and checks the reader's invariants; returns a
/// description of the first broken invariant, or an empty text. Shared by the fuzz target and
/// the regression test that replays its corpus.
QString checkLauncherConfigurationInput(const QByteArray& data);
