#include "NBERateLimitedLog.h"

#include <cstring>

NBERateLimitedLog::NBERateLimitedLog(qsizetype bytesPerSecond)
    : m_budget(bytesPerSecond)
{}

void NBERateLimitedLog::openWindowIfDue(qint64 nowMs, QStringList &lines)
{
    if (m_windowStart >= 0 && nowMs - m_windowStart < 1000)
        return;
    if (m_dropped > 0)
        lines.append(QStringLiteral("\u2026 %1 lines dropped").arg(m_dropped));
    m_windowStart = nowMs;
    m_used = 0;
    m_dropped = 0;
}

void NBERateLimitedLog::keep(QByteArrayView line, QStringList &lines)
{
    if (line.endsWith('\r'))
        line.chop(1);
    if (m_dropped > 0 || m_used + line.size() > m_budget) {
        ++m_dropped;
        return;
    }
    m_used += line.size();
    lines.append(QString::fromUtf8(line));
}

QStringList NBERateLimitedLog::take(QByteArrayView chunk, qint64 nowMs)
{
    QStringList lines;
    openWindowIfDue(nowMs, lines);
    while (!chunk.isEmpty()) {
        const auto *end =
            static_cast<const char *>(std::memchr(chunk.data(), '\n', size_t(chunk.size())));
        const qsizetype length = end ? end - chunk.data() : chunk.size();
        if (!end) {
            m_partial += chunk.first(std::min(length, longestLine - m_partial.size()));
            if (m_partial.size() >= longestLine) {
                keep(m_partial, lines);
                m_partial.clear();
            }
            break;
        }
        if (m_partial.isEmpty()) {
            keep(chunk.first(std::min(length, longestLine)), lines);
        } else {
            m_partial += chunk.first(std::min(length, longestLine - m_partial.size()));
            keep(m_partial, lines);
            m_partial.clear();
        }
        chunk = chunk.sliced(length + 1);
    }
    return lines;
}

QStringList NBERateLimitedLog::finish(qint64 nowMs)
{
    QStringList lines;
    openWindowIfDue(nowMs, lines);
    if (!m_partial.isEmpty()) {
        keep(m_partial, lines);
        m_partial.clear();
    }
    if (m_dropped > 0) {
        lines.append(QStringLiteral("\u2026 %1 lines dropped").arg(m_dropped));
        m_dropped = 0;
    }
    return lines;
}
