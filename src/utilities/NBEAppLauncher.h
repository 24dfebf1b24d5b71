#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// Finds installed applications by their desktop-entry id in the XDG
// application folders and hands files or folders to them.
class NBEAppLauncher
{
public:
    // Tarnwick, the sibling local Vapor environment.
    static QString tarnwickDesktopEntryId();
    // Tarnwick's desktop entry, or nothing when it isn't installed.
    static std::optional<QUrl> tarnwickURL();

    // The desktop entry file of an installed application: the first file of
    // that id in the XDG application folders, when it is a launchable
    // application (not hidden, has a command, its TryExec program exists).
    static std::optional<QUrl> applicationURL(const QString &desktopEntryId);

    // Starts the application of a desktop entry with `urls`; the outcome is
    // not reported beyond whether a process could be started.
    static bool open(const QList<QUrl> &urls, const QUrl &withAppAt);

    // The command lines a desktop entry's Exec value gives for `urls` (one
    // per file when the entry takes a single file), or nothing when the value
    // can't be parsed.
    static std::optional<QList<QStringList>>
    commandLines(const QString &exec, const QList<QUrl> &urls, const QString &name = {},
                 const QString &icon = {}, const QString &entryPath = {});
};
