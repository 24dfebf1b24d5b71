#pragma once

#include "NBEJSONValue.h"

#include <QString>
#include <QStringList>

#include <optional>

// How to start one web language server: `node <script> --stdio`.
struct NBEWebLSPLaunch
{
    QString executable;    // Node.js
    QStringList arguments; // exactly the script's path and "--stdio"
    QString languageId;    // the server language id, also sent in didOpen

    bool operator==(const NBEWebLSPLaunch &) const = default;
};

// Finds the Node.js language servers for HTML, CSS, JSON and JavaScript on
// disk. Stateless: every call looks afresh, so servers installed while the
// editor runs are found by the next session.
//
// Folders searched, in order (at most 10):
//   1. the application data folder + "/web-lsp"
//      (~/.local/share/Nabri/Nabri Editor/web-lsp),
//   2. the installed application's own folder, <prefix>/share/nabri-editor/web-lsp
//      (the executable lives in <prefix>/bin),
//   3. "Vendor/web-lsp" in the executable's folder and up to seven folders
//      above it, so a build tree finds the repository's copy.
// Node.js is a "node" directly in one of those folders, else /usr/local/bin/node
// or /usr/bin/node, else the first "node" on PATH.
class NBEWebLSPServers
{
public:
    using Launch = NBEWebLSPLaunch;

    // "html", "css", "json" and "javascript" map to themselves (exactly);
    // everything else has no server.
    static std::optional<QString> serverLanguageId(const QString &fileLanguageId);
    // The editor's settings for a server's section ("html", "json"), null
    // for any other: sent when the server starts and given when it asks.
    static NBEJSONValue settings(const QString &section);

    // The script for a server language, relative to a search root.
    static std::optional<QString> relativeScriptPath(const QString &serverLanguageId);

    static QStringList searchRoots();
    // The same list built from explicit folders (empty ones are left out).
    static QStringList searchRoots(const QString &appDataFolder, const QString &installPrefix,
                                   const QString &executableFolder);

    static std::optional<QString> serverScript(const QString &serverLanguageId);
    static std::optional<QString> serverScript(const QString &serverLanguageId,
                                               const QStringList &roots);

    static std::optional<QString> nodeExecutable();
    // What a launch's process is started with: its arguments, after an
    // option of Node.js's own when the program is Node.js.
    static QStringList processArguments(const Launch &launch);
    static std::optional<QString> nodeExecutable(const QStringList &roots,
                                                 const QStringList &fixedCandidates,
                                                 const QString &searchPath);

    // Nothing when the language has no server, or Node.js or the script is
    // missing. Node.js is looked for before the script.
    static std::optional<Launch> launch(const QString &fileLanguageId);
    static std::optional<Launch> launch(const QString &fileLanguageId, const QStringList &roots,
                                        const QStringList &fixedNodeCandidates,
                                        const QString &searchPath);

    static const QStringList &fixedNodeCandidates();

    static constexpr int vendorFolderDepth = 8;
};
