#pragma once

#include <QFuture>
#include <QString>

#include <optional>

// The secrets the editor keeps in the system keyring.
enum class NBEKeychainKey { anthropicAPIKey };

// Reads and writes secrets in the system keyring (the Secret Service), one
// item per key under a fixed service name. The keyring answers
// asynchronously, so every call returns a future; call from the main thread.
// No call fails loudly: a locked or missing keyring reads as no secret and
// writes report false.
class NBEKeychain
{
public:
    // The application identifier followed by ".ai".
    static QString service();
    static QString account(NBEKeychainKey key);

    // The stored text; nothing when there is no item, it is empty, it is not
    // UTF-8, or the keyring can't be read.
    static QFuture<std::optional<QString>> get(NBEKeychainKey key);
    static QFuture<bool> has(NBEKeychainKey key);
    // Replaces the item's secret (or adds the item); an empty value deletes it.
    static QFuture<bool> set(const QString &value, NBEKeychainKey key);
    // True when the item is gone, also when there was none.
    static QFuture<bool> remove(NBEKeychainKey key);
};
