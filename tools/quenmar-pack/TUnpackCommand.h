#pragma once

#include "TCommand.h"

namespace quenmarpack {

/// "unpack IN OUT": decodes a container file; a file that is not a container is copied unchanged.
class TUnpackCommand : public TCommand
{
public:
    QString name() const override;
    QString summary() const override;
    QString usage() const override;
    int run(const QStringList& arguments, QTextStream& out, QTextStream& err) override;
};

} // namespace quenmarpack
