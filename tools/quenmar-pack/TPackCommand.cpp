#include "TPackCommand.h"

#include "TCommandError.h"
#include "TCompressionLevelOption.h"
#include "TFileIo.h"

#include "compression/TContainerEncoder.h"

#include <QTextStream>

#include <map>
#include <optional>

namespace quenmarpack {

namespace {

const std::map<QString, shared::EContainerAlgorithm>& algorithmsByName()
{
    static const std::map<QString, shared::EContainerAlgorithm> algorithms = {
        {QStringLiteral("stored"), shared::EContainerAlgorithm::Stored},
        {QStringLiteral("deflate"), shared::EContainerAlgorithm::Deflate},
        {QStringLiteral("lzip"), shared::EContainerAlgorithm::Lzip},
        {QStringLiteral("lzma"), shared::EContainerAlgorithm::Lzma},
        {QStringLiteral("zstd"), shared::EContainerAlgorithm::Zstd},
    };
    return algorithms;
}

struct PackOptions
{
    QString algorithm;
    std::optional<QString> level;
    QStringList paths;
};

/// Accepts "--option value" and "--option=value" in any position among the two paths.
PackOptions parseOptions(const QStringList& arguments)
{
    PackOptions options;
    for (int index = 0; index < arguments.size(); ++index) {
        const QString& argument = arguments.at(index);
        const int equals = argument.indexOf(QLatin1Char('='));
        const QString key = argument.startsWith(QLatin1String("--")) ? argument.left(equals) : QString();
        if (key.isEmpty()) {
            options.paths << argument;
            continue;
        }
        QString value;
        if (equals >= 0)
            value = argument.mid(equals + 1);
        else if (index + 1 < arguments.size())
            value = arguments.at(++index);
        else
            throw TCommandError(QStringLiteral("missing value for %1").arg(key));
        if (key == QLatin1String("--algorithm"))
            options.algorithm = value;
        else if (key == QLatin1String("--level"))
            options.level = value;
        else
            throw TCommandError(QStringLiteral("unknown option %1").arg(key));
    }
    return options;
}

} // namespace

QString TPackCommand::name() const
{
    return QStringLiteral("pack");
}

QString TPackCommand::summary() const
{
    return QStringLiteral("wrap a file in a compressed container");
}

QString TPackCommand::usage() const
{
    return QStringLiteral("Usage: quenmar-pack pack --algorithm stored|deflate|lzip|lzma|zstd [--level N] IN OUT\n"
                          "\n"
                          "Compresses the file IN with the algorithm and writes the container to OUT:\n"
                          "  stored   the bytes as they are (id 0)\n"
                          "  deflate  raw DEFLATE stream (id 3), default level 9\n"
                          "  lzip     lzip member (id 4), default level 6\n"
                          "  lzma     LZMA stream with the 13-byte .lzma header (id 5), default level 6\n"
                          "  zstd     one zstd frame with content size and checksum (id 7), levels 1..19,\n"
                          "           default 19\n"
                          "Levels are 0..9 for deflate, lzip and lzma.\n"
                          "An empty IN gives an empty OUT, which unpacks to an empty file.\n");
}

int TPackCommand::run(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    Q_UNUSED(out)
    const PackOptions options = parseOptions(arguments);
    if (options.paths.size() != 2 || options.algorithm.isEmpty()) {
        err << usage();
        return 2;
    }
    const auto algorithm = algorithmsByName().find(options.algorithm);
    if (algorithm == algorithmsByName().end())
        throw TCommandError(QStringLiteral("unknown algorithm '%1'").arg(options.algorithm));

    const int level = options.level ? TCompressionLevelOption::parse(*options.level, algorithm->second)
                                    : shared::TContainerEncoder::DefaultLevel;

    const QByteArray input = TFileIo::read(options.paths.at(0));
    TFileIo::write(options.paths.at(1), shared::TContainerEncoder::encode(input, algorithm->second, level));
    return 0;
}

} // namespace quenmarpack
