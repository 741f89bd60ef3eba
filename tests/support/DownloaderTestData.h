#pragma once

#include "configuration/TChunkInPackage.h"
#include "installation/TFileToDownload.h"
#include "support/TLogCapture.h"
#include "support/TestFiles.h"
#include "support/TestRandom.h"

#include <QByteArray>
#include <QString>

#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

namespace testsupport {
class TTestHttpServer;
}
namespace orvan::launcher {
class TLauncherFilesystemHelper;
}

namespace downloadertest {

using orvan::launcher::TChunkInPackage;
using orvan::launcher::TFileToDownload;
using testsupport::pseudoRandom;
using testsupport::readFile;
using testsupport::TLogCapture;
using testsupport::writeFile;

/// Launcher settings for a test; unset values keep the program's defaults.
struct TTestSettings
{
    std::optional<int> maxCachedChunks;
    std::optional<int> maxConcurrentDownloads;
    std::optional<bool> chunkVerification;
    std::optional<bool> skipVerification;
    std::optional<bool> fastScan;
};

/// Writes launchersettings.ini into Directory (with the usual folder and marker names) and
/// returns a paths helper that reads it.
std::shared_ptr<orvan::launcher::TLauncherFilesystemHelper> makeHelper(const QString& directory,
                                                                       const TTestSettings& settings = {});

/// One chunk served by the test server: its content and the record that describes it.
struct TServedChunk
{
    QByteArray content;
    /// What the server sends (the content itself, or its container).
    QByteArray body;
    TChunkInPackage chunk;
    QString path;
};

/// Content wrapped in a container of the given algorithm id (0 stored, 5 LZMA), or sent as it
/// is when Algorithm is negative; served under Path (not registered with the server).
TServedChunk makeChunk(const testsupport::TTestHttpServer& server, const QString& path, const QByteArray& content,
                       int algorithm = 0);

/// A file made of Chunks in this order; Positions are the ones to download (all when empty).
TFileToDownload fileOf(const QString& localFile, const std::vector<const TServedChunk*>& chunks,
                       std::vector<qint32> positions = {}, bool executable = false);

/// The concatenated contents of Chunks.
QByteArray contentOf(const std::vector<const TServedChunk*>& chunks);

} // namespace downloadertest
