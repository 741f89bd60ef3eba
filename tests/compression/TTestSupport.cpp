#include "TTestSupport.h"

#include "support/TestProcess.h"

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

QByteArray TTestSupport::filter(const QString& program, const QStringList& arguments, const QByteArray& input,
                                QString* error)
{
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty()) {
        *error = program + " is not installed (scripts/setup-deps.sh installs it)";
        return {};
    }
    const testsupport::TProcessResult result = testsupport::runProcess(path, arguments, input);
    if (result.exitCode != 0) {
        *error = QStringLiteral("%1 %2 failed: %3")
                     .arg(program, arguments.join(' '), QString::fromUtf8(result.standardError));
        return {};
    }
    error->clear();
    return result.standardOutput;
}

QByteArray TTestSupport::withLzmaSizeField(QByteArray payload, quint64 size)
{
    for (int index = 0; index < 8; ++index)
        payload[5 + index] = static_cast<char>((size >> (8 * index)) & 0xFF);
    return payload;
}
