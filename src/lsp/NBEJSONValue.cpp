#include "NBEJSONValue.h"

#include "NBEJSONParser.h"

#include <QHashFunctions>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <cmath>
#include <limits>

namespace {

const NBEJSONValue::Array &emptyArray()
{
    static const NBEJSONValue::Array empty;
    return empty;
}

const NBEJSONValue::Object &emptyObject()
{
    static const NBEJSONValue::Object empty;
    return empty;
}

// 2^63 as a double: the first value that no longer fits a signed 64-bit int.
constexpr double twoTo63 = 9223372036854775808.0;

bool fitsInt64(double value)
{
    return value >= -twoTo63 && value < twoTo63;
}

void appendEscapedUtf8(QByteArray &out, QStringView text)
{
    static const char hex[] = "0123456789abcdef";
    const QByteArray utf8 = text.toUtf8();
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c >= 0x20 && c != '"' && c != '\\')
            continue;
        out.append(utf8.constData() + runStart, i - runStart);
        runStart = i + 1;
        switch (c) {
        case '"':
            out.append("\\\"");
            break;
        case '\\':
            out.append("\\\\");
            break;
        case '\n':
            out.append("\\n");
            break;
        case '\r':
            out.append("\\r");
            break;
        case '\t':
            out.append("\\t");
            break;
        case '\b':
            out.append("\\b");
            break;
        case '\f':
            out.append("\\f");
            break;
        default:
            out.append("\\u00");
            out.append(hex[c >> 4]);
            out.append(hex[c & 0xF]);
        }
    }
    out.append(utf8.constData() + runStart, utf8.size() - runStart);
}

void appendEscaped(QByteArray &out, const QString &text)
{
    out.append('"');
    // A lone surrogate (which a "\\udc00" escape may carry in) has no UTF-8
    // form; it is written as an escape again so the text reads back the same.
    qsizetype runStart = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (!QChar::isSurrogate(u))
            continue;
        if (QChar::isHighSurrogate(u) && i + 1 < n &&
            QChar::isLowSurrogate(text[i + 1].unicode())) {
            ++i;
            continue;
        }
        appendEscapedUtf8(out, QStringView(text).sliced(runStart, i - runStart));
        out.append(QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0')).toLatin1());
        runStart = i + 1;
    }
    appendEscapedUtf8(out, QStringView(text).sliced(runStart));
    out.append('"');
}

} // namespace

NBEJSONValue NBEJSONValue::array(std::initializer_list<NBEJSONValue> elements)
{
    return NBEJSONValue(Array(elements));
}

NBEJSONValue NBEJSONValue::object(std::initializer_list<std::pair<QString, NBEJSONValue>> members)
{
    Object object;
    for (const auto &[key, value] : members)
        object.insert(key, value);
    return NBEJSONValue(std::move(object));
}

NBEJSONValue::Kind NBEJSONValue::kind() const
{
    switch (m_value.index()) {
    case 1:
        return Kind::bool_;
    case 2:
        return Kind::int_;
    case 3:
        return Kind::double_;
    case 4:
        return Kind::string;
    case 5:
        return Kind::array;
    case 6:
        return Kind::object;
    default:
        return Kind::null;
    }
}

std::optional<NBEJSONValue> NBEJSONValue::operator[](const QString &key) const
{
    if (const NBEJSONValue *member = find(key))
        return *member;
    return std::nullopt;
}

const NBEJSONValue *NBEJSONValue::find(const QString &key) const
{
    const auto *object = std::get_if<std::shared_ptr<const Object>>(&m_value);
    if (!object)
        return nullptr;
    const auto it = (*object)->constFind(key);
    return it == (*object)->cend() ? nullptr : &it.value();
}

std::optional<QString> NBEJSONValue::stringValue() const
{
    if (const auto *text = std::get_if<QString>(&m_value))
        return *text;
    return std::nullopt;
}

std::optional<NBEJSONValue::Array> NBEJSONValue::arrayValue() const
{
    if (const auto *array = std::get_if<std::shared_ptr<const Array>>(&m_value))
        return **array;
    return std::nullopt;
}

std::optional<NBEJSONValue::Object> NBEJSONValue::objectValue() const
{
    if (const auto *object = std::get_if<std::shared_ptr<const Object>>(&m_value))
        return **object;
    return std::nullopt;
}

std::optional<bool> NBEJSONValue::boolValue() const
{
    if (const auto *flag = std::get_if<bool>(&m_value))
        return *flag;
    return std::nullopt;
}

std::optional<qint64> NBEJSONValue::intValue() const
{
    if (const auto *integer = std::get_if<qint64>(&m_value))
        return *integer;
    if (const auto *real = std::get_if<double>(&m_value)) {
        const double truncated = std::trunc(*real);
        if (std::isfinite(truncated) && fitsInt64(truncated))
            return static_cast<qint64>(truncated);
    }
    return std::nullopt;
}

std::optional<double> NBEJSONValue::doubleValue() const
{
    if (const auto *real = std::get_if<double>(&m_value))
        return *real;
    if (const auto *integer = std::get_if<qint64>(&m_value))
        return static_cast<double>(*integer);
    return std::nullopt;
}

const NBEJSONValue::Array &NBEJSONValue::arrayRef() const
{
    if (const auto *array = std::get_if<std::shared_ptr<const Array>>(&m_value))
        return **array;
    return emptyArray();
}

const NBEJSONValue::Object &NBEJSONValue::objectRef() const
{
    if (const auto *object = std::get_if<std::shared_ptr<const Object>>(&m_value))
        return **object;
    return emptyObject();
}

NBEJSONValue NBEJSONValue::fromQJsonValue(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Bool:
        return NBEJSONValue(value.toBool());
    case QJsonValue::Double: {
        // Integers keep full 64-bit precision when the text had no fraction.
        const qint64 sentinel = std::numeric_limits<qint64>::min();
        const qint64 integer = value.toInteger(sentinel);
        if (integer != sentinel)
            return NBEJSONValue(integer);
        const double real = value.toDouble();
        if (std::trunc(real) == real && fitsInt64(real))
            return NBEJSONValue(static_cast<qint64>(real));
        return NBEJSONValue(real);
    }
    case QJsonValue::String:
        return NBEJSONValue(value.toString());
    case QJsonValue::Array: {
        const QJsonArray source = value.toArray();
        Array array;
        array.reserve(source.size());
        for (const QJsonValue &element : source)
            array.append(fromQJsonValue(element));
        return NBEJSONValue(std::move(array));
    }
    case QJsonValue::Object: {
        const QJsonObject source = value.toObject();
        Object object;
        for (auto it = source.begin(); it != source.end(); ++it)
            object.insert(it.key(), fromQJsonValue(it.value()));
        return NBEJSONValue(std::move(object));
    }
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        break;
    }
    return NBEJSONValue();
}

NBEResult<NBEJSONValue> NBEJSONValue::decode(const QByteArray &json)
{
    if (auto value = NBEJSONParser::parse(json))
        return std::move(*value);
    return nbeFailure(QStringLiteral("Unsupported JSON value"));
}

bool NBEJSONValue::encodeTo(QByteArray &out) const
{
    switch (m_value.index()) {
    case 1:
        out.append(std::get<bool>(m_value) ? "true" : "false");
        return true;
    case 2:
        out.append(QByteArray::number(std::get<qint64>(m_value)));
        return true;
    case 3: {
        const double real = std::get<double>(m_value);
        if (!std::isfinite(real))
            return false;
        out.append(QByteArray::number(real, 'g', QLocale::FloatingPointShortest));
        return true;
    }
    case 4:
        appendEscaped(out, std::get<QString>(m_value));
        return true;
    case 5: {
        out.append('[');
        bool first = true;
        for (const NBEJSONValue &element : arrayRef()) {
            if (!first)
                out.append(',');
            first = false;
            if (!element.encodeTo(out))
                return false;
        }
        out.append(']');
        return true;
    }
    case 6: {
        out.append('{');
        bool first = true;
        const Object &object = objectRef();
        for (auto it = object.cbegin(); it != object.cend(); ++it) {
            if (!first)
                out.append(',');
            first = false;
            appendEscaped(out, it.key());
            out.append(':');
            if (!it.value().encodeTo(out))
                return false;
        }
        out.append('}');
        return true;
    }
    default:
        out.append("null");
        return true;
    }
}

NBEResult<QByteArray> NBEJSONValue::encoded() const
{
    QByteArray out;
    if (!encodeTo(out))
        return nbeFailure(QStringLiteral("A number that is not finite cannot be written as JSON."));
    return out;
}

bool NBEJSONValue::operator==(const NBEJSONValue &other) const
{
    if (m_value.index() != other.m_value.index())
        return false;
    switch (m_value.index()) {
    case 1:
        return std::get<bool>(m_value) == std::get<bool>(other.m_value);
    case 2:
        return std::get<qint64>(m_value) == std::get<qint64>(other.m_value);
    case 3:
        return std::get<double>(m_value) == std::get<double>(other.m_value);
    case 4:
        return std::get<QString>(m_value) == std::get<QString>(other.m_value);
    case 5:
        return arrayRef() == other.arrayRef();
    case 6:
        return objectRef() == other.objectRef();
    default:
        return true;
    }
}

size_t qHash(const NBEJSONValue &value, size_t seed)
{
    using Kind = NBEJSONValue::Kind;
    switch (value.kind()) {
    case Kind::null:
        return qHash(0, seed);
    case Kind::bool_:
        return qHashMulti(seed, 1, *value.boolValue());
    case Kind::int_:
        return qHashMulti(seed, 2, *value.intValue());
    case Kind::double_: {
        double real = *value.doubleValue();
        if (real == 0.0)
            real = 0.0; // -0.0 equals 0.0, so it must hash the same
        return qHashMulti(seed, 3, real);
    }
    case Kind::string:
        return qHashMulti(seed, 4, *value.stringValue());
    case Kind::array: {
        size_t hash = qHashMulti(seed, 5, value.arrayRef().size());
        for (const NBEJSONValue &element : value.arrayRef())
            hash = qHash(element, hash);
        return hash;
    }
    case Kind::object: {
        // A sum does not depend on the order the entries are visited in.
        size_t combined = 0;
        const NBEJSONValue::Object &object = value.objectRef();
        for (auto it = object.cbegin(); it != object.cend(); ++it)
            combined += qHashMulti(0, it.key(), it.value());
        return qHashMulti(seed, 6, combined);
    }
    }
    return seed;
}
