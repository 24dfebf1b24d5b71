#pragma once

#include "NBEJSONValue.h"
#include "NBELSPRange.h"
#include "NBETextChange.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

// Document sync as both sessions speak it: the notifications' params (whole
// texts, or ranged changes for servers that take them), and the open
// documents with their versions, keyed by the cleaned local path so two
// spellings of one file are one document. A version is the revision of the
// buffer whose text it names, so every answer can be matched to its text.
class NBELSPDocumentSync
{
public:
    // A whole text and the revision it was read at.
    struct Text
    {
        QString text;
        qint64 version = 0;
    };
    // Reads the text as it stands, or nothing when there is no text anymore.
    using TextReader = std::function<std::optional<Text>()>;

    // A change as the server applies it: `text` takes the place of `range`
    // in the text before it.
    struct RangedChange
    {
        NBELSPRange range;
        QString text;
        bool operator==(const RangedChange &) const = default;
    };

    struct Document
    {
        QUrl url;
        QString serverLanguageId;
        qint64 version = 0; // the last one sent
        // Set while a whole-text change waits to be sent: reads the text
        // then.
        TextReader pendingText;
        // Ranged changes waiting to be sent, in order, and the version the
        // last one made.
        QList<RangedChange> heldChanges;
        qint64 heldVersion = 0;
        // Set while changes are held for a server that still starts: reads
        // the text to send instead, should the server take no ranges.
        TextReader textUnlessRanged;
    };

    static QString key(const QUrl &url)
    {
        if (url.isLocalFile())
            return QDir::cleanPath(QFileInfo(url.toLocalFile()).absoluteFilePath());
        return url.toString();
    }

    static QString uri(const QUrl &url) { return url.toString(QUrl::FullyEncoded); }

    static NBEJSONValue didOpenParams(const QUrl &url, const QString &languageId, qint64 version,
                                      const QString &text)
    {
        return NBEJSONValue::object(
            {{"textDocument", NBEJSONValue::object({{"uri", uri(url)},
                                                    {"languageId", languageId},
                                                    {"version", version},
                                                    {"text", text}})}});
    }

    static NBEJSONValue didChangeParams(const QUrl &url, qint64 version, const QString &text)
    {
        return NBEJSONValue::object(
            {{"textDocument", NBEJSONValue::object({{"uri", uri(url)}, {"version", version}})},
             {"contentChanges", NBEJSONValue::array({NBEJSONValue::object({{"text", text}})})}});
    }

    static NBEJSONValue didChangeParams(const QUrl &url, qint64 version,
                                        const QList<RangedChange> &changes)
    {
        NBEJSONValue::Array contentChanges;
        contentChanges.reserve(changes.size());
        for (const RangedChange &change : changes)
            contentChanges.append(
                NBEJSONValue::object({{"range", change.range.toJSON()}, {"text", change.text}}));
        return NBEJSONValue::object(
            {{"textDocument", NBEJSONValue::object({{"uri", uri(url)}, {"version", version}})},
             {"contentChanges", NBEJSONValue(std::move(contentChanges))}});
    }

    // Folds `next`, applied after `into`, into it when it touches the span
    // `into` wrote, so the server applies the two as one change; false,
    // leaving `into` as it was, when they lie apart.
    static bool merge(RangedChange &into, const RangedChange &next);

    static NBEJSONValue didCloseParams(const QUrl &url)
    {
        return NBEJSONValue::object({{"textDocument", NBEJSONValue::object({{"uri", uri(url)}})}});
    }

    // Records the document at the text's version and gives the didOpen
    // params. A document opened again may start at any version.
    NBEJSONValue open(const QUrl &url, const QString &serverLanguageId, const Text &text)
    {
        m_documents.insert(key(url), Document{url, serverLanguageId, text.version});
        return didOpenParams(url, serverLanguageId, text.version, text.text);
    }

    // The didChange params, or nothing for a document that is not open or
    // whose server already has this version or a newer one (versions only
    // grow while a document is open), or that holds newer changes.
    std::optional<NBEJSONValue> change(const QUrl &url, const Text &text)
    {
        if (Document *held = find(url)) {
            // The text holds every change made before it was read.
            if (text.version >= held->heldVersion)
                held->heldChanges.clear();
            if (!held->heldChanges.isEmpty())
                return std::nullopt;
        }
        Document *document = advance(url, text.version);
        if (!document)
            return std::nullopt;
        return didChangeParams(document->url, text.version, text.text);
    }

    // Forgets the document and gives the didClose params, or nothing.
    std::optional<NBEJSONValue> close(const QUrl &url, Document *document = nullptr)
    {
        const auto it = m_documents.find(key(url));
        if (it == m_documents.end())
            return std::nullopt;
        if (document)
            *document = *it;
        const QUrl opened = it->url;
        m_documents.erase(it);
        return didCloseParams(opened);
    }

    // The ranged didChange params of the edit that made `version`, sent now
    // with any held before it, or nothing, as above.
    std::optional<NBEJSONValue> change(const QUrl &url, const NBETextChange &change, qint64 version)
    {
        return hold(url, change, version) ? takeHeldChanges(url) : std::nullopt;
    }

    // Keeps the edit that made `version` back, merged with the one held
    // before it where they touch; false for a document that is not open or
    // whose server has this version or will have it.
    bool hold(const QUrl &url, const NBETextChange &change, qint64 version)
    {
        Document *document = find(url);
        if (!document || version <= std::max(document->version, document->heldVersion))
            return false;
        RangedChange ranged{
            {{change.startLine, change.startCharacter}, {change.endLine, change.endCharacter}},
            change.rangeText};
        if (document->heldChanges.isEmpty() || !merge(document->heldChanges.last(), ranged))
            document->heldChanges.append(std::move(ranged));
        document->heldVersion = version;
        return true;
    }

    // The didChange params of the held changes, as one message under the
    // version of the last, or nothing when none is held.
    std::optional<NBEJSONValue> takeHeldChanges(const QUrl &url)
    {
        Document *document = find(url);
        if (!document || document->heldChanges.isEmpty())
            return std::nullopt;
        const QList<RangedChange> changes = std::exchange(document->heldChanges, {});
        document->version = document->heldVersion;
        return didChangeParams(document->url, document->version, changes);
    }

    const Document *find(const QUrl &url) const
    {
        const auto it = m_documents.constFind(key(url));
        return it == m_documents.cend() ? nullptr : &it.value();
    }
    Document *find(const QUrl &url)
    {
        const auto it = m_documents.find(key(url));
        return it == m_documents.end() ? nullptr : &it.value();
    }

    // Every document with a change waiting.
    QList<QUrl> pending() const
    {
        QList<QUrl> urls;
        for (const Document &document : m_documents)
            if (document.pendingText || !document.heldChanges.isEmpty())
                urls.append(document.url);
        return urls;
    }

    void forgetLanguage(const QString &serverLanguageId)
    {
        m_documents.removeIf(
            [&](const auto &entry) { return entry.value().serverLanguageId == serverLanguageId; });
    }

private:
    Document *advance(const QUrl &url, qint64 version)
    {
        Document *document = find(url);
        if (!document || version <= document->version)
            return nullptr;
        document->version = version;
        return document;
    }

    QHash<QString, Document> m_documents;
};
