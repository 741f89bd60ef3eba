#pragma once

#include <QMutex>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace testsupport {

/// Collects every message logged while it exists (from any thread), for checks of log lines.
/// Warnings and worse still reach the previous handler unless the capture is silent. One capture
/// at a time.
class TLogCapture
{
public:
    enum class EForwarding
    {
        WarningsAndWorse,
        Nothing
    };

    explicit TLogCapture(EForwarding forwarding = EForwarding::WarningsAndWorse);
    ~TLogCapture();
    TLogCapture(const TLogCapture&) = delete;
    TLogCapture& operator=(const TLogCapture&) = delete;

    /// Every captured line as "<Type>: <message>" (Info, Debug, Warning, Critical).
    QStringList lines() const;
    /// Lines that match pattern from their start to their end.
    int count(const QString& pattern) const;
    bool contains(const QString& pattern) const { return count(pattern) > 0; }
    /// Lines that contain text anywhere.
    int countContaining(const QString& text) const;
    void clear();

    /// The regular expression of a thread id as the log prints it.
    static QString threadPattern() { return QStringLiteral("0x[0-9a-f]+"); }
    /// Text escaped for use inside a pattern.
    static QString literal(const QString& text) { return QRegularExpression::escape(text); }

private:
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& message);

    mutable QMutex m_mutex;
    QStringList m_lines;
    EForwarding m_forwarding;
    QtMessageHandler m_previous = nullptr;
};

} // namespace testsupport
