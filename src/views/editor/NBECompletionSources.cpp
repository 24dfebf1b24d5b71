#include "NBECompletionSources.h"

#include "NBECSSCompletion.h"
#include "NBEEmbeddedCSS.h"
#include "NBEWebCompletion.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace NBECompletionSources {

bool isPathAttribute(const QString &name)
{
    static const QStringList names = {QStringLiteral("href"),   QStringLiteral("src"),
                                      QStringLiteral("poster"), QStringLiteral("data"),
                                      QStringLiteral("action"), QStringLiteral("formaction"),
                                      QStringLiteral("cite"),   QStringLiteral("manifest")};
    return names.contains(name.toLower());
}

NBECompletionScope completionScope(const QString &text, int offset,
                                   const std::optional<QString> &languageID)
{
    if (languageID == QLatin1String("html")) {
        if (const auto body = NBEEmbeddedCSS::regionAround(offset, text))
            return {QStringLiteral("css"), text.mid(body->location, body->length),
                    offset - int(body->location)};
    }
    return {languageID.value_or(QString()), text, offset};
}

std::optional<NBEPathContext> pathContext(const NBECompletionScope &scope,
                                          const std::optional<QUrl> &fileURL,
                                          const std::optional<QUrl> &projectRoot)
{
    if (!fileURL)
        return std::nullopt;
    QString partial;
    if (scope.lang == QLatin1String("html")) {
        const NBEWebCompletionContext where = NBEWebCompletion::context(scope.text, scope.offset);
        if (where.kind != NBEWebCompletionContext::Kind::attributeValue ||
            !isPathAttribute(where.attribute))
            return std::nullopt;
        partial = where.prefix;
    } else if (scope.lang == QLatin1String("css")) {
        const auto typed = cssURLPartial(scope.text, scope.offset);
        if (!typed)
            return std::nullopt;
        partial = *typed;
    } else {
        return std::nullopt;
    }
    if (partial.contains(QLatin1String("://")) || partial.startsWith(u'#'))
        return std::nullopt;

    const qsizetype slash = partial.lastIndexOf(u'/');
    QString directory = partial.left(slash + 1);
    const QString name = partial.mid(slash + 1);
    const QString documentFolder = QFileInfo(fileURL->toLocalFile()).absolutePath();
    QString base = documentFolder;
    if (partial.startsWith(u'/')) {
        if (projectRoot)
            base = projectRoot->toLocalFile();
        directory.remove(0, 1);
    }
    const QString path = QDir::cleanPath(base + u'/' + directory);
    return NBEPathContext{QUrl::fromLocalFile(path + u'/'), name};
}

std::optional<QString> cssURLPartial(const QString &css, int offset)
{
    if (offset <= 0 || offset > css.size())
        return std::nullopt;
    qsizetype open = -1;
    for (qsizetype i = offset - 1; i >= 0; --i) {
        if (css[i] == u')')
            return std::nullopt;
        if (css[i] == u'(') {
            open = i;
            break;
        }
    }
    if (open < 0)
        return std::nullopt;
    if (!QStringView(css)
             .mid(std::max<qsizetype>(0, open - 3), std::min<qsizetype>(open, 3))
             .toString()
             .toLower()
             .endsWith(QLatin1String("url")))
        return std::nullopt;
    QString partial = css.mid(open + 1, offset - open - 1);
    if (partial.startsWith(u'"') || partial.startsWith(u'\''))
        partial.remove(0, 1);
    return partial;
}

QList<NBEPathEntry> readDirectory(const QUrl &dir)
{
    QList<NBEPathEntry> entries;
    const QFileInfoList infos =
        QDir(dir.toLocalFile())
            .entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    for (const QFileInfo &info : infos)
        entries.append({info.fileName(), info.isDir()});
    return entries;
}

QStringList matchingEntries(const QList<NBEPathEntry> &entries, const QString &namePrefix)
{
    const QString prefix = namePrefix.toLower();
    QStringList names;
    for (const NBEPathEntry &entry : entries) {
        if (!prefix.isEmpty() && !entry.name.toLower().startsWith(prefix))
            continue;
        names.append(entry.isDirectory ? entry.name + u'/' : entry.name);
    }
    // Code point order after composing, capitals before small letters.
    QList<QPair<QList<uint>, QString>> keyed;
    for (const QString &name : std::as_const(names))
        keyed.append({name.normalized(QString::NormalizationForm_C).toUcs4(), name});
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    QStringList sorted;
    for (const auto &pair : std::as_const(keyed))
        sorted.append(pair.second);
    return sorted;
}

QStringList builtInItems(const NBECompletionScope &scope)
{
    if (scope.lang == QLatin1String("html"))
        return NBEWebCompletion::completions(scope.text, scope.offset);
    if (scope.lang == QLatin1String("css"))
        return NBECSSCompletion::completions(scope.text, scope.offset);
    return {};
}

std::optional<NBECompletionInsertion> builtInInsertion(const QString &label,
                                                       const NBECompletionScope &scope)
{
    if (scope.lang == QLatin1String("html"))
        return NBEWebCompletion::insertion(label, scope.text, scope.offset);
    if (scope.lang == QLatin1String("css"))
        return NBECSSCompletion::insertion(label, scope.text, scope.offset);
    return std::nullopt;
}

int wordPrefixLength(int offset, const QString &text)
{
    const auto isWord = [](char16_t c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
               c == u'_' || c == u'-' || c == u'$';
    };
    int start = std::min<int>(offset, int(text.size()));
    if (start <= 0)
        return 0;
    const int end = start;
    while (start > 0 && isWord(text[start - 1].unicode()))
        --start;
    return end - start;
}

} // namespace NBECompletionSources
