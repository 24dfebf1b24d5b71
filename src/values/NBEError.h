#pragma once

#include <QString>

#include <expected>

// A failure with the sentence a user may be shown. Services return
// NBEResult<T> instead of throwing; no exception crosses the event loop.
struct NBEError
{
    QString description;

    static NBEError make(const QString &description) { return NBEError{description}; }
    bool operator==(const NBEError &) const = default;
};

template <typename T> using NBEResult = std::expected<T, NBEError>;

inline std::unexpected<NBEError> nbeFailure(const QString &description)
{
    return std::unexpected<NBEError>(NBEError{description});
}
