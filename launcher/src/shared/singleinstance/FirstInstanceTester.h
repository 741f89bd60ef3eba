#pragma once

#include <QObject>
#include <QSharedMemory>
#include <QString>

namespace shared {

/// Holds a one-byte system shared-memory segment for as long as it lives, so that a second
/// launcher can tell that one is already running.
class FirstInstanceTester : public QObject
{
    Q_OBJECT

public:
    enum class EResult
    {
        FirstInstance,
        AlreadyRunning,
        Error
    };

    static const char* const singleInstanceKey;

    explicit FirstInstanceTester(const QString& key = QString::fromLatin1(singleInstanceKey),
                                 QObject* parent = nullptr);

    /// Creates the segment. A segment left behind by a launcher that was killed is cleared first;
    /// one held by a running launcher gives AlreadyRunning.
    EResult tryToBecomeFirstInstance();
    QSharedMemory::SharedMemoryError error() const { return m_sharedMemory.error(); }
    /// "QSharedMemory::SharedMemoryError(<code>)" for an unexpected failure.
    QString errorText() const;

private:
    void clearStaleSegment();

    QSharedMemory m_sharedMemory;
};

} // namespace shared
