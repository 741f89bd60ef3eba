#pragma once

#include "configuration/TPackageConfigurationReader.h"

#include "packbuilder/TBuildOptions.h"
#include "support/TestFiles.h"
#include "support/TestRandom.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <functional>

namespace packagetest {

using orvan::launcher::TPackageConfigurationReader;
using testsupport::pseudoRandom;
using testsupport::readFile;
using testsupport::writeFile;

/// Length of a block made by chunkBlock(): the content-defined chunking cuts it off exactly.
extern const int BlockSize;

/// Bytes that form exactly one chunk when a chunk starts at their first byte: random bytes up to
/// the minimum chunk size followed by three bytes that cut right there. Concatenated blocks are
/// cut into exactly these blocks.
QByteArray chunkBlock(quint64 seed);
/// Blocks with the given seeds, concatenated.
QByteArray blocks(std::initializer_list<quint64> seeds);

/// Applies Edit to the file object named localFile of a package document.
QByteArray editFile(const QByteArray& document, const QString& localFile,
                    const std::function<void(QJsonObject&)>& edit);

/// Build options for test packages: stored objects, files above 4 MiB chunked.
packbuilder::TBuildOptions testBuildOptions(const QString& source, const QString& output, const QString& version);
/// Builds Source into Output with the project's package builder and reads the result back.
TPackageConfigurationReader buildPackage(const QString& source, const QString& output, const QString& version);
TPackageConfigurationReader buildPackage(const packbuilder::TBuildOptions& options);
/// Reads the package document in Output (and the asset document when assetFileName is given).
TPackageConfigurationReader readPackage(const QString& output, const QString& assetFileName = QString());

} // namespace packagetest
