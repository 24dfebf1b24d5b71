#include "NBEJSONParser.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include <QStringDecoder>

#include <simdjson.h>

namespace NBEJSONParser {

namespace {

// QString::fromUtf8 drops a leading U+FEFF, but inside a JSON string it is
// text (a file's own byte-order mark, say) and has to survive.
QString utf8Text(const char *data, qsizetype size)
{
    if (size < 3 || static_cast<unsigned char>(data[0]) != 0xEF)
        return QString::fromUtf8(data, size);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(data, size));
}

constexpr double twoTo63 = 9223372036854775808.0;

// Whole doubles that fit 64 bits are ints, whatever their spelling.
NBEJSONValue number(double real)
{
    if (std::trunc(real) == real && real >= -twoTo63 && real < twoTo63)
        return NBEJSONValue(static_cast<qint64>(real));
    return NBEJSONValue(real);
}

class Reader
{
public:
    explicit Reader(QByteArrayView text)
        : m_at(text.data())
        , m_end(text.data() + text.size())
    {}

    std::optional<NBEJSONValue> document()
    {
        skipSpace();
        auto value = readValue(0);
        skipSpace();
        if (!value || m_at != m_end)
            return std::nullopt;
        return value;
    }

private:
    void skipSpace()
    {
        while (m_at < m_end && (*m_at == ' ' || *m_at == '\n' || *m_at == '\r' || *m_at == '\t'))
            ++m_at;
    }

    bool literal(const char *word, size_t length)
    {
        if (static_cast<size_t>(m_end - m_at) < length || std::memcmp(m_at, word, length) != 0)
            return false;
        m_at += length;
        return true;
    }

    std::optional<NBEJSONValue> readValue(int depth)
    {
        if (m_at == m_end)
            return std::nullopt;
        switch (*m_at) {
        case '{':
            return depth < maxDepth ? readObject(depth + 1) : std::nullopt;
        case '[':
            return depth < maxDepth ? readArray(depth + 1) : std::nullopt;
        case '"': {
            auto text = readString();
            if (!text)
                return std::nullopt;
            return NBEJSONValue(std::move(*text));
        }
        case 't':
            return literal("true", 4) ? std::optional(NBEJSONValue(true)) : std::nullopt;
        case 'f':
            return literal("false", 5) ? std::optional(NBEJSONValue(false)) : std::nullopt;
        case 'n':
            return literal("null", 4) ? std::optional(NBEJSONValue()) : std::nullopt;
        default:
            return readNumber();
        }
    }

    std::optional<NBEJSONValue> readObject(int depth)
    {
        ++m_at; // '{'
        NBEJSONValue::Object object;
        skipSpace();
        if (m_at < m_end && *m_at == '}') {
            ++m_at;
            return NBEJSONValue(std::move(object));
        }
        for (;;) {
            skipSpace();
            if (m_at == m_end || *m_at != '"')
                return std::nullopt;
            auto key = readString();
            if (!key)
                return std::nullopt;
            skipSpace();
            if (m_at == m_end || *m_at != ':')
                return std::nullopt;
            ++m_at;
            skipSpace();
            auto value = readValue(depth);
            if (!value)
                return std::nullopt;
            object.insert(std::move(*key), std::move(*value));
            skipSpace();
            if (m_at == m_end)
                return std::nullopt;
            if (*m_at == ',') {
                ++m_at;
                continue;
            }
            if (*m_at != '}')
                return std::nullopt;
            ++m_at;
            return NBEJSONValue(std::move(object));
        }
    }

    std::optional<NBEJSONValue> readArray(int depth)
    {
        ++m_at; // '['
        NBEJSONValue::Array array;
        skipSpace();
        if (m_at < m_end && *m_at == ']') {
            ++m_at;
            return NBEJSONValue(std::move(array));
        }
        for (;;) {
            skipSpace();
            auto value = readValue(depth);
            if (!value)
                return std::nullopt;
            array.append(std::move(*value));
            skipSpace();
            if (m_at == m_end)
                return std::nullopt;
            if (*m_at == ',') {
                ++m_at;
                continue;
            }
            if (*m_at != ']')
                return std::nullopt;
            ++m_at;
            return NBEJSONValue(std::move(array));
        }
    }

    static int hexDigit(char c)
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    std::optional<QString> readString()
    {
        ++m_at; // '"'
        const char *run = m_at;
        // Fast path: no escapes.
        while (m_at < m_end && *m_at != '"' && *m_at != '\\') {
            if (static_cast<unsigned char>(*m_at) < 0x20)
                return std::nullopt;
            ++m_at;
        }
        if (m_at == m_end)
            return std::nullopt;
        if (*m_at == '"') {
            QString text = utf8Text(run, m_at - run);
            ++m_at;
            return text;
        }
        QString text = utf8Text(run, m_at - run);
        while (m_at < m_end) {
            const char c = *m_at;
            if (c == '"') {
                ++m_at;
                return text;
            }
            if (static_cast<unsigned char>(c) < 0x20)
                return std::nullopt;
            if (c != '\\') {
                run = m_at;
                while (m_at < m_end && *m_at != '"' && *m_at != '\\' &&
                       static_cast<unsigned char>(*m_at) >= 0x20)
                    ++m_at;
                text += utf8Text(run, m_at - run);
                continue;
            }
            if (++m_at == m_end)
                return std::nullopt;
            switch (*m_at++) {
            case '"':
                text += u'"';
                break;
            case '\\':
                text += u'\\';
                break;
            case '/':
                text += u'/';
                break;
            case 'b':
                text += u'\b';
                break;
            case 'f':
                text += u'\f';
                break;
            case 'n':
                text += u'\n';
                break;
            case 'r':
                text += u'\r';
                break;
            case 't':
                text += u'\t';
                break;
            case 'u': {
                if (m_end - m_at < 4)
                    return std::nullopt;
                int code = 0;
                for (int i = 0; i < 4; ++i) {
                    const int digit = hexDigit(m_at[i]);
                    if (digit < 0)
                        return std::nullopt;
                    code = code * 16 + digit;
                }
                m_at += 4;
                text += QChar(static_cast<char16_t>(code)); // pairs combine in UTF-16
                break;
            }
            default:
                return std::nullopt;
            }
        }
        return std::nullopt;
    }

    std::optional<NBEJSONValue> readNumber()
    {
        const char *start = m_at;
        const char *p = m_at;
        if (p < m_end && *p == '-')
            ++p;
        if (p == m_end)
            return std::nullopt;
        if (*p == '0') {
            ++p;
        } else if (*p >= '1' && *p <= '9') {
            while (p < m_end && *p >= '0' && *p <= '9')
                ++p;
        } else {
            return std::nullopt;
        }
        bool integral = true;
        if (p < m_end && *p == '.') {
            integral = false;
            const char *digits = ++p;
            while (p < m_end && *p >= '0' && *p <= '9')
                ++p;
            if (p == digits)
                return std::nullopt;
        }
        if (p < m_end && (*p == 'e' || *p == 'E')) {
            integral = false;
            ++p;
            if (p < m_end && (*p == '+' || *p == '-'))
                ++p;
            const char *digits = p;
            while (p < m_end && *p >= '0' && *p <= '9')
                ++p;
            if (p == digits)
                return std::nullopt;
        }
        m_at = p;
        if (integral) {
            qint64 integer = 0;
            const auto [end, error] = std::from_chars(start, p, integer);
            if (error == std::errc() && end == p)
                return NBEJSONValue(integer);
        }
        double real = 0;
        const auto [end, error] = std::from_chars(start, p, real);
        if (end != p || (error != std::errc() && error != std::errc::result_out_of_range))
            return std::nullopt;
        if (error == std::errc::result_out_of_range)
            real = std::strtod(QByteArray(start, p - start).constData(), nullptr);
        return number(real);
    }

    const char *m_at;
    const char *m_end;
};

NBEJSONValue fromSimdjson(simdjson::dom::element element)
{
    // Each case reads the kind the element says it has.
    switch (element.type()) {
    case simdjson::dom::element_type::ARRAY: {
        simdjson::dom::array items;
        NBEJSONValue::Array array;
        if (!element.get(items)) {
            for (simdjson::dom::element item : items)
                array.append(fromSimdjson(item));
        }
        return array;
    }
    case simdjson::dom::element_type::OBJECT: {
        simdjson::dom::object members;
        NBEJSONValue::Object object;
        if (!element.get(members)) {
            // A repeated key keeps its last value.
            for (const simdjson::dom::key_value_pair member : members)
                object.insert(utf8Text(member.key.data(), qsizetype(member.key.size())),
                              fromSimdjson(member.value));
        }
        return object;
    }
    case simdjson::dom::element_type::INT64: {
        int64_t value = 0;
        return element.get(value) ? NBEJSONValue() : NBEJSONValue(qint64(value));
    }
    case simdjson::dom::element_type::UINT64: {
        uint64_t value = 0;
        return element.get(value) ? NBEJSONValue() : NBEJSONValue(double(value));
    }
    case simdjson::dom::element_type::DOUBLE: {
        double value = 0;
        return element.get(value) ? NBEJSONValue() : number(value);
    }
    case simdjson::dom::element_type::STRING: {
        std::string_view text;
        return element.get(text) ? NBEJSONValue()
                                 : NBEJSONValue(utf8Text(text.data(), qsizetype(text.size())));
    }
    case simdjson::dom::element_type::BOOL: {
        bool value = false;
        return element.get(value) ? NBEJSONValue() : NBEJSONValue(value);
    }
    case simdjson::dom::element_type::NULL_VALUE:
        break;
    }
    return NBEJSONValue();
}

// Shallower than the own reader's limit: anything deeper is the own
// reader's to refuse or take.
constexpr size_t simdjsonDepth = maxDepth / 2;

} // namespace

std::optional<NBEJSONValue> parse(QByteArrayView text)
{
    // One parser per thread keeps its buffers between messages, up to the
    // size of a long completion list: buffers grown for a page's list of
    // thousands of diagnostics would stay with every pool thread that ever
    // read one.
    constexpr size_t startBytes = 64 * 1024;
    constexpr size_t keptBytes = 256 * 1024;
    thread_local simdjson::dom::parser parser;
    thread_local bool ready = parser.allocate(startBytes, simdjsonDepth) == simdjson::SUCCESS;
    // A byte-order mark is no white space to the own reader.
    if (ready && !text.startsWith("\xEF\xBB\xBF")) {
        std::optional<NBEJSONValue> value;
        simdjson::dom::element root;
        if (!parser.parse(text.data(), size_t(text.size()), true).get(root))
            value = fromSimdjson(root);
        if (size_t(text.size()) > keptBytes) {
            parser = simdjson::dom::parser();
            ready = parser.allocate(startBytes, simdjsonDepth) == simdjson::SUCCESS;
        }
        if (value)
            return value;
    }
    return parseByteByByte(text);
}

std::optional<NBEJSONValue> parseByteByByte(QByteArrayView text)
{
    return Reader(text).document();
}

} // namespace NBEJSONParser
