#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

class QWebEngineProfile;

// Serves live previews to the web engine under a URL scheme of our own. Each
// preview gets a host; its page lives at its folder's path (so relative
// style sheets, scripts and images resolve against that folder) and is served
// from the text it published, of any size. Other paths are the regular files
// inside the preview's root folder (the project, or the page's own folder);
// anything else, symbolic links leading out included, is not found. A page
// of one preview gets nothing of another's.
class NBEPreviewSchemeHandler : public QWebEngineUrlSchemeHandler
{
    Q_OBJECT

public:
    static constexpr const char *scheme = "nbe-preview";

    // Must run before the application object is made.
    static void registerScheme();
    // The profile previews load in: kept in memory only, with this handler.
    // Makes the web engine start, so it picks how pages are drawn first.
    static QWebEngineProfile *profile();
    static NBEPreviewSchemeHandler *shared();

    // A host name no other preview uses.
    QString newHost();
    // Stores the page text for the host and answers the URL to load it from.
    // Files outside `root` (a folder holding `folder`) are never served.
    QUrl publish(const QString &host, const QUrl &folder, const QString &html,
                 const QUrl &root = {});
    // Replaces the host's page text, keeping what its page asked for.
    void update(const QString &host, const QString &html);
    void withdraw(const QString &host);
    // Whether a file the host's pages asked for since it last published has
    // changed, appeared or gone on disk: pages showing it need a load.
    bool servedFilesChanged(const QString &host) const;

    void requestStarted(QWebEngineUrlRequestJob *job) override;

    // The file a request path names when it is a regular file inside `root`
    // (both as the file system resolves them, links followed).
    static std::optional<QString> servedFile(const QString &requestPath, const QString &root);

private:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    // What a file was when it was asked for: absent, or its size and time.
    struct FileState
    {
        bool exists = false;
        qint64 size = 0;
        QDateTime modified;
        bool operator==(const FileState &) const = default;
    };
    static FileState stateOf(const QString &path);

    struct Page
    {
        QString path;
        QString root;
        QByteArray bytes;
        QHash<QString, FileState> asked;
    };
    QHash<QString, Page> m_pages;
    quint64 m_nextHost = 0;
};
