#include "TBuildOptions.h"

#include "TPackBuildError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace packbuilder {

const QString TBuildOptions::DescriptionFileName = QStringLiteral(".quenmar-package.json");

namespace {

QString integerOrText(const QJsonValue& value)
{
    if (value.isDouble())
        return QString::number(static_cast<qint64>(value.toDouble()));
    return value.toString();
}

void setIfUnset(std::optional<QString>& target, const QJsonObject& description, const QString& key)
{
    if (!target && description.contains(key))
        target = integerOrText(description.value(key));
}

} // namespace

void TBuildOptions::applyDescription(const QJsonObject& description)
{
    setIfUnset(version, description, QStringLiteral("version"));
    setIfUnset(executable, description, QStringLiteral("executable"));
    setIfUnset(generation, description, QStringLiteral("generation"));
    setIfUnset(variant, description, QStringLiteral("variant"));
    setIfUnset(assetsVersion, description, QStringLiteral("assetsversion"));
    if (!parameters && description.value(QStringLiteral("parameters")).isArray()) {
        QStringList list;
        for (const QJsonValue& parameter : description.value(QStringLiteral("parameters")).toArray())
            list << parameter.toString();
        parameters = list;
    }
}

void TBuildOptions::applyDescriptionFileOfSource()
{
    const QString path = QDir(sourceDirectory).filePath(DescriptionFileName);
    if (!QFileInfo(path).isFile())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw TPackBuildError(QStringLiteral("cannot open '%1': %2").arg(path, file.errorString()));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        throw TPackBuildError(QStringLiteral("'%1' is not a JSON object: %2").arg(path, error.errorString()));
    applyDescription(document.object());
}

void TBuildOptions::validate() const
{
    if (!QFileInfo(sourceDirectory).isDir())
        throw TPackBuildError(QStringLiteral("source folder '%1' does not exist").arg(sourceDirectory));
    if (outputDirectory.isEmpty())
        throw TPackBuildError(QStringLiteral("no output folder given"));
    if (!assetsSourceDirectory.isEmpty() && !QFileInfo(assetsSourceDirectory).isDir())
        throw TPackBuildError(QStringLiteral("asset folder '%1' does not exist").arg(assetsSourceDirectory));
    static const QStringList generations = {QStringLiteral("first"), QStringLiteral("second")};
    if (generation && !generation->isEmpty() && !generations.contains(*generation))
        throw TPackBuildError(QStringLiteral("unknown generation '%1' (first, second)").arg(*generation));
    static const QStringList variants = {QStringLiteral("regular"), QStringLiteral("preview"), QStringLiteral("beta"),
                                         QStringLiteral("test")};
    if (variant && !variant->isEmpty() && !variants.contains(*variant))
        throw TPackBuildError(QStringLiteral("unknown variant '%1' (regular, preview, beta, test)").arg(*variant));
    if (packageFileName.isEmpty() || packageFileName.contains(QLatin1Char('/')) || assetFileName.isEmpty() ||
        assetFileName.contains(QLatin1Char('/')) || packageFileName == assetFileName)
        throw TPackBuildError(QStringLiteral("document names must be two different plain file names"));
    const int minLevel = shared::TContainerEncoder::minLevel(algorithm);
    const int maxLevel = shared::TContainerEncoder::maxLevel(algorithm);
    if (level != shared::TContainerEncoder::DefaultLevel && (level < minLevel || level > maxLevel))
        throw TPackBuildError(
            QStringLiteral("invalid level %1 (expected %2..%3)").arg(level).arg(minLevel).arg(maxLevel));
    if (deltaHistory < 0)
        throw TPackBuildError(QStringLiteral("invalid delta history %1").arg(deltaHistory));
    if (deltaLevel < 1 || deltaLevel > 19)
        throw TPackBuildError(QStringLiteral("invalid delta level %1 (expected 1..19)").arg(deltaLevel));
}

shared::EContainerAlgorithm TBuildOptions::algorithmFromName(const QString& name)
{
    if (name == QLatin1String("stored"))
        return shared::EContainerAlgorithm::Stored;
    if (name == QLatin1String("deflate"))
        return shared::EContainerAlgorithm::Deflate;
    if (name == QLatin1String("lzip"))
        return shared::EContainerAlgorithm::Lzip;
    if (name == QLatin1String("lzma"))
        return shared::EContainerAlgorithm::Lzma;
    if (name == QLatin1String("zstd"))
        return shared::EContainerAlgorithm::Zstd;
    throw TPackBuildError(QStringLiteral("unknown algorithm '%1' (stored, deflate, lzip, lzma, zstd)").arg(name));
}

} // namespace packbuilder
