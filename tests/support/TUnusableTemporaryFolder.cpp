#include "support/TUnusableTemporaryFolder.h"

#include <QFile>

namespace testsupport {

TUnusableTemporaryFolder::TUnusableTemporaryFolder()
    : m_previous(qgetenv("TMPDIR")), m_wasSet(qEnvironmentVariableIsSet("TMPDIR"))
{
    // Made before TMPDIR changes: the holder itself lives in the real temporary folder.
    QFile notAFolder(m_holder.filePath(QStringLiteral("not-a-folder")));
    m_valid = m_holder.isValid() && notAFolder.open(QIODevice::WriteOnly);
    if (m_valid)
        qputenv("TMPDIR", QFile::encodeName(notAFolder.fileName()));
}

TUnusableTemporaryFolder::~TUnusableTemporaryFolder()
{
    if (m_wasSet)
        qputenv("TMPDIR", m_previous);
    else
        qunsetenv("TMPDIR");
}

} // namespace testsupport
