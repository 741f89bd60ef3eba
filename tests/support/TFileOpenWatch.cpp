#include "support/TFileOpenWatch.h"

#include <QFile>

#include <chrono>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

namespace {

const QString ImageName = QStringLiteral("watched.png");
const QString FifoName = QStringLiteral("watched.fifo");

} // namespace

TFileOpenWatch::TFileOpenWatch()
{
    QFile file(filePath());
    m_valid = m_directory.isValid() && file.open(QIODevice::WriteOnly) && file.write("not an image") > 0 &&
              ::mkfifo(QFile::encodeName(fifoPath()).constData(), 0600) == 0;
    file.close();
    // The watch starts after the files were made, so that only later opens are seen.
    m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    m_valid = m_valid && m_inotify >= 0 &&
              ::inotify_add_watch(m_inotify, QFile::encodeName(m_directory.path()).constData(), IN_OPEN) >= 0;
    if (m_valid) {
        m_fifoWriter = std::thread([this] { releaseFifoReaders(); });
    }
}

TFileOpenWatch::~TFileOpenWatch()
{
    m_stop = true;
    if (m_fifoWriter.joinable()) {
        m_fifoWriter.join();
    }
    if (m_inotify >= 0) {
        ::close(m_inotify);
    }
}

QString TFileOpenWatch::filePath() const
{
    return m_directory.filePath(ImageName);
}

QString TFileOpenWatch::fifoPath() const
{
    return m_directory.filePath(FifoName);
}

QStringList TFileOpenWatch::openedFiles()
{
    alignas(inotify_event) char buffer[sizeof(inotify_event) + NAME_MAX + 1];
    ssize_t size = 0;
    while ((size = ::read(m_inotify, buffer, sizeof(buffer))) > 0) {
        for (ssize_t offset = 0; offset < size;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            if (event->len > 0) {
                m_opened << QFile::decodeName(event->name);
            }
            offset += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    return m_opened;
}

void TFileOpenWatch::releaseFifoReaders()
{
    // Opening the write end without blocking succeeds only while a reader waits; closing it again gives that reader
    // end of file. The loop ends with the watch.
    const QByteArray fifo = QFile::encodeName(fifoPath());
    while (!m_stop) {
        const int writer = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (writer >= 0) {
            ::close(writer);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

} // namespace testsupport
