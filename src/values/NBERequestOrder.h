#pragma once

#include <cstdint>

// Orders the requests of one kind whose results come back later (off the
// main thread, from a server): only the latest request's result is still
// wanted. A result that also depends on a text checks that text's revision
// besides; this says only whether a newer request came since.
class NBERequestOrder
{
public:
    using Token = std::uint64_t;

    // A new request's token; every earlier one is stale from now on.
    [[nodiscard]] Token next() { return ++m_latest; }
    // Makes every request made so far stale without making one.
    void supersede() { ++m_latest; }
    // A token no request was given (zero) never is.
    bool isCurrent(Token token) const { return token != 0 && token == m_latest; }

private:
    Token m_latest = 0;
};
