#pragma once

#include "TCommand.h"

namespace quenmarpack {

/// "main-config FOLDER --main-config FILE [options]": lists an already built package in a main
/// configuration document.
class TMainConfigCommand : public TCommand
{
public:
    QString name() const override;
    QString summary() const override;
    QString usage() const override;
    int run(const QStringList& arguments, QTextStream& out, QTextStream& err) override;
};

} // namespace quenmarpack
