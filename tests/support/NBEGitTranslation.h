#pragma once

#include <QCoreApplication>
#include <QTranslator>

namespace NBETest {

// A translation of the git classes' sentences, loaded while it lives: a
// caller that still compares git's results with English text is caught.
class GitTranslation : public QTranslator
{
public:
    GitTranslation() { QCoreApplication::installTranslator(this); }
    ~GitTranslation() override { QCoreApplication::removeTranslator(this); }
    GitTranslation(const GitTranslation &) = delete;
    GitTranslation &operator=(const GitTranslation &) = delete;

    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *sourceText, const char *, int) const override
    {
        if (!QByteArrayView(context).startsWith("NBEGit"))
            return {};
        return QStringLiteral("(fr) ") + QString::fromUtf8(sourceText);
    }
};

} // namespace NBETest
