#include "TUnpackCommand.h"

#include "TCommandError.h"
#include "TFileIo.h"

#include "compression/TContainerDecoder.h"
#include "compression/TDecompressionError.h"

#include <QTextStream>

namespace quenmarpack {

QString TUnpackCommand::name() const
{
    return QStringLiteral("unpack");
}

QString TUnpackCommand::summary() const
{
    return QStringLiteral("decode a compressed container file");
}

QString TUnpackCommand::usage() const
{
    return QStringLiteral("Usage: quenmar-pack unpack IN OUT\n"
                          "\n"
                          "Decodes the compressed container in the file IN and writes the decoded bytes to OUT.\n"
                          "A file that is not a container is copied unchanged. Exits with 1 when IN cannot be\n"
                          "read or decoded, or OUT cannot be written.\n");
}

int TUnpackCommand::run(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    Q_UNUSED(out)
    if (arguments.size() != 2) {
        err << usage();
        return 2;
    }
    const QString& inputPath = arguments.at(0);
    const QByteArray input = TFileIo::read(inputPath);
    QByteArray output;
    if (shared::TContainerDecoder::decode(input, output) == shared::TContainerDecoder::EResult::Failed)
        throw TCommandError(inputPath + QStringLiteral(": ") + QString::fromUtf8(shared::TDecompressionError().what()));
    TFileIo::write(arguments.at(1), output);
    return 0;
}

} // namespace quenmarpack
