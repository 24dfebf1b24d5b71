#include "NBEPreviewSchemeHandler.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QPointer>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

namespace {

// The folder part of a URL path, always ending in "/".
QString folderPath(const QUrl &folder)
{
    QString path = QDir::cleanPath(folder.toLocalFile());
    if (!path.endsWith(u'/'))
        path += u'/';
    return path;
}

} // namespace

void NBEPreviewSchemeHandler::registerScheme()
{
    QWebEngineUrlScheme definition(scheme);
    definition.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    // Pages may reach local files and run module scripts, as a page opened
    // from disk can.
    definition.setFlags(QWebEngineUrlScheme::LocalScheme | QWebEngineUrlScheme::LocalAccessAllowed |
                        QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(definition);
}

QWebEngineProfile *NBEPreviewSchemeHandler::profile()
{
    static QPointer<QWebEngineProfile> profile;
    if (!profile) {
        // Without a storage name the profile is off the record: no caches or
        // cookies on disk, so a file changed on disk shows at the next load.
        profile = new QWebEngineProfile(qApp);
        profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
        profile->installUrlSchemeHandler(scheme, shared());
    }
    return profile;
}

NBEPreviewSchemeHandler *NBEPreviewSchemeHandler::shared()
{
    static QPointer<NBEPreviewSchemeHandler> handler;
    if (!handler)
        handler = new NBEPreviewSchemeHandler(qApp);
    return handler;
}

QString NBEPreviewSchemeHandler::newHost()
{
    return QStringLiteral("p%1").arg(++m_nextHost);
}

QUrl NBEPreviewSchemeHandler::publish(const QString &host, const QUrl &folder, const QString &html)
{
    Page page;
    page.path = folderPath(folder);
    // The byte-order mark makes the engine read the text as UTF-8 whatever
    // the page declares, as the editor holds it.
    page.bytes = QByteArrayLiteral("\xEF\xBB\xBF") + html.toUtf8();
    QUrl url;
    url.setScheme(QString::fromLatin1(scheme));
    url.setHost(host);
    url.setPath(page.path);
    m_pages.insert(host, std::move(page));
    return url;
}

void NBEPreviewSchemeHandler::withdraw(const QString &host)
{
    m_pages.remove(host);
}

void NBEPreviewSchemeHandler::requestStarted(QWebEngineUrlRequestJob *job)
{
    const QUrl url = job->requestUrl();
    const auto page = m_pages.constFind(url.host());
    if (page == m_pages.constEnd()) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    const QString path = url.path(QUrl::FullyDecoded);
    if (path == page->path || path + u'/' == page->path) {
        auto *device = new QBuffer(job);
        device->setData(page->bytes);
        device->open(QIODevice::ReadOnly);
        job->reply(QByteArrayLiteral("text/html"), device);
        return;
    }
    const QFileInfo info(path);
    auto *file = new QFile(path, job);
    if (!info.isFile() || !file->open(QIODevice::ReadOnly)) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    static const QMimeDatabase mimeTypes;
    const QString type = mimeTypes.mimeTypeForFile(info, QMimeDatabase::MatchExtension).name();
    job->reply(type.toUtf8(), file);
}
