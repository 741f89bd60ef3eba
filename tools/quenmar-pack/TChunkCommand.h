#pragma once

#include "TCommand.h"

namespace quenmarpack {

/// "chunk FILE": prints the content-defined pieces of a file, one JSON object per line.
class TChunkCommand : public TCommand
{
public:
    QString name() const override;
    QString summary() const override;
    QString usage() const override;
    int run(const QStringList& arguments, QTextStream& out, QTextStream& err) override;
};

} // namespace quenmarpack
