// Background fetch: keeps the ahead and behind counts current while a
// workspace is open, without ever asking for credentials.
#include "NBEWorkspaceViewModel.h"

#include "NBEWhenFinished.h"

#include "NBEApplicationActivity.h"

#include <QPromise>
#include <QTimer>

bool NBEWorkspaceViewModel::isAutoFetchEnabled() const
{
    return preferences().gitAutoFetch();
}

void NBEWorkspaceViewModel::startAutoFetch()
{
    stopAutoFetch();
    const quint64 run = m_autoFetchRun;
    m_autoFetchTimer = new QTimer(this);
    m_autoFetchTimer->setSingleShot(true);
    m_autoFetchTimer->setTimerType(Qt::PreciseTimer);
    connect(m_autoFetchTimer, &QTimer::timeout, this, [this, run] {
        // The pause counts from the end of a fetch, so turns never pile up.
        nbeWhenFinished(autoFetchNow(), this, [this, run] {
            if (run == m_autoFetchRun && m_autoFetchTimer)
                m_autoFetchTimer->start(m_environment.timings.autoFetchInterval);
        });
    });
    m_autoFetchTimer->start(m_environment.timings.autoFetchStartDelay);
    if (m_activity) {
        m_appActiveObserver = connect(m_activity.data(), &NBEApplicationActivity::becameActive,
                                      this, [this] { autoFetchNow(); });
    }
}

void NBEWorkspaceViewModel::stopAutoFetch()
{
    ++m_autoFetchRun;
    delete m_autoFetchTimer;
    m_autoFetchTimer = nullptr;
    disconnect(m_appActiveObserver);
    m_appActiveObserver = {};
}

QFuture<void> NBEWorkspaceViewModel::autoFetchNow()
{
    // A second request while one runs (an activation during the loop's turn)
    // waits for that one instead of fetching twice in a row.
    if (m_autoFetchRunning && !m_autoFetchRunning->isFinished())
        return *m_autoFetchRunning;
    if (!isAutoFetchEnabled() || m_isSyncing || git().remotes.isEmpty() || !git().root)
        return QtFuture::makeReadyFuture();

    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    QFuture<void> done = promise->future();
    m_autoFetchRunning = done;
    // Every failure is silent: the state keeps what the last refresh found.
    nbeWhenFinished(m_gitService.fetch(*git().root), this, [this, promise](bool fetched) {
        // A closed workspace keeps its last git state; refreshing without a
        // workspace would wipe it.
        if (!fetched || !m_workspace) {
            promise->finish();
            return;
        }
        nbeWhenFinished(refreshGitStatus(), this, [promise] { promise->finish(); });
    });
    return done;
}
