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

using MarkupTag = NBEMarkupScan::Tag;

bool isPairing(const QString &text, const MarkupTag &tag)
{
    return !tag.selfClosing &&
           !NBEMarkupScan::isVoidElement(QStringView(text).mid(tag.nameStart, tag.nameLength()));
}

// The tag the scan reads at `start`, when one starts there.
std::optional<MarkupTag> tagAt(const QString &text, qsizetype start)
{
    NBEMarkupScan::TagIterator iterator(text, start);
    const auto tag = iterator.next();
    if (!tag || tag->start != start)
        return std::nullopt;
    return tag;
}

// The opening tag of the raw-text element `name` that starts last before
// `before`, or -1.
qsizetype rawTextOpening(QStringView text, QStringView name, qsizetype before)
{
    const QString opening = u'<' + name.toString();
    for (qsizetype at = text.lastIndexOf(opening, before - 1, Qt::CaseInsensitive); at >= 0;
         at = at > 0 ? text.lastIndexOf(opening, at - 1, Qt::CaseInsensitive) : -1) {
        const qsizetype after = at + opening.size();
        if (after < text.size() && !NBEMarkupScan::isNameChar(text[after]))
            return at;
    }
    return -1;
}

// The first closing tag of the raw-text element `name` at or after `from`,
// or -1.
qsizetype rawTextClosing(QStringView text, QStringView name, qsizetype from)
{
    const QString closing = QStringLiteral("</") + name.toString();
    for (qsizetype at = text.indexOf(closing, from, Qt::CaseInsensitive); at >= 0;
         at = text.indexOf(closing, at + 1, Qt::CaseInsensitive)) {
        const qsizetype after = at + closing.size();
        if (after >= text.size() || !NBEMarkupScan::isNameChar(text[after]))
            return at;
    }
    return -1;
}

// The opening tag whose text the closing raw-text tag `closing` ends, or
// -1 when it ends none (a stray closing tag).
qsizetype rawTextStart(const QString &text, const MarkupTag &closing)
{
    const QStringView name = QStringView(text).mid(closing.nameStart, closing.nameLength());
    if (!closing.closing || !NBEMarkupScan::TagIterator::isRawTextElement(name))
        return -1;
    const qsizetype opening = rawTextOpening(text, name, closing.start);
    if (opening < 0)
        return -1;
    const auto tag = tagAt(text, opening);
    if (!tag || !tag->closed || tag->selfClosing ||
        rawTextClosing(text, name, tag->end) != closing.start)
        return -1;
    return opening;
}

// Whether `position` lies in a comment or in the text of a script, style or
// textarea element. Looks back a bounded stretch, so a keystroke never reads
// the whole file: such text longer than that is taken for markup.
bool inHiddenText(const QString &text, qsizetype position)
{
    constexpr qsizetype reach = 64 * 1024;
    const qsizetype from = std::max<qsizetype>(0, position - reach);
    const QStringView before = QStringView(text).mid(from, position - from);
    if (const qsizetype comment = before.lastIndexOf(u"<!--");
        comment >= 0 && before.indexOf(u"-->", comment + 4) < 0)
        return true;
    for (const QStringView name :
         {QStringView(u"script"), QStringView(u"style"), QStringView(u"textarea")}) {
        const qsizetype opening = rawTextOpening(before, name, before.size());
        if (opening < 0)
            continue;
        const auto tag = tagAt(text, from + opening);
        if (!tag || !tag->closed || tag->selfClosing || tag->end > position)
            continue;
        // The element's closing tag ends its text, also one starting at the
        // position itself.
        const QStringView around =
            QStringView(text).mid(from, std::min(text.size(), position + name.size() + 3) - from);
        const qsizetype close = rawTextClosing(around, name, tag->end - from);
        if (close < 0 || close > position - from)
            return true;
    }
    return false;
}

// The pairing tag whose name holds `caret` (both ends included), found from
// the characters around it.
std::optional<MarkupTag> tagAround(const QString &text, int caret)
{
    if (caret < 0 || caret > text.size())
        return std::nullopt;
    qsizetype nameStart = caret;
    while (nameStart > 0 && NBEMarkupScan::isNameChar(text[nameStart - 1]))
        --nameStart;
    if (nameStart == 0)
        return std::nullopt;
    const bool closing = text[nameStart - 1] == u'/';
    const qsizetype start = nameStart - (closing ? 2 : 1);
    if (start < 0 || text[start] != u'<')
        return std::nullopt;
    const auto tag = tagAt(text, start);
    if (!tag || tag->nameStart != nameStart || !isPairing(text, *tag) || inHiddenText(text, start))
        return std::nullopt;
    return tag;
}

// The partner of a closing tag: walks back over the tags before it, a
// comment or a raw-text element's text at a time.
std::optional<MarkupTag> openingPartner(const QString &text, const MarkupTag &closing)
{
    int depth = 0;
    qsizetype end = closing.start;
    while (end > 0) {
        const qsizetype open = text.lastIndexOf(u'<', end - 1);
        if (open < 0)
            break;
        if (const qsizetype commentEnd =
                QStringView(text).mid(open, end - open).lastIndexOf(u"-->");
            commentEnd >= 0) {
            const qsizetype comment = text.lastIndexOf(QLatin1String("<!--"), open + commentEnd);
            end = comment >= 0 ? comment : open + commentEnd;
            continue;
        }
        end = open;
        const auto tag = tagAt(text, open);
        if (!tag || !isPairing(text, *tag))
            continue;
        // A raw-text element's text holds no tags: both its ends pair, together.
        if (const qsizetype opening = rawTextStart(text, *tag); opening >= 0) {
            end = opening;
            continue;
        }
        if (tag->closing)
            ++depth;
        else if (depth-- == 0)
            return tag;
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

std::optional<NBETagPairsLink> caretLinkNearby(const QString &text, int caret)
{
    const auto tag = tagAround(text, caret);
    if (!tag)
        return std::nullopt;
    const NBETextRange range{int(tag->nameStart), int(tag->nameLength())};
    NBETagPairsLink link{range, text.mid(range.location, range.length), std::nullopt};
    // Counting nesting outwards from the tag finds the partner the stack of
    // open tags pairs it with: what lies between the two is balanced.
    std::optional<MarkupTag> partner;
    if (const qsizetype opening = rawTextStart(text, *tag); opening >= 0) {
        partner = tagAt(text, opening);
    } else if (tag->closing) {
        partner = openingPartner(text, *tag);
    } else {
        NBEMarkupScan::TagIterator iterator(text, tag->start);
        iterator.next();
        int depth = 0;
        while (const auto next = iterator.next()) {
            if (!isPairing(text, *next))
                continue;
            if (!next->closing) {
                ++depth;
            } else if (depth-- == 0) {
                partner = next;
                break;
            }
        }
    }
    if (partner)
        link.pairName = NBETextRange{int(partner->nameStart), int(partner->nameLength())};
    return link;
}

} // namespace NBETagPairs
