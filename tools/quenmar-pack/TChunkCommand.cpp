#include "TChunkCommand.h"

#include "TCommandError.h"

#include "chunking/TFileChunkScanner.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace quenmarpack {

QString TChunkCommand::name() const
{
    return QStringLiteral("chunk");
}

QString TChunkCommand::summary() const
{
    return QStringLiteral("list the content-defined chunks of a file");
}

QString TChunkCommand::usage() const
{
    return QStringLiteral(
        "Usage: quenmar-pack chunk FILE\n"
        "\n"
        "Cuts FILE with the content-defined chunking that package builds and the launcher use and\n"
        "prints one JSON object per piece, in file order:\n"
        "  {\"offset\":0,\"sha256\":\"<64 hex digits>\",\"size\":5242880}\n"
        "Pieces are 4 MiB to 16 MiB long except the last one. Exits with 1 when FILE can't be read.\n");
}

int TChunkCommand::run(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    if (arguments.size() != 1) {
        err << usage();
        return 2;
    }
    shared::TFileChunkScanner scanner;
    const auto result =
        scanner.scanFile(arguments.first(), [&out](const shared::TChunkPiece& piece, const unsigned char*) {
            QJsonObject line;
            line.insert(QStringLiteral("offset"), static_cast<double>(piece.offset));
            line.insert(QStringLiteral("size"), static_cast<double>(piece.size));
            line.insert(QStringLiteral("sha256"), QString::fromLatin1(piece.sha256.toHex()));
            out << QJsonDocument(line).toJson(QJsonDocument::Compact) << '\n';
            return true;
        });
    if (result != shared::TFileChunkScanner::EResult::Completed)
        throw TCommandError(QStringLiteral("cannot read '%1': %2").arg(arguments.first(), scanner.errorString()));
    return 0;
}

} // namespace quenmarpack
