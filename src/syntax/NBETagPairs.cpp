#include "NBETagPairs.h"

#include "NBEMarkupScan.h"

#include <QList>

namespace {

struct Tag
{
    bool isClose;
    NBETextRange nameRange;
};

QList<Tag> scan(const QString &text)
{
    QList<Tag> tags;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        i = text.indexOf(QLatin1Char('<'), i);
        if (i < 0)
            break;
        if (i + 1 < n && text[i + 1] == QLatin1Char('!')) {
            if (QStringView(text).mid(i + 2, 2) == u"--") {
                const qsizetype close = text.indexOf(QLatin1String("-->"), i + 4);
                if (close < 0)
                    break;
                i = close + 3;
            } else {
                const qsizetype close = text.indexOf(QLatin1Char('>'), i + 2);
                if (close < 0)
                    break;
                i = close + 1;
            }
            continue;
        }
        const bool isClose = i + 1 < n && text[i + 1] == QLatin1Char('/');
        const qsizetype nameStart = i + (isClose ? 2 : 1);
        const qsizetype nameLength = NBEMarkupScan::nameEnd(text, nameStart) - nameStart;
        const NBEMarkupScan::TagTail tail =
            NBEMarkupScan::tagTail(text, nameStart + nameLength, true);
        // An unclosed tag stops where it ended, so a following "<" starts a new one.
        i = tail.closed ? tail.end + 1 : tail.end;
        if (nameLength == 0 || tail.selfClosing())
            continue;
        if (NBEMarkupScan::isVoidElement(QStringView(text).mid(nameStart, nameLength)))
            continue;
        tags.append(Tag{isClose, {int(nameStart), int(nameLength)}});
    }
    return tags;
}

std::optional<qsizetype> structuralPair(qsizetype index, const QList<Tag> &tags)
{
    QList<qsizetype> stack;
    for (qsizetype k = 0; k < tags.size(); ++k) {
        if (!tags[k].isClose) {
            stack.append(k);
            continue;
        }
        if (stack.isEmpty()) {
            if (k == index)
                return std::nullopt; // a stray closing tag
            continue;
        }
        const qsizetype top = stack.takeLast();
        if (top == index)
            return k;
        if (k == index)
            return top;
    }
    return std::nullopt;
}

} // namespace

namespace NBETagPairs {

std::optional<NBETagPairsLink> caretLink(const QString &text, int caret)
{
    const QList<Tag> tags = scan(text);
    for (qsizetype k = 0; k < tags.size(); ++k) {
        const NBETextRange range = tags[k].nameRange;
        if (!range.contains(caret))
            continue;
        NBETagPairsLink link{range, text.mid(range.location, range.length), std::nullopt};
        if (const auto partner = structuralPair(k, tags))
            link.pairName = tags[*partner].nameRange;
        return link;
    }
    return std::nullopt;
}

} // namespace NBETagPairs
