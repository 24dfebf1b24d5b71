#include "NBELog.h"

#include <mutex>
#include <syslog.h>

namespace {

void openSystemLog()
{
    static std::once_flag once;
    std::call_once(once, [] { ::openlog(NBELog::subsystem, LOG_PID, LOG_USER); });
}

} // namespace

QString NBELogger::compose(const char *format, const QString &argument)
{
    QString text = QString::fromUtf8(format);
    if (const qsizetype at = text.indexOf(QLatin1String("%s")); at >= 0)
        text.replace(at, 2, argument);
    return text;
}

void NBELogger::write(int priority, const char *format, const QString &argument) const
{
    openSystemLog();
    const QByteArray message = compose(format, argument).toUtf8();
    // The message travels as an argument, never as syslog's own format.
    ::syslog(priority, "[%s] %s", m_category, message.constData());
}

void NBELogger::info(const char *format, const QString &argument) const
{
    write(LOG_INFO, format, argument);
}

void NBELogger::error(const char *format, const QString &argument) const
{
    write(LOG_ERR, format, argument);
}

namespace NBELog {

const NBELogger &app()
{
    static const NBELogger logger("app");
    return logger;
}

const NBELogger &editor()
{
    static const NBELogger logger("editor");
    return logger;
}

const NBELogger &fileIO()
{
    static const NBELogger logger("fileIO");
    return logger;
}

const NBELogger &lsp()
{
    static const NBELogger logger("lsp");
    return logger;
}

} // namespace NBELog
