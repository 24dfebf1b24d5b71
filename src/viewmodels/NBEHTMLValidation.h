#pragma once

#include "NBERequestOrder.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <memory>

class NBEDiagnosticsStore;
class NBETextBuffer;
class QTimer;

// The built-in HTML check of the files no server serves: each file's check
// waits until its text rests, and its findings replace the file's list in the
// store unless a newer edit, a drop or a closed folder made them stale.
class NBEHTMLValidation : public QObject
{
    Q_OBJECT

public:
    NBEHTMLValidation(NBEDiagnosticsStore &store, std::chrono::milliseconds delay,
                      QObject *parent = nullptr);

    void schedule(const QUrl &url, const QString &text);
    // Reads the buffer's text only when the check runs.
    void schedule(const QUrl &url, const std::shared_ptr<NBETextBuffer> &buffer);
    // Forgets the file's waiting or running check.
    void drop(const QUrl &url);
    void dropAll();

private:
    // The text waiting for its rest timer, and the order of its checks: a
    // result is stored only while no edit or newer check came since.
    struct Pending
    {
        QTimer *timer = nullptr;
        QUrl url;
        // The text, or the buffer read when the check runs.
        QString text;
        std::weak_ptr<NBETextBuffer> buffer;
        NBERequestOrder checks;
    };
    void scheduleCheck(const QUrl &url, const QString &text,
                       const std::weak_ptr<NBETextBuffer> &buffer);
    void validateNow(const QString &key);

    NBEDiagnosticsStore &m_store;
    std::chrono::milliseconds m_delay;
    QHash<QString, Pending> m_pending;
};
