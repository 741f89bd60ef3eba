#pragma once

#include "chunking/TChunkPiece.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace chunkingtest {

constexpr int MiB = 1024 * 1024;

/// The input of the golden vectors: random, zero and patterned stretches (see reference_chunker.py).
QByteArray goldenStream();

/// The committed expectations written by the reference chunker.
struct TGoldenVectors
{
    QByteArray gearTableSha256;
    qint64 streamSize = 0;
    QByteArray streamSha256;
    std::vector<shared::TChunkPiece> pieces;
};

/// Reads tests/data/chunking/golden_pieces.txt; hashes come back raw (32 bytes).
TGoldenVectors readGoldenVectors();

/// Empty when equal, else a description of the first difference.
QString describeDifference(const std::vector<shared::TChunkPiece>& actual,
                           const std::vector<shared::TChunkPiece>& expected);

} // namespace chunkingtest
