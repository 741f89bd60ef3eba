#include "TObjectQueue.h"

#include "TPackBuildError.h"

#include <QThreadPool>
#include <QtConcurrent>

#include <exception>

namespace packbuilder {

TObjectQueue::TObjectQueue(const TObjectStore& store)
    : m_store(store), m_slotsFree(QThreadPool::globalInstance()->maxThreadCount() + 1)
{}

TObjectQueue::~TObjectQueue()
{
    for (QFuture<TJobResult>& job : m_jobs)
        job.waitForFinished();
}

int TObjectQueue::slotFor(const QByteArray& unpackedHash, quint64 unpackedSize,
                          const std::function<QByteArray()>& content)
{
    const auto known = m_slotByHash.constFind(unpackedHash);
    if (known != m_slotByHash.constEnd())
        return known.value();

    const QByteArray data = m_store.canReuseWithoutContent(unpackedHash) ? QByteArray() : content();
    m_slotsFree.acquire();
    m_jobs.push_back(QtConcurrent::run([this, data, unpackedHash, unpackedSize] {
        TJobResult result;
        try {
            result.object = m_store.store(data, unpackedHash, unpackedSize);
        } catch (const std::exception& error) {
            result.error = QString::fromUtf8(error.what());
        }
        m_slotsFree.release();
        return result;
    }));
    const int slot = static_cast<int>(m_jobs.size()) - 1;
    m_slotByHash.insert(unpackedHash, slot);
    return slot;
}

std::vector<TStoredObject> TObjectQueue::finish()
{
    std::vector<TStoredObject> objects;
    objects.reserve(m_jobs.size());
    QString firstError;
    for (QFuture<TJobResult>& job : m_jobs) {
        const TJobResult result = job.result();
        if (!result.error.isEmpty() && firstError.isEmpty())
            firstError = result.error;
        objects.push_back(result.object);
    }
    if (!firstError.isEmpty())
        throw TPackBuildError(firstError);
    return objects;
}

} // namespace packbuilder
