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
    NBEMarkupScan::TagIterator iterator(text);
    while (const auto tag = iterator.next()) {
        const QStringView name = QStringView(text).mid(tag->nameStart, tag->nameLength());
        if (tag->selfClosing || NBEMarkupScan::isVoidElement(name))
            continue;
        tags.append(Tag{tag->closing, {int(tag->nameStart), int(tag->nameLength())}});
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
