#include "NBEKeychain.h"

#include "NBELog.h"

#include <QPromise>
#include <QStringDecoder>
#include <qt6keychain/keychain.h>

#include <memory>

namespace {

template <typename T> std::shared_ptr<QPromise<T>> startedPromise()
{
    auto promise = std::make_shared<QPromise<T>>();
    promise->start();
    return promise;
}

template <typename T> void fulfil(QPromise<T> &promise, T value)
{
    promise.addResult(std::move(value));
    promise.finish();
}

template <typename Job> Job *makeJob(NBEKeychainKey key)
{
    auto *job = new Job(NBEKeychain::service());
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    job->setKey(NBEKeychain::account(key));
    return job;
}

} // namespace

QString NBEKeychain::service()
{
    return QString::fromLatin1(NBELog::subsystem) + QStringLiteral(".ai");
}

QString NBEKeychain::account(NBEKeychainKey key)
{
    switch (key) {
    case NBEKeychainKey::anthropicAPIKey:
        return QStringLiteral("anthropic-api-key");
    }
    return {};
}

QFuture<std::optional<QString>> NBEKeychain::get(NBEKeychainKey key)
{
    auto promise = startedPromise<std::optional<QString>>();
    auto *job = makeJob<QKeychain::ReadPasswordJob>(key);
    QObject::connect(job, &QKeychain::Job::finished, job, [job, promise] {
        std::optional<QString> value;
        if (job->error() == QKeychain::NoError) {
            QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString text = decoder.decode(job->binaryData());
            if (!decoder.hasError() && !text.isEmpty())
                value = text;
        }
        fulfil(*promise, value);
    });
    job->start();
    return promise->future();
}

QFuture<bool> NBEKeychain::has(NBEKeychainKey key)
{
    auto promise = startedPromise<bool>();
    get(key).then(QtFuture::Launch::Sync, [promise](const std::optional<QString> &value) {
        fulfil(*promise, value.has_value());
    });
    return promise->future();
}

QFuture<bool> NBEKeychain::set(const QString &value, NBEKeychainKey key)
{
    if (value.isEmpty())
        return remove(key);
    QStringEncoder encoder(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
    const QByteArray bytes = encoder.encode(value);
    if (encoder.hasError())
        return QtFuture::makeReadyFuture(false);
    auto promise = startedPromise<bool>();
    auto *job = makeJob<QKeychain::WritePasswordJob>(key);
    job->setBinaryData(bytes);
    QObject::connect(job, &QKeychain::Job::finished, job,
                     [job, promise] { fulfil(*promise, job->error() == QKeychain::NoError); });
    job->start();
    return promise->future();
}

QFuture<bool> NBEKeychain::remove(NBEKeychainKey key)
{
    auto promise = startedPromise<bool>();
    auto *job = makeJob<QKeychain::DeletePasswordJob>(key);
    QObject::connect(job, &QKeychain::Job::finished, job, [job, promise] {
        fulfil(*promise,
               job->error() == QKeychain::NoError || job->error() == QKeychain::EntryNotFound);
    });
    job->start();
    return promise->future();
}
