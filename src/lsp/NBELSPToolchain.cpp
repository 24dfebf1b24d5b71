#include "NBELSPToolchain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringDecoder>

namespace {

const QString serverPath = QStringLiteral("usr/bin/sourcekit-lsp");

bool isExecutableFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

bool isLineBreak(QChar c)
{
    const char16_t u = c.unicode();
    return u == 0x0A || u == 0x0B || u == 0x0C || u == 0x0D || u == 0x85 || u == 0x2028 ||
           u == 0x2029;
}

std::optional<QString> firstNonBlankLine(const QString &text)
{
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = start;
        while (end < text.size() && !isLineBreak(text[end]))
            ++end;
        QStringView line = QStringView(text).mid(start, end - start);
        while (!line.isEmpty() && (line.front() == u' ' || line.front() == u'\t'))
            line = line.mid(1);
        while (!line.isEmpty() && (line.back() == u' ' || line.back() == u'\t'))
            line.chop(1);
        if (!line.isEmpty())
            return line.toString();
        start = end + 1;
    }
    return std::nullopt;
}

} // namespace

std::optional<NBELSPToolchain::Resolution>
NBELSPToolchain::resolve(const QString &workspaceRoot, const std::optional<QString> &override)
{
    return resolve(workspaceRoot, override, toolchainFolders(),
                   QString::fromLocal8Bit(qgetenv("PATH")));
}

std::optional<NBELSPToolchain::Resolution>
NBELSPToolchain::resolve(const QString &workspaceRoot, const std::optional<QString> &override,
                         const QStringList &folders, const QString &searchPath)
{
    if (override && isExecutableFile(*override))
        return Resolution{*override, std::nullopt, std::nullopt};

    const auto pin = pinnedVersion(workspaceRoot);
    if (pin) {
        if (const auto toolchain = selectToolchain(*pin, discoverToolchains(folders))) {
            const QString executable = QDir(toolchain->root).filePath(serverPath);
            if (isExecutableFile(executable))
                return Resolution{executable, pin, toolchain->root};
        }
    }
    if (const auto fallback = defaultServer(searchPath))
        return Resolution{*fallback, pin, std::nullopt};
    return std::nullopt;
}

std::optional<QString> NBELSPToolchain::pinnedVersion(const QString &folder)
{
    QString current = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    for (int visited = 0; visited < maxPinFolders; ++visited) {
        QFile file(QDir(current).filePath(QStringLiteral(".swift-version")));
        if (file.open(QIODevice::ReadOnly)) {
            QStringDecoder decoder(QStringDecoder::Utf8);
            const QString text = decoder(file.readAll());
            if (!decoder.hasError())
                if (auto version = firstNonBlankLine(text))
                    return version;
        }
        const QString parent = QFileInfo(current).path();
        if (parent == current || current == QLatin1String("/"))
            return std::nullopt;
        current = parent;
    }
    return std::nullopt;
}

QStringList NBELSPToolchain::toolchainFolders()
{
    QString data = QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME"));
    if (data.isEmpty())
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return {QStringLiteral("/opt/swift/toolchains"), data + QStringLiteral("/swiftly/toolchains")};
}

QList<NBELSPToolchain::InstalledToolchain>
NBELSPToolchain::discoverToolchains(const QStringList &folders)
{
    QList<InstalledToolchain> found;
    for (const QString &folder : folders) {
        const QDir dir(folder);
        if (!dir.exists())
            continue;
        const QStringList entries =
            dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Unsorted);
        for (const QString &entry : entries) {
            const QString root = dir.filePath(entry);
            if (!QFileInfo::exists(QDir(root).filePath(serverPath)))
                continue;
            if (const auto version = toolchainVersion(root))
                found.append(InstalledToolchain{*version, root});
        }
    }
    return found;
}

std::optional<NBELSPToolchain::InstalledToolchain>
NBELSPToolchain::selectToolchain(const QString &version,
                                 const QList<InstalledToolchain> &toolchains)
{
    for (const InstalledToolchain &toolchain : toolchains)
        if (toolchain.version == version)
            return toolchain;
    return std::nullopt;
}

std::optional<QString> NBELSPToolchain::toolchainVersion(const QString &toolchainRoot)
{
    static const QRegularExpression pattern(QStringLiteral("(\\d+\\.\\d+(?:\\.\\d+)?)"));
    const QRegularExpressionMatch match = pattern.match(QFileInfo(toolchainRoot).fileName());
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1);
}

std::optional<QString> NBELSPToolchain::defaultServer(const QString &searchPath)
{
    for (const QString &folder : searchPath.split(u':', Qt::SkipEmptyParts)) {
        const QString candidate = QDir(folder).filePath(QStringLiteral("sourcekit-lsp"));
        if (isExecutableFile(candidate))
            return candidate;
    }
    return std::nullopt;
}
