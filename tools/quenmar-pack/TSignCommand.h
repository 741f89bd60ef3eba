#pragma once

#include "TCommand.h"

namespace quenmarpack {

/// "sign --key PREFIX.key FILE...": writes the detached signature FILE.sig of each file.
class TSignCommand : public TCommand
{
public:
    QString name() const override;
    QString summary() const override;
    QString usage() const override;
    int run(const QStringList& arguments, QTextStream& out, QTextStream& err) override;
};

} // namespace quenmarpack
