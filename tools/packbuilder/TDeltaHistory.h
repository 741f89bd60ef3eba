#pragma once

#include "TPublishedDelta.h"

#include <QByteArray>
#include <QDir>
#include <QHash>
#include <QString>

#include <vector>

namespace packbuilder {

/// What an output folder knows of the versions published into it before, for deltas: the chunk
/// lists of the version its documents describe, those of older versions kept in the history file
/// beside the package document, and the deltas the documents already list (so that a build reuses
/// them instead of computing them again).
class TDeltaHistory
{
public:
    /// Reads the documents and the history file of Output; what is missing or unreadable is
    /// simply not known. Keeps at most Depth versions, newest first.
    TDeltaHistory(const QDir& output, const QString& packageFileName, const QString& assetFileName, int depth);

    /// Newest first: the published version, then the older ones from the history file.
    const std::vector<TPublishedLayout>& versions() const { return m_versions; }
    /// The deltas the published documents list, by the raw SHA-256 of their chunk.
    const QHash<QByteArray, std::vector<TPublishedDelta>>& knownDeltas() const { return m_knownDeltas; }

    /// Saves Versions (newest first) as the history file of the package document.
    static void write(const QDir& output, const QString& packageFileName,
                      const std::vector<TPublishedLayout>& versions);
    static QString historyFileName(const QString& packageFileName);

private:
    void readDocuments(const QDir& output, const QString& packageFileName, const QString& assetFileName);
    void readHistoryFile(const QDir& output, const QString& packageFileName, int depth);

    std::vector<TPublishedLayout> m_versions;
    QHash<QByteArray, std::vector<TPublishedDelta>> m_knownDeltas;
};

} // namespace packbuilder
