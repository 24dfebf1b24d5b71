#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The sourcekit-lsp that serves one workspace's Swift files.
struct NBELSPToolchainResolution
{
    QString executable;
    std::optional<QString> pinnedVersion; // from ".swift-version", when one was found
    std::optional<QString> toolchainRoot; // the toolchain folder that supplied it

    bool operator==(const NBELSPToolchainResolution &) const = default;
};

struct NBELSPInstalledToolchain
{
    QString version;
    QString root;

    bool operator==(const NBELSPInstalledToolchain &) const = default;
};

// Finds sourcekit-lsp: an executable override; else the toolchain whose
// version equals the workspace's ".swift-version" pin exactly; else the
// sourcekit-lsp on PATH. Never fails: no server is simply nothing.
//
// Toolchains are folders holding usr/bin/sourcekit-lsp, in the system folder
// /opt/swift/toolchains, then the user's swiftly folder
// ($XDG_DATA_HOME/swiftly/toolchains, ~/.local/share/swiftly/toolchains);
// a toolchain's version is the first "6.0" or "6.0.3" in its folder name
// ("swift-6.0.3-RELEASE" is 6.0.3).
class NBELSPToolchain
{
public:
    using Resolution = NBELSPToolchainResolution;
    using InstalledToolchain = NBELSPInstalledToolchain;

    static std::optional<Resolution> resolve(const QString &workspaceRoot,
                                             const std::optional<QString> &override);
    static std::optional<Resolution> resolve(const QString &workspaceRoot,
                                             const std::optional<QString> &override,
                                             const QStringList &toolchainFolders,
                                             const QString &searchPath);

    // The first non-blank line, trimmed, of ".swift-version" in the folder or
    // the nearest folder above it that has one (at most 256 folders).
    static std::optional<QString> pinnedVersion(const QString &folder);

    static QStringList toolchainFolders();
    // Toolchains with a readable version, in folder order, then listing order.
    static QList<InstalledToolchain> discoverToolchains(const QStringList &folders);
    static std::optional<InstalledToolchain>
    selectToolchain(const QString &version, const QList<InstalledToolchain> &toolchains);
    static std::optional<QString> toolchainVersion(const QString &toolchainRoot);

    // sourcekit-lsp on the search path (a PATH-style list).
    static std::optional<QString> defaultServer(const QString &searchPath);

    static constexpr int maxPinFolders = 256;
};
