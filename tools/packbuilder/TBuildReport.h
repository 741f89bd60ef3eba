#pragma once

#include <QString>

namespace packbuilder {

/// What a package build did.
struct TBuildReport
{
    QString packageDocumentPath;
    /// Empty when the build has no asset document.
    QString assetDocumentPath;
    int fileCount = 0;
    /// Distinct chunks of both documents.
    int chunkCount = 0;
    int objectsWritten = 0;
    int objectsReused = 0;
    int objectsPruned = 0;
    quint64 contentBytes = 0;
    quint64 bytesWritten = 0;
    int deltasWritten = 0;
    int deltasReused = 0;
    quint64 deltaBytesWritten = 0;
};

} // namespace packbuilder
