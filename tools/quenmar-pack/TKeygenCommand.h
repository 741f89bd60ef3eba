#pragma once

#include "TCommand.h"

namespace quenmarpack {

/// "keygen PREFIX": makes an Ed25519 key pair for signing main configurations, PREFIX.key
/// (private, PKCS#8 PEM, mode 0600) and PREFIX.pub (the base64 line for launchersettings.ini).
class TKeygenCommand : public TCommand
{
public:
    QString name() const override;
    QString summary() const override;
    QString usage() const override;
    int run(const QStringList& arguments, QTextStream& out, QTextStream& err) override;
};

} // namespace quenmarpack
