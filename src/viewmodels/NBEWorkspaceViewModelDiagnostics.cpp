// Diagnostics of every file, the built-in HTML check for files no server
// serves, and reveal requests for the editor.
#include "NBEWorkspaceViewModel.h"

#include "NBEWhenFinished.h"

#include "NBEHTMLValidator.h"

#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

void NBEWorkspaceViewModel::revealLine(const QUrl &url, int line)
{
    setDiffTarget(std::nullopt);
    openFile(url, false);
    // Set before the file has opened: the editor made for it finds it then.
    m_revealTarget = NBERevealTarget{url, line};
    Q_EMIT revealTargetChanged();
}

void NBEWorkspaceViewModel::revealDiagnostic(const QUrl &url, int line)
{
    revealLine(url, line);
}

void NBEWorkspaceViewModel::clearRevealTarget()
{
    if (!m_revealTarget)
        return;
    m_revealTarget.reset();
    Q_EMIT revealTargetChanged();
}

void NBEWorkspaceViewModel::scheduleHTMLValidation(const QUrl &url, const QString &content)
{
    scheduleValidation(url, content, {});
}

void NBEWorkspaceViewModel::scheduleHTMLValidation(const QUrl &url,
                                                   const std::shared_ptr<NBETextBuffer> &buffer)
{
    scheduleValidation(url, {}, buffer);
}

void NBEWorkspaceViewModel::scheduleValidation(const QUrl &url, const QString &text,
                                               const std::weak_ptr<NBETextBuffer> &buffer)
{
    const QString key = NBEFileService::keyPath(url);
    PendingValidation &pending = m_validations[key];
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
    pending.generation = ++m_validationCounter;
    pending.timer->start(m_environment.timings.validationDelay);
}

void NBEWorkspaceViewModel::validateNow(const QString &key)
{
    const auto it = m_validations.find(key);
    if (it == m_validations.end())
        return;
    const QUrl url = it->url;
    const quint64 generation = it->generation;
    const std::shared_ptr<NBETextBuffer> buffer = std::exchange(it->buffer, {}).lock();
    const QString text = buffer ? buffer->snapshot() : std::exchange(it->text, QString());
    nbeWhenFinished(QtConcurrent::run([text] { return NBEHTMLValidator::validate(text); }), this,
                    [this, key, url, generation](const QList<NBELSPDiagnostic> &found) {
                        // A newer edit, a closed tab or a closed folder made
                        // this result stale.
                        const auto current = m_validations.constFind(key);
                        if (current == m_validations.cend() || current->generation != generation)
                            return;
                        m_diagnostics->set(url, found);
                    });
}

void NBEWorkspaceViewModel::dropValidation(const QString &key)
{
    const PendingValidation pending = m_validations.take(key);
    delete pending.timer;
}

void NBEWorkspaceViewModel::dropAllValidations()
{
    for (const PendingValidation &pending : std::as_const(m_validations))
        delete pending.timer;
    m_validations.clear();
}
