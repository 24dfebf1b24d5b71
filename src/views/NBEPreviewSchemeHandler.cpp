#include "NBEPreviewSchemeHandler.h"

#include "NBEWebRendering.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QPointer>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
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

// The folder as the file system resolves it, ending in "/"; empty when it
// doesn't exist.
QString canonicalFolder(const QString &path)
{
    QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty())
        return {};
    if (!canonical.endsWith(u'/'))
        canonical += u'/';
    return canonical;
}

// The byte-order mark makes the engine read the text as UTF-8 whatever the
// page declares, as the editor holds it.
QByteArray pageBytes(const QString &html)
{
    return QByteArrayLiteral("\xEF\xBB\xBF") + html.toUtf8();
}

} // namespace

void NBEPreviewSchemeHandler::registerScheme()
{
    QWebEngineUrlScheme definition(scheme);
    definition.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    // Not a local scheme: a page reaches no file: URL, and it loads web
    // style sheets, scripts and images as a page from a server does. Fetches
    // of its own files (module scripts too) need the CORS machinery.
    definition.setFlags(QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(definition);
}

QWebEngineProfile *NBEPreviewSchemeHandler::profile()
{
    static QPointer<QWebEngineProfile> profile;
    if (!profile) {
        NBEWebRendering::chooseBeforeStart();
        // Without a storage name the profile is off the record: no caches or
        // cookies on disk, so a file changed on disk shows at the next load.
        profile = new QWebEngineProfile(qApp);
        profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
        profile->installUrlSchemeHandler(scheme, shared());
        QWebEngineSettings *settings = profile->settings();
        settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
        settings->setAttribute(QWebEngineSettings::AllowRunningInsecureContent, false);
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

QUrl NBEPreviewSchemeHandler::publish(const QString &host, const QUrl &folder, const QString &html,
                                      const QUrl &root)
{
    Page page;
    page.path = folderPath(folder);
    // A root that doesn't hold the page's folder gives way to the folder.
    const QString rootPath = root.isLocalFile() ? folderPath(root) : QString();
    page.root = canonicalFolder(rootPath.isEmpty() || !page.path.startsWith(rootPath) ? page.path
                                                                                      : rootPath);
    page.bytes = pageBytes(html);
    QUrl url;
    url.setScheme(QString::fromLatin1(scheme));
    url.setHost(host);
    url.setPath(page.path);
    m_pages.insert(host, std::move(page));
    return url;
}

void NBEPreviewSchemeHandler::update(const QString &host, const QString &html)
{
    if (const auto page = m_pages.find(host); page != m_pages.end())
        page->bytes = pageBytes(html);
}

void NBEPreviewSchemeHandler::withdraw(const QString &host)
{
    m_pages.remove(host);
}

NBEPreviewSchemeHandler::FileState NBEPreviewSchemeHandler::stateOf(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    return {true, info.size(), info.lastModified()};
}

bool NBEPreviewSchemeHandler::servedFilesChanged(const QString &host) const
{
    const auto page = m_pages.constFind(host);
    if (page == m_pages.constEnd())
        return false;
    for (auto file = page->asked.cbegin(); file != page->asked.cend(); ++file) {
        if (stateOf(file.key()) != file.value())
            return true;
    }
    return false;
}

std::optional<QString> NBEPreviewSchemeHandler::servedFile(const QString &requestPath,
                                                           const QString &root)
{
    if (root.isEmpty() || !requestPath.startsWith(u'/') || requestPath.contains(QChar(0)) ||
        requestPath.contains(u'\\'))
        return std::nullopt;
    const QFileInfo info(QDir::cleanPath(requestPath));
    const QString canonical = info.canonicalFilePath();
    if (canonical.isEmpty() || !canonical.startsWith(root) || !QFileInfo(canonical).isFile())
        return std::nullopt;
    return canonical;
}

void NBEPreviewSchemeHandler::requestStarted(QWebEngineUrlRequestJob *job)
{
    const QUrl url = job->requestUrl();
    const auto page = m_pages.find(url.host());
    // What a page asks for comes from its own host only.
    const QUrl initiator = job->initiator();
    const bool foreign =
        !initiator.isEmpty() && initiator.toString() != u"null" &&
        (initiator.scheme() != QLatin1String(scheme) || initiator.host() != url.host());
    if (page == m_pages.end() || foreign) {
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
    const std::optional<QString> served = servedFile(path, page->root);
    // A file of the project missing now counts too: it shows once it is
    // there.
    const QString asked = served.value_or(QDir::cleanPath(path));
    if (served || asked.startsWith(page->root))
        page->asked.insert(asked, stateOf(asked));
    auto *file = served ? new QFile(*served, job) : nullptr;
    if (!file || !file->open(QIODevice::ReadOnly)) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    static const QMimeDatabase mimeTypes;
    const QString type =
        mimeTypes.mimeTypeForFile(QFileInfo(*served), QMimeDatabase::MatchExtension).name();
    job->reply(type.toUtf8(), file);
}
