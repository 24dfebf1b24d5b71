#include "NBEWebLSPServers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

bool isExecutableFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

QString parentFolder(const QString &folder)
{
    const QString cleaned = QDir::cleanPath(folder);
    if (cleaned == QLatin1String("/"))
        return cleaned;
    const qsizetype slash = cleaned.lastIndexOf(u'/');
    if (slash < 0)
        return cleaned;
    return slash == 0 ? QStringLiteral("/") : cleaned.left(slash);
}

QString joined(const QString &folder, const QString &relative)
{
    return folder.endsWith(u'/') ? folder + relative : folder + u'/' + relative;
}

} // namespace

std::optional<QString> NBEWebLSPServers::serverLanguageId(const QString &fileLanguageId)
{
    static const QStringList served{QStringLiteral("html"), QStringLiteral("css"),
                                    QStringLiteral("json"), QStringLiteral("javascript")};
    if (served.contains(fileLanguageId))
        return fileLanguageId;
    return std::nullopt;
}

std::optional<QString> NBEWebLSPServers::relativeScriptPath(const QString &serverLanguageId)
{
    const QString extracted = QStringLiteral("node_modules/vscode-langservers-extracted/bin/");
    if (serverLanguageId == QLatin1String("html"))
        return extracted + QStringLiteral("vscode-html-language-server");
    if (serverLanguageId == QLatin1String("css"))
        return extracted + QStringLiteral("vscode-css-language-server");
    if (serverLanguageId == QLatin1String("json"))
        return extracted + QStringLiteral("vscode-json-language-server");
    if (serverLanguageId == QLatin1String("javascript"))
        return QStringLiteral("node_modules/typescript-language-server/lib/cli.mjs");
    return std::nullopt;
}

QStringList NBEWebLSPServers::searchRoots()
{
    const QString executableFolder = QCoreApplication::applicationDirPath();
    return searchRoots(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation),
                       executableFolder.isEmpty() ? QString() : parentFolder(executableFolder),
                       executableFolder);
}

QStringList NBEWebLSPServers::searchRoots(const QString &appDataFolder,
                                          const QString &installPrefix,
                                          const QString &executableFolder)
{
    QStringList roots;
    if (!appDataFolder.isEmpty())
        roots.append(joined(appDataFolder, QStringLiteral("web-lsp")));
    if (!installPrefix.isEmpty())
        roots.append(joined(installPrefix, QStringLiteral("share/nabri-editor/web-lsp")));
    if (!executableFolder.isEmpty()) {
        QString folder = QDir::cleanPath(executableFolder);
        for (int i = 0; i < vendorFolderDepth; ++i) {
            roots.append(joined(folder, QStringLiteral("Vendor/web-lsp")));
            const QString parent = parentFolder(folder);
            if (parent == folder)
                break;
            folder = parent;
        }
    }
    return roots;
}

std::optional<QString> NBEWebLSPServers::serverScript(const QString &serverLanguageId)
{
    return serverScript(serverLanguageId, searchRoots());
}

std::optional<QString> NBEWebLSPServers::serverScript(const QString &serverLanguageId,
                                                      const QStringList &roots)
{
    const auto relative = relativeScriptPath(serverLanguageId);
    if (!relative)
        return std::nullopt;
    for (const QString &root : roots) {
        const QString candidate = joined(root, *relative);
        if (QFileInfo::exists(candidate))
            return candidate;
    }
    return std::nullopt;
}

const QStringList &NBEWebLSPServers::fixedNodeCandidates()
{
    static const QStringList candidates{QStringLiteral("/usr/local/bin/node"),
                                        QStringLiteral("/usr/bin/node")};
    return candidates;
}

std::optional<QString> NBEWebLSPServers::nodeExecutable()
{
    return nodeExecutable(searchRoots(), fixedNodeCandidates(),
                          QString::fromLocal8Bit(qgetenv("PATH")));
}

std::optional<QString> NBEWebLSPServers::nodeExecutable(const QStringList &roots,
                                                        const QStringList &fixedCandidates,
                                                        const QString &searchPath)
{
    for (const QString &root : roots) {
        const QString candidate = joined(root, QStringLiteral("node"));
        if (isExecutableFile(candidate))
            return candidate;
    }
    for (const QString &candidate : fixedCandidates)
        if (isExecutableFile(candidate))
            return candidate;
    for (const QString &folder : searchPath.split(u':', Qt::SkipEmptyParts)) {
        const QString candidate = joined(folder, QStringLiteral("node"));
        if (isExecutableFile(candidate))
            return candidate;
    }
    return std::nullopt;
}

QStringList NBEWebLSPServers::processArguments(const Launch &launch)
{
    // Node's garbage collector and compiler otherwise wake helper threads on
    // several cores while a server works on a change, beside the editor and
    // the display server: the keys typed meanwhile reach the screen late. On
    // one thread the server answers as fast.
    if (QFileInfo(launch.executable).fileName() != u"node")
        return launch.arguments;
    return QStringList{QStringLiteral("--single-threaded")} + launch.arguments;
}

std::optional<NBEWebLSPServers::Launch> NBEWebLSPServers::launch(const QString &fileLanguageId)
{
    if (!serverLanguageId(fileLanguageId))
        return std::nullopt; // no file-system access for other languages
    return launch(fileLanguageId, searchRoots(), fixedNodeCandidates(),
                  QString::fromLocal8Bit(qgetenv("PATH")));
}

std::optional<NBEWebLSPServers::Launch>
NBEWebLSPServers::launch(const QString &fileLanguageId, const QStringList &roots,
                         const QStringList &fixedNodeCandidates, const QString &searchPath)
{
    const auto language = serverLanguageId(fileLanguageId);
    if (!language)
        return std::nullopt;
    const auto node = nodeExecutable(roots, fixedNodeCandidates, searchPath);
    if (!node)
        return std::nullopt;
    const auto script = serverScript(*language, roots);
    if (!script)
        return std::nullopt;
    return Launch{*node, {*script, QStringLiteral("--stdio")}, *language};
}

NBEJSONValue NBEWebLSPServers::settings(const QString &section)
{
    if (section == u"json") {
        // The configuration files that TypeScript, ESLint and editors read
        // with comments and trailing commas ("tsc --init" writes such a
        // tsconfig.json) are valid as their tools read them. Settings sent
        // to the server must name validation, or it turns validation off.
        const NBEJSONValue files = NBEJSONValue::array(
            {"tsconfig.json", "tsconfig.*.json", "tsconfig-*.json", "jsconfig.json",
             "jsconfig.*.json", "jsconfig-*.json", ".eslintrc.json", ".babelrc.json", "tslint.json",
             "typedoc.json", "api-extractor.json", "devcontainer.json", ".devcontainer.json",
             ".devcontainer/*.json", ".vscode/*.json"});
        const NBEJSONValue commented = NBEJSONValue::object(
            {{"fileMatch", files},
             {"schema",
              NBEJSONValue::object({{"allowComments", true}, {"allowTrailingCommas", true}})}});
        return NBEJSONValue::object({{"validate", NBEJSONValue::object({{"enable", true}})},
                                     {"schemas", NBEJSONValue::array({commented})}});
    }
    if (section != u"html")
        return NBEJSONValue();
    // Without them the HTML server re-flows the text of pre, code and
    // textarea elements, so code samples would lose their layout.
    return NBEJSONValue::object(
        {{"format", NBEJSONValue::object({{"contentUnformatted", "pre,code,textarea"}})}});
}
