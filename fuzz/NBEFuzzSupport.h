#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Reports a broken property of an engine's output as a crash, so libFuzzer
// keeps the input that shows it.
#define NBE_FUZZ_CHECK(condition)                                                                  \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "fuzz oracle failed: %s (%s:%d)\n", #condition, __FILE__,         \
                         __LINE__);                                                                \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

// Reads an input as a few leading choice bytes followed by text.
class NBEFuzzInput
{
public:
    NBEFuzzInput(const uint8_t *data, size_t size)
        : m_data(data)
        , m_size(size)
    {}

    // The next byte, or 0 once the input is used up.
    uint8_t byte()
    {
        if (m_offset >= m_size)
            return 0;
        return m_data[m_offset++];
    }
    // A number from the next two bytes, spread over [0, limit].
    int upTo(int limit)
    {
        const int raw = (byte() << 8) | byte();
        return limit <= 0 ? 0 : raw % (limit + 1);
    }
    // Everything not read yet; invalid UTF-8 becomes replacement characters.
    QString rest() const { return QString::fromUtf8(restBytes()); }
    QByteArray restBytes() const
    {
        return QByteArray(reinterpret_cast<const char *>(m_data + m_offset),
                          qsizetype(m_size - m_offset));
    }
    // The rest cut in two at the first NUL byte (the second part is empty
    // without one).
    std::pair<QString, QString> twoTexts() const
    {
        const QByteArray bytes = restBytes();
        const qsizetype cut = bytes.indexOf('\0');
        if (cut < 0)
            return {QString::fromUtf8(bytes), QString()};
        return {QString::fromUtf8(bytes.left(cut)), QString::fromUtf8(bytes.mid(cut + 1))};
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_offset = 0;
};
