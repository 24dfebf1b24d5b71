#include "NBELSPProcess.h"

#include <QTimer>

namespace {
// How long a terminated child may linger before SIGTERM, then SIGKILL.
constexpr int terminateDelayMs = 300;
constexpr int killDelayMs = 3000;
} // namespace

NBELSPProcess::NBELSPProcess(const QString &program, const QStringList &arguments,
                             std::optional<QProcessEnvironment> environment, QObject *parent)
    : QObject(parent)
{
    m_process.setProgram(program);
    m_process.setArguments(arguments);
    if (environment)
        m_process.setProcessEnvironment(*environment);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);

    connect(&m_process, &QProcess::readyReadStandardOutput, this, &NBELSPProcess::readOutput);
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
                if (!m_outputFinished && !m_terminated) {
                    m_outputFinished = true;
                    emit outputFinished();
                }
                emit terminated(status == QProcess::NormalExit ? exitCode : -1);
            });
}

NBELSPProcess::~NBELSPProcess()
{
    if (m_process.state() != QProcess::NotRunning) {
        // Last resort when the owner did not terminate first: do not block.
        m_process.kill();
        m_process.waitForFinished(1000);
    }
}

NBEResult<void> NBELSPProcess::launch()
{
    m_process.start(QIODevice::ReadWrite);
    if (!m_process.waitForStarted(10000)) {
        const QString reason = m_process.errorString();
        return nbeFailure(QStringLiteral("The language server \"%1\" could not be started: %2")
                              .arg(m_process.program(), reason));
    }
    m_launched = true;
    return {};
}

NBEResult<void> NBELSPProcess::write(const QByteArray &bytes)
{
    if (m_terminated || m_process.state() != QProcess::Running)
        return nbeFailure(QStringLiteral("The language server is not running."));
    if (m_process.write(bytes) != bytes.size())
        return nbeFailure(QStringLiteral("Writing to the language server failed: %1")
                              .arg(m_process.errorString()));
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

void NBELSPProcess::terminate()
{
    if (m_terminated)
        return;
    m_terminated = true;
    m_outputFinished = true;
    if (m_process.state() == QProcess::NotRunning)
        return;
    // Let queued bytes (an "exit" notification) reach the child and give it a
    // moment to leave on its own before it is asked, then forced, to go.
    m_process.closeWriteChannel();
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
