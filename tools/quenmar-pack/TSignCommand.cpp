#include "TSignCommand.h"

#include "TCommandError.h"
#include "TFileIo.h"

#include "packbuilder/TMainConfigurationWriter.h"
#include "packbuilder/TSigningKey.h"

#include <QCommandLineParser>
#include <QTextStream>

namespace quenmarpack {

QString TSignCommand::name() const
{
    return QStringLiteral("sign");
}

QString TSignCommand::summary() const
{
    return QStringLiteral("write the detached signature of a file");
}

QString TSignCommand::usage() const
{
    return QStringLiteral("Usage: quenmar-pack sign --key PREFIX.key FILE...\n"
                          "\n"
                          "Signs the exact bytes of each FILE with the Ed25519 private key from 'quenmar-pack\n"
                          "keygen' and writes the signature to FILE.sig (one line of base64, replaced\n"
                          "atomically). Sign a main configuration after its last change and publish FILE.sig\n"
                          "together with it; 'build' and 'main-config' do both with --sign-key.\n"
                          "\n"
                          "  --key FILE                 the private key (PKCS#8 PEM)\n");
}

int TSignCommand::run(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("key"), QString(), QStringLiteral("file")});
    if (!parser.parse(QStringList{name()} + arguments))
        throw TCommandError(parser.errorText());
    if (parser.positionalArguments().isEmpty() || !parser.isSet(QStringLiteral("key"))) {
        err << usage();
        return 2;
    }
    const packbuilder::TSigningKey key = packbuilder::TSigningKey::fromPemFile(parser.value(QStringLiteral("key")));
    for (const QString& file : parser.positionalArguments()) {
        const QString signaturePath = packbuilder::TMainConfigurationWriter::signaturePath(file);
        TFileIo::write(signaturePath, key.signatureText(TFileIo::read(file)));
        out << "signature: " << signaturePath << '\n';
    }
    return 0;
}

} // namespace quenmarpack
