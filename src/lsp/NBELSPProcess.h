#pragma once

#include "NBEError.h"
#include "NBERateLimitedLog.h"

#include <QElapsedTimer>

#include <QObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

// One language server child process. Standard output arrives as `output`
// chunks in order, none dropped; standard error goes to the log line by
// line, a few kilobytes a second at most (a flood is counted, not copied).
// What goes to its standard input is produced and written by a thread of its
// own, in the order it was handed over, so neither encoding a large message
// nor a server slow to read ever holds up the owner's thread. Lives on the
// thread that created it and needs that thread's event loop.
class NBELSPProcess : public QObject
{
    Q_OBJECT

public:
    // No environment: the child inherits the editor's.
    NBELSPProcess(const QString &program, const QStringList &arguments,
                  std::optional<QProcessEnvironment> environment = std::nullopt,
                  QObject *parent = nullptr);
    ~NBELSPProcess() override;

    // Starts the child; fails with a readable reason when it cannot run.
    NBEResult<void> launch();

    // Queues bytes for the child's standard input. Fails once the child has
    // exited or was terminated: such bytes would go nowhere.
    NBEResult<void> write(const QByteArray &bytes);
    // Queues bytes that `produce` makes on the writing thread (it must only
    // read what it captured). A job with a non-empty `replaceKey` takes the
    // place of the last queued job when that one has the same key and has
    // not started: only the newest of a run of such messages is sent.
    NBEResult<void> writeLater(std::function<QByteArray()> produce, const QString &replaceKey = {});

    bool isRunning() const;

    // Stops delivering output and closes the child's standard input once the
    // queued bytes are written; a child still there shortly after gets
    // SIGTERM, then SIGKILL. Does not wait.
    // Safe to call more than once and after the child exited.
    void terminate();

    // After terminate(): the object deletes itself once the child is gone,
    // so its owner can let go without blocking or leaving a zombie.
    void releaseWhenFinished();

signals:
    void output(const QByteArray &chunk);
    void outputFinished();
    void terminated(int exitStatus);
    // A line of the server's standard error as it went to the log.
    void errorLogged(const QString &line);

private:
    struct Writer;

    void readOutput();
    void readErrors();
    void logErrors(const QStringList &lines);

    QProcess m_process;
    NBERateLimitedLog m_errorLog;
    QElapsedTimer m_clock;
    // Says the count of dropped lines once the flood pauses.
    QTimer m_dropsDue;
    std::shared_ptr<Writer> m_writer;
    bool m_launched = false;
    bool m_terminated = false;
    bool m_outputFinished = false;
};
