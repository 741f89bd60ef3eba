#pragma once

#include "TObjectStore.h"
#include "TStoredObject.h"

#include <QByteArray>
#include <QFuture>
#include <QHash>
#include <QSemaphore>
#include <QString>

#include <functional>
#include <vector>

namespace packbuilder {

/// Stores objects on the global thread pool, so that compression uses every core, while the
/// caller goes on reading the source. Each distinct content is stored once; at most a few objects
/// are in flight, which bounds the memory held for them.
class TObjectQueue
{
public:
    explicit TObjectQueue(const TObjectStore& store);
    ~TObjectQueue();
    TObjectQueue(const TObjectQueue&) = delete;
    TObjectQueue& operator=(const TObjectQueue&) = delete;

    /// The slot of the object with this content, queueing it when it is new. Content is asked
    /// for only when the store needs it.
    int slotFor(const QByteArray& unpackedHash, quint64 unpackedSize, const std::function<QByteArray()>& content);

    /// Waits for every queued object; throws TPackBuildError with the first failure.
    std::vector<TStoredObject> finish();

private:
    struct TJobResult
    {
        TStoredObject object;
        QString error;
    };

    const TObjectStore& m_store;
    QSemaphore m_slotsFree;
    QHash<QByteArray, int> m_slotByHash;
    std::vector<QFuture<TJobResult>> m_jobs;
};

} // namespace packbuilder
