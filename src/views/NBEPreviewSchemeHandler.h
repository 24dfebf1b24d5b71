#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QUrl>
#include <QWebEngineUrlSchemeHandler>

class QWebEngineProfile;

// Serves live previews to the web engine under a URL scheme of our own. Each
// preview gets a host; its page lives at its folder's path (so relative
// style sheets, scripts and images resolve against that folder) and is served
// from the text it published, of any size; every other path is the file on
// disk at that path.
class NBEPreviewSchemeHandler : public QWebEngineUrlSchemeHandler
{
    Q_OBJECT

public:
    static constexpr const char *scheme = "nbe-preview";

    // Must run before the application object is made.
    static void registerScheme();
    // The profile previews load in: kept in memory only, with this handler.
    static QWebEngineProfile *profile();
    static NBEPreviewSchemeHandler *shared();

    // A host name no other preview uses.
    QString newHost();
    // Stores the page text for the host and answers the URL to load it from.
    QUrl publish(const QString &host, const QUrl &folder, const QString &html);
    void withdraw(const QString &host);

    void requestStarted(QWebEngineUrlRequestJob *job) override;

private:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    struct Page
    {
        QString path;
        QByteArray bytes;
    };
    QHash<QString, Page> m_pages;
    quint64 m_nextHost = 0;
};
