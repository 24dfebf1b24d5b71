#pragma once

#include "NBEError.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <concepts>
#include <cstddef>
#include <initializer_list>
#include <memory>
#include <optional>
#include <utility>
#include <variant>

class QJsonValue;

// The dynamic JSON value of the language server protocol: every params,
// result and error data is one. A plain value; arrays and objects are shared
// immutably between copies, so copying is cheap.
class NBEJSONValue
{
public:
    enum class Kind { bool_, int_, double_, string, array, object, null };
    using Array = QList<NBEJSONValue>;
    using Object = QMap<QString, NBEJSONValue>;

    NBEJSONValue() = default;
    NBEJSONValue(std::nullptr_t) {}
    NBEJSONValue(bool value)
        : m_value(value)
    {}
    template <std::integral T>
    requires(!std::same_as<T, bool>) NBEJSONValue(T value)
        : m_value(static_cast<qint64>(value))
    {}
    NBEJSONValue(double value)
        : m_value(value)
    {}
    NBEJSONValue(const QString &value)
        : m_value(value)
    {}
    NBEJSONValue(QString &&value)
        : m_value(std::move(value))
    {}
    NBEJSONValue(const char *utf8)
        : m_value(QString::fromUtf8(utf8))
    {}
    NBEJSONValue(Array value)
        : m_value(std::make_shared<const Array>(std::move(value)))
    {}
    NBEJSONValue(Object value)
        : m_value(std::make_shared<const Object>(std::move(value)))
    {}

    // Literal helpers: `array({1, "a"})`, `object({{"key", value}})`. In an
    // object literal a repeated key keeps its last value.
    static NBEJSONValue array(std::initializer_list<NBEJSONValue> elements);
    static NBEJSONValue object(std::initializer_list<std::pair<QString, NBEJSONValue>> members);

    Kind kind() const;
    bool isNull() const { return kind() == Kind::null; }

    // For an object, the member under `key` (which may itself be null);
    // absent for a missing key and for every other kind.
    std::optional<NBEJSONValue> operator[](const QString &key) const;
    // The same without a copy; null when absent.
    const NBEJSONValue *find(const QString &key) const;

    std::optional<QString> stringValue() const;
    std::optional<Array> arrayValue() const;
    std::optional<Object> objectValue() const;
    std::optional<bool> boolValue() const;
    // An int, or a double truncated toward zero. Absent for anything else,
    // and for a double that is not finite or does not fit 64 bits.
    std::optional<qint64> intValue() const;
    std::optional<double> doubleValue() const;

    // Read-only views without copying (empty for other kinds).
    const Array &arrayRef() const;
    const Object &objectRef() const;

    // Parses JSON text of any value. Whole numbers that fit 64 bits become
    // ints whatever their spelling (7, 7.0, 7e0).
    static NBEResult<NBEJSONValue> decode(const QByteArray &json);
    static NBEJSONValue fromQJsonValue(const QJsonValue &value);

    // Compact JSON. Fails for a double that is NaN or infinite.
    NBEResult<QByteArray> encoded() const;
    bool encodeTo(QByteArray &out) const;

    bool operator==(const NBEJSONValue &other) const;

private:
    using Storage = std::variant<std::monostate, bool, qint64, double, QString,
                                 std::shared_ptr<const Array>, std::shared_ptr<const Object>>;
    Storage m_value;
};

size_t qHash(const NBEJSONValue &value, size_t seed = 0);
