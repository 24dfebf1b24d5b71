#include "NBEHTMLValidation.h"

#include "NBEWhenFinished.h"

#include "NBEDiagnosticsStore.h"
#include "NBEFileService.h"
#include "NBEHTMLValidator.h"
#include "NBETextBuffer.h"

#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

NBEHTMLValidation::NBEHTMLValidation(NBEDiagnosticsStore &store, std::chrono::milliseconds delay,
                                     QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_delay(delay)
{}

void NBEHTMLValidation::schedule(const QUrl &url, const QString &text)
{
    scheduleCheck(url, text, {});
}

void NBEHTMLValidation::schedule(const QUrl &url, const std::shared_ptr<NBETextBuffer> &buffer)
{
    scheduleCheck(url, {}, buffer);
}

void NBEHTMLValidation::scheduleCheck(const QUrl &url, const QString &text,
                                      const std::weak_ptr<NBETextBuffer> &buffer)
{
    const QString key = NBEFileService::keyPath(url);
    Pending &pending = m_pending[key];
    if (!pending.timer) {
        // One timer per file, restarted by every edit.
        pending.timer = new QTimer(this);
        pending.timer->setSingleShot(true);
        pending.timer->setTimerType(Qt::PreciseTimer);
        connect(pending.timer, &QTimer::timeout, this, [this, key] { validateNow(key); });
    }
    pending.url = url;
    pending.text = text;
    pending.buffer = buffer;
    pending.checks.supersede();
    pending.timer->start(m_delay);
}

void NBEHTMLValidation::validateNow(const QString &key)
{
    const auto it = m_pending.find(key);
    if (it == m_pending.end())
        return;
    const QUrl url = it->url;
    const NBERequestOrder::Token check = it->checks.next();
    const std::shared_ptr<NBETextBuffer> buffer = std::exchange(it->buffer, {}).lock();
    const QString text = buffer ? buffer->snapshot() : std::exchange(it->text, QString());
    nbeWhenFinished(QtConcurrent::run([text] { return NBEHTMLValidator::validate(text); }), this,
                    [this, key, url, check](const QList<NBELSPDiagnostic> &found) {
                        const auto current = m_pending.constFind(key);
                        if (current == m_pending.cend() || !current->checks.isCurrent(check))
                            return;
                        m_store.set(url, found);
                    });
}

void NBEHTMLValidation::drop(const QUrl &url)
{
    const Pending pending = m_pending.take(NBEFileService::keyPath(url));
    delete pending.timer;
}

void NBEHTMLValidation::dropAll()
{
    for (const Pending &pending : std::as_const(m_pending))
        delete pending.timer;
    m_pending.clear();
}
