#pragma once

#include <QByteArrayList>
#include <QCoreApplication>
#include <QTranslator>

namespace NBETest {

// Marks each sentence of the named classes as translated, «like this», while
// it lives: a message put together from several of them shows the seams
// where a translator could never word it whole.
class SentenceTranslation : public QTranslator
{
public:
    explicit SentenceTranslation(QByteArrayList contexts)
        : m_contexts(std::move(contexts))
    {
        QCoreApplication::installTranslator(this);
    }
    ~SentenceTranslation() override { QCoreApplication::removeTranslator(this); }
    SentenceTranslation(const SentenceTranslation &) = delete;
    SentenceTranslation &operator=(const SentenceTranslation &) = delete;

    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *sourceText, const char *, int) const override
    {
        if (!m_contexts.contains(QByteArray(context)))
            return {};
        return u'\u00AB' + QString::fromUtf8(sourceText) + u'\u00BB';
    }

private:
    QByteArrayList m_contexts;
};

} // namespace NBETest
