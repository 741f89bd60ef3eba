#include "TThreadPoolWaitScope.h"

#include <QThreadPool>

namespace orvan::launcher {

TThreadPoolWaitScope::TThreadPoolWaitScope()
{
    QThreadPool::globalInstance()->releaseThread();
}

TThreadPoolWaitScope::~TThreadPoolWaitScope()
{
    QThreadPool::globalInstance()->reserveThread();
}

} // namespace orvan::launcher
