#include "support/TTemporaryHome.h"

#include <QFile>

namespace testsupport {

TTemporaryHome::TTemporaryHome() : m_previousHome(qgetenv("HOME")), m_hadHome(qEnvironmentVariableIsSet("HOME"))
{
    if (m_home.isValid())
        qputenv("HOME", QFile::encodeName(m_home.path()));
}

TTemporaryHome::~TTemporaryHome()
{
    if (m_hadHome)
        qputenv("HOME", m_previousHome);
    else
        qunsetenv("HOME");
}

} // namespace testsupport
