#pragma once

#include <QString>

// One named logger writing to the system log (journald on systemd machines)
// under the application identifier, with its category as the message prefix.
class NBELogger
{
public:
    explicit constexpr NBELogger(const char *category)
        : m_category(category)
    {}

    const char *category() const { return m_category; }

    // The first "%s" of `format` is where `argument` goes.
    void info(const char *format, const QString &argument = {}) const;
    void error(const char *format, const QString &argument = {}) const;

    // The text that goes to the log for a message (without the category).
    static QString compose(const char *format, const QString &argument);

private:
    void write(int priority, const char *format, const QString &argument) const;

    const char *m_category;
};

namespace NBELog {

inline constexpr const char *subsystem = "dev.nabri.NabriEditor";

const NBELogger &app();
const NBELogger &editor();
const NBELogger &fileIO();
const NBELogger &lsp();

} // namespace NBELog
