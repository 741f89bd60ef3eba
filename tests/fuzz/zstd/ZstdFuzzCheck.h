#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

/// Decodes Data as a container (meant for zstd containers, id 7) with a bound that keeps each
/// input within a fuzzer's memory budget, and checks what a successful decode promises: no more
/// bytes than declared, exactly the frame's content size, and output that survives a round trip
/// through the encoder. Returns a description of the first broken invariant, or an empty text.
/// Shared by the fuzz target and the test that replays its seeds and their mutations.
QString checkZstdContainerInput(const QByteArray& data);

/// Small, valid zstd containers of several kinds of content and levels: the fuzzer's seeds,
/// generated rather than kept in the tree.
QList<QByteArray> zstdContainerSeeds();
