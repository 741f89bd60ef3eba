#pragma once

#include "TCommand.h"

namespace quenmarpack {

/// "build SOURCE OUT [options]": publishes a source folder as a package (objects and documents),
/// optionally listing it in a main configuration document.
class TBuildCommand : public TCommand
{
public:
    QString name() const override;
    QString summary() const override;
    QString usage() const override;
    int run(const QStringList& arguments, QTextStream& out, QTextStream& err) override;
};

} // namespace quenmarpack
