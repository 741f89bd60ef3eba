#include "TCommand.h"

namespace quenmarpack {

TCommand::~TCommand() = default;

} // namespace quenmarpack
