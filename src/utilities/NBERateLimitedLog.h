#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

// The lines of a chatty source (a language server's standard error) that
// may go to the log: at most `bytesPerSecond` of them in any one-second
// window. Lines past that are counted and said as one line when the next
// window opens, so a flood costs the log a few lines a second.
class NBERateLimitedLog
{
public:
    explicit NBERateLimitedLog(qsizetype bytesPerSecond = 16 * 1024);

    // The lines to log now, `chunk` read at `nowMs` (a steady clock). A
    // line waits for its end, up to a cap past which it is cut.
    QStringList take(QByteArrayView chunk, qint64 nowMs);
    // At the end of the source: the unfinished line and the count still unsaid.
    QStringList finish(qint64 nowMs);
    // Lines dropped and not said yet.
    qsizetype pendingDrops() const { return m_dropped; }

    static constexpr qsizetype longestLine = 4096;

private:
    void openWindowIfDue(qint64 nowMs, QStringList &lines);
    void keep(QByteArrayView line, QStringList &lines);

    qsizetype m_budget;
    qint64 m_windowStart = -1;
    qsizetype m_used = 0;
    qsizetype m_dropped = 0;
    QByteArray m_partial;
};
