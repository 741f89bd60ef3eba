#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <atomic>
#include <thread>

namespace testsupport {

/// A temporary folder with a file and a FIFO whose opening a test can observe: every open of a file in the
/// folder is recorded through inotify. A reader that opens the FIFO is let through at once and reads end of file, so
/// code that should not open it makes the test fail instead of hanging. Linux only; GUI thread.
class TFileOpenWatch
{
public:
    TFileOpenWatch();
    ~TFileOpenWatch();
    TFileOpenWatch(const TFileOpenWatch&) = delete;
    TFileOpenWatch& operator=(const TFileOpenWatch&) = delete;

    /// True when the folder, both files and the watch exist.
    bool isValid() const { return m_valid; }
    QString path() const { return m_directory.path(); }
    /// A regular file named like a picture; nothing should read it, so it holds no image.
    QString filePath() const;
    QString fifoPath() const;
    /// Names of the files in the folder that were opened since construction, in order.
    QStringList openedFiles();

private:
    void releaseFifoReaders();

    QTemporaryDir m_directory;
    int m_inotify = -1;
    bool m_valid = false;
    QStringList m_opened;
    std::atomic<bool> m_stop{false};
    std::thread m_fifoWriter;
};

} // namespace testsupport
