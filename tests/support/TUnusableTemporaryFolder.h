#pragma once

#include <QByteArray>
#include <QTemporaryDir>

namespace testsupport {

/// Points TMPDIR at a file while it lives, so that anything made in the system's temporary folder
/// fails: proof that a component keeps its temporary data elsewhere. Restores TMPDIR at the end.
class TUnusableTemporaryFolder
{
public:
    TUnusableTemporaryFolder();
    ~TUnusableTemporaryFolder();
    TUnusableTemporaryFolder(const TUnusableTemporaryFolder&) = delete;
    TUnusableTemporaryFolder& operator=(const TUnusableTemporaryFolder&) = delete;

    bool isValid() const { return m_valid; }

private:
    QTemporaryDir m_holder;
    QByteArray m_previous;
    bool m_wasSet = false;
    bool m_valid = false;
};

} // namespace testsupport
