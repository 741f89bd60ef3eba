#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

/// Points HOME at a fresh temporary folder while it lives, so that the per-user folders of
/// QStandardPaths (its test mode included) and QSettings belong to this test process alone: runs of
/// the same test in parallel, from other build trees too, no longer share saved files. Create it
/// before anything reads those folders, typically as a member of the test class.
class TTemporaryHome
{
public:
    TTemporaryHome();
    ~TTemporaryHome();
    TTemporaryHome(const TTemporaryHome&) = delete;
    TTemporaryHome& operator=(const TTemporaryHome&) = delete;

    bool isValid() const { return m_home.isValid(); }
    QString path() const { return m_home.path(); }

private:
    QTemporaryDir m_home;
    QByteArray m_previousHome;
    bool m_hadHome = false;
};

} // namespace testsupport
