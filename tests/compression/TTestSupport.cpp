#include "TTestSupport.h"

#include <QProcess>
#include <QStandardPaths>

namespace {

quint32 nextRandom(quint32& state)
{
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

} // namespace

QByteArray TTestSupport::text(int size, quint32 seed)
{
    static const char* const words[] = {"chunk ", "package ", "launcher ", "quenmar ", "update ", "file ",
                                        "hash ",  "client ",  "offset ",   "size\n",   "0x70 ",   "verify "};
    QByteArray result;
    result.reserve(size + 16);
    quint32 state = seed;
    while (result.size() < size)
        result.append(words[nextRandom(state) % 12]);
    result.truncate(size);
    return result;
}

QByteArray TTestSupport::noise(int size, quint32 seed)
{
    QByteArray result(size, Qt::Uninitialized);
    quint32 state = seed;
    for (char& byte : result)
        byte = static_cast<char>(nextRandom(state));
    return result;
}

TTestSupport::Result TTestSupport::run(const QString& program, const QStringList& arguments, const QByteArray& input)
{
    Result result;
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted())
        return result;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}

QByteArray TTestSupport::filter(const QString& program, const QStringList& arguments, const QByteArray& input,
                                QString* error)
{
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty()) {
        *error = program + " is not installed (scripts/setup-deps.sh installs it)";
        return {};
    }
    const Result result = run(path, arguments, input);
    if (result.exitCode != 0) {
        *error = QStringLiteral("%1 %2 failed: %3").arg(program, arguments.join(' '), QString::fromUtf8(result.err));
        return {};
    }
    error->clear();
    return result.out;
}

QByteArray TTestSupport::withLzmaSizeField(QByteArray payload, quint64 size)
{
    for (int index = 0; index < 8; ++index)
        payload[5 + index] = static_cast<char>((size >> (8 * index)) & 0xFF);
    return payload;
}
