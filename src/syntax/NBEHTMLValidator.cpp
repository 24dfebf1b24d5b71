#include "NBEHTMLValidator.h"

#include "NBEHTMLData.h"
#include "NBEMarkupScan.h"

#include <QHash>

#include <algorithm>

namespace {

enum class Kind { open, close, selfClose };

struct Tag
{
    QString name;
    Kind kind;
    qsizetype offset;
    qsizetype length;
    bool terminated;
};

QList<Tag> scan(const QString &text)
{
    QList<Tag> tags;
    NBEMarkupScan::TagIterator iterator(text);
    while (const auto tag = iterator.next()) {
        const Kind kind = tag->closing       ? Kind::close
                          : tag->selfClosing ? Kind::selfClose
                                             : Kind::open;
        tags.append({text.mid(tag->nameStart, tag->nameLength()).toLower(), kind, tag->start,
                     tag->nameEnd - tag->start, tag->closed});
    }
    return tags;
}

std::pair<qint64, qint64> position(qsizetype offset, const QList<qsizetype> &starts)
{
    const qsizetype line = NBEMarkupScan::lineIndex(starts, offset);
    return {line, offset - starts[line]};
}

} // namespace

namespace NBEHTMLValidator {

QList<NBELSPDiagnostic> validate(const QString &text)
{
    QList<NBELSPDiagnostic> diagnostics;
    const QList<Tag> tags = scan(text);
    if (tags.isEmpty())
        return diagnostics;
    const QList<qsizetype> starts = NBEMarkupScan::lineStarts(text);
    auto report = [&](const Tag &tag, const QString &message) {
        const auto [startLine, startCharacter] = position(tag.offset, starts);
        const auto [endLine, endCharacter] = position(tag.offset + tag.length, starts);
        diagnostics.append({startLine, startCharacter, endLine, endCharacter,
                            NBELSPDiagnosticSeverity::error, message});
    };
    auto unclosed = [&](const Tag &tag) {
        report(tag, QLatin1String("Unclosed tag <") + tag.name + QLatin1Char('>'));
    };
    const QSet<QString> &voids = NBEHTMLData::voidElements();
    QList<const Tag *> stack;
    // Open names counted so a stray closing tag is known without walking the
    // whole stack: the pass stays linear however many tags are left open.
    QHash<QString, int> openCount;
    for (const Tag &tag : tags) {
        if (!tag.terminated) {
            report(tag, QLatin1String(tag.kind == Kind::close ? "Unterminated tag </"
                                                              : "Unterminated tag <") +
                            tag.name + QStringLiteral("> \u2014 missing '>'"));
        }
        if (tag.kind == Kind::selfClose || voids.contains(tag.name))
            continue;
        if (tag.kind == Kind::open) {
            stack.append(&tag);
            ++openCount[tag.name];
            continue;
        }
        if (openCount.value(tag.name) == 0) {
            report(tag, QLatin1String("Stray closing tag </") + tag.name +
                            QLatin1String("> has no matching opening tag"));
            continue;
        }
        qsizetype k = stack.size() - 1;
        while (k >= 0 && stack[k]->name != tag.name)
            --k;
        for (qsizetype above = k + 1; above < stack.size(); ++above)
            unclosed(*stack[above]);
        for (qsizetype above = k; above < stack.size(); ++above)
            --openCount[stack[above]->name];
        stack.resize(k);
    }
    for (const Tag *tag : stack)
        unclosed(*tag);
    return diagnostics;
}

} // namespace NBEHTMLValidator
