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

bool isWordCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') ||
           u == u'_' || u == u'-' || u == u'$';
}

namespace {

int wordBefore(QStringView text)
{
    qsizetype start = text.size();
    while (start > 0 && isWordCharacter(text[start - 1]))
        --start;
    return int(text.size() - start);
}

} // namespace

int wordPrefixLength(int offset, const QString &text)
{
    const int end = std::min<int>(offset, int(text.size()));
    return end <= 0 ? 0 : wordBefore(QStringView(text).left(end));
}

namespace {

// `word` is the length of the word `before` ends with, found once by callers
// that try many candidates: a long word would otherwise be walked per item.
int typedLengthAfterWord(QStringView before, int word, QStringView candidate)
{
    qsizetype lead = 0;
    while (lead < candidate.size() && !isWordCharacter(candidate[lead]))
        ++lead;
    for (qsizetype length = std::min(word + lead, before.size()); length > word; --length) {
        if (candidate.startsWith(before.right(length), Qt::CaseInsensitive))
            return int(length);
    }
    return word;
}

bool continuesTypedWord(QStringView before, int word, QStringView candidate)
{
    return candidate.startsWith(before.right(typedLengthAfterWord(before, word, candidate)),
                                Qt::CaseInsensitive);
}

} // namespace

int typedLength(QStringView before, QStringView candidate)
{
    return typedLengthAfterWord(before, wordBefore(before), candidate);
}

bool continuesTyped(QStringView before, QStringView candidate)
{
    return continuesTypedWord(before, wordBefore(before), candidate);
}

QList<NBELSPCompletionItem> narrowed(const QList<NBELSPCompletionItem> &items, QStringView before)
{
    const int word = wordBefore(before);
    QList<NBELSPCompletionItem> kept;
    for (const NBELSPCompletionItem &item : items) {
        if (continuesTypedWord(before, word,
                               item.filterText.isEmpty() ? item.label : item.filterText))
            kept.append(item);
    }
    return kept;
}

bool opensCompletion(QStringView before, const QString &scopeLanguage,
                     const QString &serverTriggers)
{
    if (before.isEmpty())
        return false;
    const QChar typed = before.back();
    if (isWordCharacter(typed) || serverTriggers.contains(typed))
        return true;
    if (scopeLanguage == QLatin1String("html"))
        return typed == u'<';
    if (scopeLanguage == QLatin1String("css"))
        return typed == u':' ||
               (typed == u' ' && before.size() > 1 && before[before.size() - 2] == u':');
    return false;
}

} // namespace NBECompletionSources
