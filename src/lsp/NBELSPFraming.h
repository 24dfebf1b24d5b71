#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

// The protocol's base framing: a header block naming the body's length,
// CR LF CR LF, then the body.
namespace NBELSPFraming {

inline constexpr qsizetype maxHeaderBytes = 65536;
inline constexpr qint64 maxBodyBytes = 67108864;

QByteArray frame(QByteArrayView body);

// The length named by the first "Content-Length" line of a header block (the
// name in any letter case), or absent when there is none or it is not a number.
std::optional<qint64> contentLength(const QString &header);

struct FramingError
{
    QString reason;
    bool operator==(const FramingError &) const = default;
};

// Cuts message bodies out of a byte stream however it is chunked.
class Decoder
{
public:
    struct Output
    {
        QList<QByteArray> bodies;
        // Set when the stream broke the limits: the connection must end. The
        // bodies complete before the fault are still delivered.
        std::optional<FramingError> error;
    };

    Output push(QByteArrayView chunk);

    // Bytes received and not yet handed out.
    qsizetype pendingBytes() const { return m_buffer.size() - m_start; }

private:
    // Gives one body, nothing (more bytes needed), or sets `error`.
    std::optional<QByteArray> extractOne(std::optional<FramingError> &error);

    QByteArray m_buffer;
    qsizetype m_start = 0;    // consumed prefix, dropped once per push
    qsizetype m_searched = 0; // bytes before this hold no separator
};

} // namespace NBELSPFraming
