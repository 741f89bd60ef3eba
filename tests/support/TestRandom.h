#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace testsupport {

/// size bytes of xorshift64 (13, 7, 17) output from state, each state emitted as 8 little-endian
/// bytes. tests/data/chunking/reference_chunker.py generates the same bytes.
QByteArray xorshiftBytes(quint64 state, int size);
/// Deterministic pseudo-random bytes; different seeds give unrelated streams.
QByteArray pseudoRandom(int size, quint64 seed);

} // namespace testsupport
