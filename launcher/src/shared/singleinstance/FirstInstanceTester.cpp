#include "FirstInstanceTester.h"

namespace shared {

const char* const FirstInstanceTester::singleInstanceKey = "4d7f1c08-2b96-4e3a-b5d1-8c0e6a9f2374";

FirstInstanceTester::FirstInstanceTester(const QString& key, QObject* parent) : QObject(parent), m_sharedMemory(key) {}

void FirstInstanceTester::clearStaleSegment()
{
    // A System V segment outlives a process that was killed. Attaching and detaching removes a
    // segment nobody else is attached to; a running launcher stays attached, so its segment stays.
    if (m_sharedMemory.attach(QSharedMemory::ReadOnly))
        m_sharedMemory.detach();
}

FirstInstanceTester::EResult FirstInstanceTester::tryToBecomeFirstInstance()
{
    // Two rounds: the segment's key comes from a key file in the temporary folder, and only once
    // create() has made that file can a stale segment whose key file was deleted be found again.
    for (int round = 0; round < 2; ++round) {
        clearStaleSegment();
        if (m_sharedMemory.create(1, QSharedMemory::ReadWrite))
            return EResult::FirstInstance;
        if (m_sharedMemory.error() != QSharedMemory::AlreadyExists)
            return EResult::Error;
    }
    return EResult::AlreadyRunning;
}

QString FirstInstanceTester::errorText() const
{
    return QStringLiteral("QSharedMemory::SharedMemoryError(%1)").arg(static_cast<int>(m_sharedMemory.error()));
}

} // namespace shared
