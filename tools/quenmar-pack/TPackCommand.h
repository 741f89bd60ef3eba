#pragma once

#include "TCommand.h"

namespace quenmarpack {

/// "pack --algorithm NAME [--level N] IN OUT": wraps a file in a compressed container.
class TPackCommand : public TCommand
{
public:
    QString name() const override;
    QString summary() const override;
    QString usage() const override;
    int run(const QStringList& arguments, QTextStream& out, QTextStream& err) override;
};

} // namespace quenmarpack
