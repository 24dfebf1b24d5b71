#include "NBELSPFraming.h"

#include <algorithm>
#include <limits>

namespace NBELSPFraming {

namespace {
constexpr QByteArrayView separator("\r\n\r\n");

bool isLineBreak(QChar c)
{
    const char16_t u = c.unicode();
    return u == 0x0A || u == 0x0B || u == 0x0C || u == 0x0D || u == 0x85 || u == 0x2028 ||
           u == 0x2029;
}

bool isHorizontalSpace(QChar c)
{
    return c.isSpace() && !isLineBreak(c);
}

QStringView trimmedHorizontal(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isHorizontalSpace(text[begin]))
        ++begin;
    while (end > begin && isHorizontalSpace(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

std::optional<qint64> parseInteger(QStringView text)
{
    if (text.isEmpty())
        return std::nullopt;
    qsizetype i = 0;
    bool negative = false;
    if (text[0] == u'+' || text[0] == u'-') {
        negative = text[0] == u'-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u < u'0' || u > u'9')
            return std::nullopt;
        if (value > (std::numeric_limits<qint64>::max() - (u - u'0')) / 10)
            return std::nullopt;
        value = value * 10 + (u - u'0');
    }
    return negative ? -value : value;
}
} // namespace

QByteArray frame(QByteArrayView body)
{
    QByteArray framed("Content-Length: ");
    framed.reserve(framed.size() + 24 + body.size());
    framed.append(QByteArray::number(body.size()));
    framed.append(separator);
    framed.append(body);
    return framed;
}

std::optional<qint64> contentLength(const QString &header)
{
    qsizetype lineStart = 0;
    const qsizetype n = header.size();
    while (lineStart <= n) {
        qsizetype lineEnd = lineStart;
        while (lineEnd < n && !isLineBreak(header[lineEnd]))
            ++lineEnd;
        const QStringView line = QStringView(header).mid(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;
        if (line.isEmpty())
            continue;
        const qsizetype colon = line.indexOf(u':');
        if (colon <= 0 || colon == line.size() - 1)
            continue; // fewer than two non-empty pieces
        const QStringView name = trimmedHorizontal(line.left(colon));
        if (name.compare(u"content-length", Qt::CaseInsensitive) != 0)
            continue;
        return parseInteger(trimmedHorizontal(line.mid(colon + 1)));
    }
    return std::nullopt;
}

std::optional<QByteArray> Decoder::extractOne(std::optional<FramingError> &error)
{
    for (;;) {
        // Bytes already searched are not searched again: a header that
        // arrives a byte at a time would otherwise be rescanned per byte.
        const qsizetype from = std::max(m_start, m_searched - (separator.size() - 1));
        const qsizetype found = QByteArrayView(m_buffer).indexOf(separator, from);
        m_searched = found < 0 ? m_buffer.size() : found;
        if (found < 0 || found - m_start > maxHeaderBytes) {
            if (pendingBytes() > maxHeaderBytes)
                error = FramingError{QStringLiteral("header exceeded %1 bytes without terminator")
                                         .arg(maxHeaderBytes)};
            return std::nullopt;
        }
        const auto length =
            contentLength(QString::fromUtf8(m_buffer.constData() + m_start, found - m_start));
        const qsizetype bodyStart = found + separator.size();
        if (!length) {
            m_start = bodyStart; // a header block without a usable length is skipped
            continue;
        }
        if (*length < 0 || *length > maxBodyBytes) {
            error = FramingError{
                QStringLiteral("Content-Length %1 exceeds max %2").arg(*length).arg(maxBodyBytes)};
            return std::nullopt;
        }
        if (m_buffer.size() - bodyStart < *length)
            return std::nullopt;
        QByteArray body(m_buffer.constData() + bodyStart, *length);
        m_start = bodyStart + *length;
        return body;
    }
}

Decoder::Output Decoder::push(QByteArrayView chunk)
{
    if (m_start > 0 && m_start == m_buffer.size()) {
        m_buffer.clear();
        m_start = 0;
        m_searched = 0;
    }
    m_buffer.append(chunk);
    Output output;
    while (auto body = extractOne(output.error))
        output.bodies.append(std::move(*body));
    if (m_start > 0) {
        m_buffer.remove(0, m_start);
        m_searched = std::max<qsizetype>(m_searched - m_start, 0);
        m_start = 0;
    }
    return output;
}

} // namespace NBELSPFraming
