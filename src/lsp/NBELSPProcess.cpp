#include "NBELSPProcess.h"

#include "NBELog.h"

#include <QFileInfo>
#include <QTimer>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

namespace {
// How long a terminated child may linger before SIGTERM, then SIGKILL.
constexpr int terminateDelayMs = 300;
constexpr int killDelayMs = 3000;
// A server's work is background work: on a busy machine the editor's own
// thread should get the processor first, so keys are drawn while the server
// checks the text they changed.
constexpr int serverNiceness = 10;
} // namespace

// The writing thread's queue. Shared with the thread, which may outlive the
// process object while a last write ends.
struct NBELSPProcess::Writer
{
    struct Job
    {
        std::function<QByteArray()> produce;
        QString replaceKey;
    };

    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Job> jobs;
    // Close standard input once the queue is empty.
    bool closing = false;
    // Drop what is queued and close now.
    bool abandoned = false;
    int fd = -1;

    void add(Job job)
    {
        {
            const std::lock_guard lock(mutex);
            if (!job.replaceKey.isEmpty() && !jobs.empty() &&
                jobs.back().replaceKey == job.replaceKey)
                jobs.back() = std::move(job);
            else
                jobs.push_back(std::move(job));
        }
        wake.notify_one();
    }

    void stop(bool dropQueued)
    {
        {
            const std::lock_guard lock(mutex);
            closing = true;
            abandoned = abandoned || dropQueued;
        }
        wake.notify_one();
    }

    static void run(const std::shared_ptr<Writer> &writer)
    {
        // A server gone before reading its input makes writes fail, never
        // end the editor.
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
        // Woken by each keystroke's change, the thread would otherwise take
        // the processor from the main thread before it has drawn the key; as
        // a batch thread it waits for its turn.
        const sched_param batch{};
        pthread_setschedparam(pthread_self(), SCHED_BATCH, &batch);
        bool broken = false;
        for (;;) {
            Job job;
            {
                std::unique_lock lock(writer->mutex);
                writer->wake.wait(lock, [&] {
                    return !writer->jobs.empty() || writer->closing || writer->abandoned;
                });
                if (writer->abandoned || (writer->jobs.empty() && writer->closing))
                    break;
                job = std::move(writer->jobs.front());
                writer->jobs.pop_front();
            }
            if (broken)
                continue;
            const QByteArray bytes = job.produce();
            const char *data = bytes.constData();
            qsizetype left = bytes.size();
            while (left > 0) {
                const ssize_t written = ::write(writer->fd, data, size_t(left));
                if (written < 0) {
                    if (errno == EINTR)
                        continue;
                    broken = true;
                    break;
                }
                data += written;
                left -= written;
            }
        }
        ::close(writer->fd);
    }
};

NBELSPProcess::NBELSPProcess(const QString &program, const QStringList &arguments,
                             std::optional<QProcessEnvironment> environment, QObject *parent)
    : QObject(parent)
{
    m_process.setProgram(program);
    m_process.setArguments(arguments);
    if (environment)
        m_process.setProcessEnvironment(*environment);
    // Read, never forwarded: a server that floods its standard error would
    // fill the editor's (and the journal) without end.
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_clock.start();
    m_dropsDue.setSingleShot(true);
    m_dropsDue.setInterval(1000);
    connect(&m_dropsDue, &QTimer::timeout, this, [this] {
        logErrors(m_errorLog.take({}, m_clock.elapsed()));
        if (m_errorLog.pendingDrops() > 0)
            m_dropsDue.start();
    });

    connect(&m_process, &QProcess::readyReadStandardOutput, this, &NBELSPProcess::readOutput);
    connect(&m_process, &QProcess::readyReadStandardError, this, &NBELSPProcess::readErrors);
    connect(&m_process, &QProcess::readChannelFinished, this, [this] {
        readOutput();
        if (!m_outputFinished && !m_terminated) {
            m_outputFinished = true;
            emit outputFinished();
        }
    });
    connect(&m_process, &QProcess::finished, this,
            [this](int exitCode, QProcess::ExitStatus status) {
                readOutput();
                readErrors();
                m_dropsDue.stop();
                logErrors(m_errorLog.finish(m_clock.elapsed()));
                if (!m_outputFinished && !m_terminated) {
                    m_outputFinished = true;
                    emit outputFinished();
                }
                emit terminated(status == QProcess::NormalExit ? exitCode : -1);
            });
}

NBELSPProcess::~NBELSPProcess()
{
    if (m_writer)
        m_writer->stop(true);
    if (m_process.state() != QProcess::NotRunning) {
        // Last resort when the owner did not terminate first: do not block.
        m_process.kill();
        m_process.waitForFinished(1000);
    }
}

NBEResult<void> NBELSPProcess::launch()
{
    // The child's standard input is a pipe of our own, written by the writing
    // thread; QProcess leaves it alone.
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return nbeFailure(tr("The language server \"%1\" could not be started: %2")
                              .arg(m_process.program(), QString::fromLocal8Bit(strerror(errno))));
    const int readEnd = ends[0];
    m_process.setInputChannelMode(QProcess::ForwardedInputChannel);
    m_process.setChildProcessModifier([readEnd] {
        (void)::nice(serverNiceness);
        if (readEnd == STDIN_FILENO)
            ::fcntl(STDIN_FILENO, F_SETFD, 0);
        else
            ::dup2(readEnd, STDIN_FILENO);
    });
    m_process.start(QIODevice::ReadWrite);
    ::close(readEnd);
    if (!m_process.waitForStarted(10000)) {
        ::close(ends[1]);
        const QString reason = m_process.errorString();
        return nbeFailure(tr("The language server \"%1\" could not be started: %2")
                              .arg(m_process.program(), reason));
    }
    m_writer = std::make_shared<Writer>();
    m_writer->fd = ends[1];
    std::thread([writer = m_writer] { Writer::run(writer); }).detach();
    m_launched = true;
    return {};
}

NBEResult<void> NBELSPProcess::write(const QByteArray &bytes)
{
    return writeLater([bytes] { return bytes; });
}

NBEResult<void> NBELSPProcess::writeLater(std::function<QByteArray()> produce,
                                          const QString &replaceKey)
{
    if (m_terminated || !m_writer || m_process.state() != QProcess::Running)
        return nbeFailure(tr("The language server is not running."));
    m_writer->add({std::move(produce), replaceKey});
    return {};
}

bool NBELSPProcess::isRunning() const
{
    return m_process.state() == QProcess::Running;
}

void NBELSPProcess::readOutput()
{
    if (m_terminated)
        return;
    const QByteArray chunk = m_process.readAllStandardOutput();
    if (!chunk.isEmpty())
        emit output(chunk);
}

void NBELSPProcess::readErrors()
{
    const QByteArray chunk = m_process.readAllStandardError();
    if (chunk.isEmpty())
        return;
    logErrors(m_errorLog.take(chunk, m_clock.elapsed()));
    if (m_errorLog.pendingDrops() > 0 && !m_dropsDue.isActive())
        m_dropsDue.start();
}

void NBELSPProcess::logErrors(const QStringList &lines)
{
    const QString server = QFileInfo(m_process.program()).fileName() + u' ' +
                           QFileInfo(m_process.arguments().value(0)).fileName();
    for (const QString &line : lines) {
        NBELog::lsp().info("%s", server.trimmed() + QStringLiteral(": ") + line);
        emit errorLogged(line);
    }
}

void NBELSPProcess::terminate()
{
    if (m_terminated)
        return;
    m_terminated = true;
    m_outputFinished = true;
    if (m_writer)
        m_writer->stop(false);
    if (m_process.state() == QProcess::NotRunning)
        return;
    // Let queued bytes (an "exit" notification) reach the child and give it a
    // moment to leave on its own before it is asked, then forced, to go.
    QTimer::singleShot(terminateDelayMs, this, [this] {
        if (m_process.state() != QProcess::NotRunning)
            m_process.terminate();
    });
    QTimer::singleShot(killDelayMs, this, [this] {
        if (m_process.state() != QProcess::NotRunning)
            m_process.kill();
    });
}

void NBELSPProcess::releaseWhenFinished()
{
    setParent(nullptr);
    if (m_process.state() == QProcess::NotRunning) {
        deleteLater();
        return;
    }
    connect(&m_process, &QProcess::finished, this, &QObject::deleteLater);
}
