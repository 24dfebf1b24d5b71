// Diagnostics of every file, the built-in HTML check for files no server
// serves, and reveal requests for the editor.
#include "NBEWorkspaceViewModel.h"

#include "NBEWhenFinished.h"

#include "NBEHTMLValidator.h"

#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

QList<NBELSPDiagnostic> NBEWorkspaceViewModel::diagnostics(const QUrl &forFile) const
{
    return m_diagnostics.value(NBEFileService::keyPath(forFile));
}

NBEDiagnosticSummary NBEWorkspaceViewModel::diagnosticSummary() const
{
    return NBEFileDiagnostics::summary(m_diagnostics);
}

QList<NBEFileDiagnostic> NBEWorkspaceViewModel::allDiagnostics() const
{
    return NBEFileDiagnostics::sorted(m_diagnostics);
}

void NBEWorkspaceViewModel::setDiagnostics(const QUrl &url, const QList<NBELSPDiagnostic> &list)
{
    m_diagnostics.insert(NBEFileService::keyPath(url), list);
    Q_EMIT diagnosticsChanged();
}

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
    const QString key = NBEFileService::keyPath(url);
    const quint64 generation = ++m_validationCounter;
    m_validationGenerations.insert(key, generation);
    if (QTimer *previous = m_validationTimers.take(key))
        previous->deleteLater();

    auto *timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    m_validationTimers.insert(key, timer);
    connect(timer, &QTimer::timeout, this, [this, timer, key, url, content, generation] {
        if (m_validationTimers.value(key) == timer)
            m_validationTimers.remove(key);
        timer->deleteLater();
        if (m_validationGenerations.value(key) != generation)
            return;
        nbeWhenFinished(
            QtConcurrent::run([content] { return NBEHTMLValidator::validate(content); }), this,
            [this, key, url, generation](QList<NBELSPDiagnostic> found) {
                // A newer edit, a closed tab or a shutdown made this stale.
                if (m_validationGenerations.value(key) != generation)
                    return;
                m_validationGenerations.remove(key);
                setDiagnostics(url, found);
            });
    });
    timer->start(m_environment.timings.validationDelay);
}
