#include "PackageConfigurationFuzzCheck.h"

#include "configuration/TPackageConfigurationReader.h"
#include "configuration/VersionText.h"

#include <algorithm>

using namespace orvan::launcher;

namespace {

QString checkFile(const TPackageConfigurationReader& reader, const TFileInPackage& file)
{
    const auto found = reader.files().find(file.localFile);
    if (found == reader.files().end() || found->localFile != file.localFile) {
        return QStringLiteral("a listed file is not found by name");
    }
    if (!reader.hasValidChunkIndices(file)) {
        return {};
    }
    // Only indices that passed the check are used, as the installation code does.
    quint64 total = 0;
    bool overflow = false;
    for (const qint32 index : file.chunkIndices) {
        const quint64 size = reader.chunks().at(static_cast<std::size_t>(index)).unpackedSize;
        overflow = overflow || total + size < total;
        total += size;
    }
    const bool addsUp = file.chunkIndices.empty() || (!overflow && total == file.unpackedSize);
    if (reader.chunksAddUpToFileSize(file) != addsUp) {
        return QStringLiteral("the chunk size check disagrees with the sum of the chunk sizes");
    }
    return {};
}

} // namespace

QString checkPackageConfigurationInput(const QByteArray& data)
{
    const int separator = data.indexOf('\0');
    const QByteArray package = separator < 0 ? data : data.left(separator);
    const QByteArray asset = separator < 0 ? QByteArray() : data.mid(separator + 1);
    const TPackageConfigurationReader reader(package, asset, QUrl(QStringLiteral("https://cdn.example.com/pkg/42")),
                                             QUrl(QStringLiteral("file:///var/lib/assets/")));
    if (reader.packageDocument() != package || reader.assetDocument() != asset) {
        return QStringLiteral("the raw documents were not kept");
    }
    if (!versionText(reader).startsWith(QLatin1Char('P'))) {
        return QStringLiteral("malformed version text");
    }
    if (!reader.isValid() && (!reader.files().empty() || !reader.chunks().empty() || !reader.version().isEmpty())) {
        return QStringLiteral("an invalid reader holds data");
    }
    const TFileInPackageVector& files = reader.files();
    const auto byName = [](const TFileInPackage& left, const TFileInPackage& right) {
        return left.localFile < right.localFile;
    };
    if (!std::is_sorted(files.begin(), files.end(), byName)) {
        return QStringLiteral("files are not sorted");
    }
    for (const TFileInPackage& file : files) {
        const QString problem = checkFile(reader, file);
        if (!problem.isEmpty()) {
            return problem;
        }
    }
    // A copy is what background tasks get; it must stand on its own.
    const TPackageConfigurationReader copy = reader;
    if (copy.files().size() != files.size() || copy.chunks().size() != reader.chunks().size()) {
        return QStringLiteral("a copy differs");
    }
    return {};
}
