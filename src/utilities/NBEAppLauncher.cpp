#include "NBEAppLauncher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>

namespace {

// The general string escapes of desktop-entry values.
QString unescapeValue(const QString &value)
{
    QString result;
    result.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            result += c;
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case 's':
            result += QLatin1Char(' ');
            break;
        case 'n':
            result += QLatin1Char('\n');
            break;
        case 't':
            result += QLatin1Char('\t');
            break;
        case 'r':
            result += QLatin1Char('\r');
            break;
        default:
            result += next;
        }
    }
    return result;
}

// The unlocalised keys of the [Desktop Entry] group, unescaped.
QHash<QString, QString> readDesktopEntry(const QString &path)
{
    QHash<QString, QString> values;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return values;
    bool inGroup = false;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (inGroup)
                break;
            inGroup = line == QStringLiteral("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!inGroup || equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        if (!key.contains(QLatin1Char('[')) && !values.contains(key))
            values.insert(key, unescapeValue(line.mid(equals + 1).trimmed()));
    }
    return values;
}

// Splits an Exec value into arguments, honouring double quotes and the
// backslash escapes allowed inside them.
std::optional<QStringList> splitExec(const QString &exec)
{
    QStringList arguments;
    QString current;
    bool inQuotes = false;
    bool inArgument = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (inQuotes) {
            if (c == QLatin1Char('\\') && i + 1 < exec.size() &&
                QStringLiteral("\"`$\\").contains(exec.at(i + 1))) {
                current += exec.at(++i);
            } else if (c == QLatin1Char('"')) {
                inQuotes = false;
            } else {
                current += c;
            }
        } else if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            if (inArgument)
                arguments.append(current);
            current.clear();
            inArgument = false;
        } else if (c == QLatin1Char('"')) {
            inQuotes = true;
            inArgument = true;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inQuotes)
        return std::nullopt;
    if (inArgument)
        arguments.append(current);
    return arguments;
}

QString expandCodes(const QString &argument, const QString &file, const QString &url,
                    const QString &name, const QString &entryPath)
{
    QString result;
    for (qsizetype i = 0; i < argument.size(); ++i) {
        if (argument.at(i) != QLatin1Char('%') || i + 1 == argument.size()) {
            result += argument.at(i);
            continue;
        }
        switch (argument.at(++i).unicode()) {
        case '%':
            result += QLatin1Char('%');
            break;
        case 'f':
            result += file;
            break;
        case 'u':
            result += url;
            break;
        case 'c':
            result += name;
            break;
        case 'k':
            result += entryPath;
            break;
        default: // deprecated and list codes mean nothing inside an argument
            break;
        }
    }
    return result;
}

} // namespace

QString NBEAppLauncher::tarnwickDesktopEntryId()
{
    return QStringLiteral("dev.nabri.Tarnwick.desktop");
}

std::optional<QUrl> NBEAppLauncher::tarnwickURL()
{
    return applicationURL(tarnwickDesktopEntryId());
}

std::optional<QUrl> NBEAppLauncher::applicationURL(const QString &desktopEntryId)
{
    if (desktopEntryId.isEmpty() || desktopEntryId.contains(QLatin1Char('/')))
        return std::nullopt;
    // The first file of an id wins, also when it hides the application.
    const QString path =
        QStandardPaths::locate(QStandardPaths::ApplicationsLocation, desktopEntryId);
    if (path.isEmpty())
        return std::nullopt;
    const QHash<QString, QString> entry = readDesktopEntry(path);
    if (entry.value(QStringLiteral("Type")) != QStringLiteral("Application") ||
        entry.value(QStringLiteral("Hidden")) == QStringLiteral("true") ||
        entry.value(QStringLiteral("Exec")).trimmed().isEmpty())
        return std::nullopt;
    const QString tryExec = entry.value(QStringLiteral("TryExec"));
    if (!tryExec.isEmpty()) {
        const QFileInfo program(tryExec);
        const bool found = program.isAbsolute()
                               ? program.isExecutable()
                               : !QStandardPaths::findExecutable(tryExec).isEmpty();
        if (!found)
            return std::nullopt;
    }
    return QUrl::fromLocalFile(path);
}

bool NBEAppLauncher::open(const QList<QUrl> &urls, const QUrl &withAppAt)
{
    const QString entryPath = withAppAt.toLocalFile();
    const QHash<QString, QString> entry = readDesktopEntry(entryPath);
    const auto lines =
        commandLines(entry.value(QStringLiteral("Exec")), urls, entry.value(QStringLiteral("Name")),
                     entry.value(QStringLiteral("Icon")), entryPath);
    if (!lines || lines->isEmpty())
        return false;
    QString workingDirectory = entry.value(QStringLiteral("Path"));
    if (workingDirectory.isEmpty() || !QFileInfo(workingDirectory).isDir())
        workingDirectory = QDir::homePath();
    bool started = true;
    for (const QStringList &line : *lines)
        started = QProcess::startDetached(line.first(), line.mid(1), workingDirectory) && started;
    return started;
}

std::optional<QList<QStringList>>
NBEAppLauncher::commandLines(const QString &exec, const QList<QUrl> &urls, const QString &name,
                             const QString &icon, const QString &entryPath)
{
    const std::optional<QStringList> arguments = splitExec(exec);
    if (!arguments || arguments->isEmpty())
        return std::nullopt;
    const bool singleFile = std::any_of(arguments->begin(), arguments->end(), [](const QString &a) {
        return a.contains(QStringLiteral("%f")) || a.contains(QStringLiteral("%u"));
    });
    QStringList files;
    QStringList links;
    for (const QUrl &url : urls) {
        if (url.isLocalFile())
            files.append(url.toLocalFile());
        links.append(url.toString(QUrl::FullyEncoded));
    }
    // A single-file command starts once per file (and once with none).
    const qsizetype runs = singleFile ? std::max<qsizetype>(urls.size(), 1) : 1;
    QList<QStringList> result;
    for (qsizetype run = 0; run < runs; ++run) {
        const QString file = singleFile && run < urls.size() && urls.at(run).isLocalFile()
                                 ? urls.at(run).toLocalFile()
                                 : QString();
        const QString link = singleFile && run < links.size() ? links.at(run) : QString();
        QStringList line;
        for (const QString &argument : *arguments) {
            if (argument == QStringLiteral("%F")) {
                line += files;
            } else if (argument == QStringLiteral("%U")) {
                line += links;
            } else if (argument == QStringLiteral("%i")) {
                if (!icon.isEmpty())
                    line += {QStringLiteral("--icon"), icon};
            } else {
                const QString expanded = expandCodes(argument, file, link, name, entryPath);
                // A field code standing alone that gives nothing is no argument.
                const bool loneCode = argument.size() == 2 &&
                                      argument.startsWith(QLatin1Char('%')) &&
                                      argument != QStringLiteral("%%");
                if (!expanded.isEmpty() || !loneCode)
                    line += expanded;
            }
        }
        if (line.isEmpty() || line.first().isEmpty())
            return std::nullopt;
        result.append(line);
    }
    return result;
}
