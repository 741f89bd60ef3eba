#pragma once

#include <QMutex>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace downloadertest {

/// Collects every message logged while it exists (from any thread), for checks of log lines.
/// Warnings and worse still reach the previous handler. One capture at a time.
class TLogCapture
{
public:
    TLogCapture();
    ~TLogCapture();
    TLogCapture(const TLogCapture&) = delete;
    TLogCapture& operator=(const TLogCapture&) = delete;

    /// Every captured line as "<Type>: <message>" (Info, Debug, Warning, Critical).
    QStringList lines() const;
    /// Lines that match Pattern from their start to their end.
    int count(const QString& Pattern) const;
    bool contains(const QString& Pattern) const { return count(Pattern) > 0; }
    /// Lines that contain Text anywhere.
    int countContaining(const QString& Text) const;
    void clear();

    /// The regular expression of a thread id as the log prints it.
    static QString threadPattern() { return QStringLiteral("0x[0-9a-f]+"); }
    /// Text escaped for use inside a pattern.
    static QString literal(const QString& Text) { return QRegularExpression::escape(Text); }

private:
    static void handler(QtMsgType Type, const QMessageLogContext& Context, const QString& Message);

    mutable QMutex m_mutex;
    QStringList m_lines;
    QtMessageHandler m_previous = nullptr;
};

} // namespace downloadertest
