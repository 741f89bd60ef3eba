#include "TKeygenCommand.h"

#include "TCommandError.h"
#include "TFileIo.h"

#include "packbuilder/TSigningKey.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace quenmarpack {

QString TKeygenCommand::name() const
{
    return QStringLiteral("keygen");
}

QString TKeygenCommand::summary() const
{
    return QStringLiteral("make a key pair for signing main configurations");
}

QString TKeygenCommand::usage() const
{
    return QStringLiteral("Usage: quenmar-pack keygen PREFIX\n"
                          "\n"
                          "Makes a new Ed25519 key pair:\n"
                          "  PREFIX.key   the private key (PKCS#8 PEM, readable by its owner only); it signs\n"
                          "               main configurations ('build'/'main-config' --sign-key, 'sign').\n"
                          "               Keep it offline: whoever has it can make every player run their code.\n"
                          "  PREFIX.pub   the public key, one line of base64; put it into [SECURITY] publicKeys=\n"
                          "               of the launchersettings.ini in the player bundle.\n"
                          "Neither file is ever overwritten: the command fails when one of them exists.\n");
}

int TKeygenCommand::run(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    if (arguments.size() != 1 || arguments.first().startsWith(QLatin1Char('-'))) {
        err << usage();
        return 2;
    }
    const QString privatePath = arguments.first() + QStringLiteral(".key");
    const QString publicPath = arguments.first() + QStringLiteral(".pub");
    for (const QString& path : {privatePath, publicPath}) {
        if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
            throw TCommandError(QStringLiteral("'%1' already exists; keygen never overwrites a key").arg(path));
    }
    const packbuilder::TSigningKey key = packbuilder::TSigningKey::generate();
    TFileIo::createNew(privatePath, key.privateKeyPem(), 0600);
    try {
        TFileIo::createNew(publicPath, key.publicKeyText(), 0644);
    } catch (const TCommandError&) {
        QFile::remove(privatePath);
        throw;
    }
    out << "private key: " << privatePath << " (keep it offline)\n"
        << "public key: " << publicPath << ": " << key.publicKeyText();
    return 0;
}

} // namespace quenmarpack
