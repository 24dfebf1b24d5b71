#include "NBEMarkdownEditor.h"

#include "NBERawValueTable.h"

#include <functional>

namespace {

constexpr std::pair<NBEMarkdownAction::Value, const char16_t *> kRawValues[] = {
    {NBEMarkdownAction::bold, u"bold"},
    {NBEMarkdownAction::italic, u"italic"},
    {NBEMarkdownAction::strikethrough, u"strikethrough"},
    {NBEMarkdownAction::inlineCode, u"inlineCode"},
    {NBEMarkdownAction::heading, u"heading"},
    {NBEMarkdownAction::quote, u"quote"},
    {NBEMarkdownAction::bulletList, u"bulletList"},
    {NBEMarkdownAction::orderedList, u"orderedList"},
    {NBEMarkdownAction::taskList, u"taskList"},
    {NBEMarkdownAction::link, u"link"},
    {NBEMarkdownAction::image, u"image"},
    {NBEMarkdownAction::codeBlock, u"codeBlock"},
    {NBEMarkdownAction::table, u"table"},
    {NBEMarkdownAction::horizontalRule, u"horizontalRule"},
};

constexpr NBERawValueTable<NBEMarkdownAction, NBEMarkdownAction::Value, std::size(kRawValues)>
    kTable{kRawValues};

NBEMarkdownEdit wrap(const QString &marker, const QString &placeholder, const QString &text,
                     NBETextRange sel)
{
    const QString inner = sel.length > 0 ? text.sliced(sel.location, sel.length) : placeholder;
    return {sel, marker + inner + marker, nbeTextRange(sel.location + marker.size(), inner.size())};
}

// The whole lines a selection touches, with the line break of the last one.
NBETextRange lineRange(const QString &text, NBETextRange sel)
{
    const qsizetype start = sel.location == 0 ? 0 : text.lastIndexOf(u'\n', sel.location - 1) + 1;
    // A selection that ends right after a line break does not reach into the
    // next line, unless it is empty.
    const qsizetype last = sel.length > 0 ? sel.end() - 1 : sel.location;
    const qsizetype breakAt = text.indexOf(u'\n', last);
    const qsizetype end = breakAt < 0 ? text.size() : breakAt + 1;
    return nbeTextRange(start, end - start);
}

NBEMarkdownEdit linePrefix(const QString &text, NBETextRange sel,
                           const std::function<QString(qsizetype)> &prefix)
{
    const NBETextRange range = lineRange(text, sel);
    QStringList lines = text.sliced(range.location, range.length).split(u'\n');
    const bool endsWithBreak = lines.last().isEmpty();
    if (endsWithBreak)
        lines.removeLast();
    if (lines.isEmpty())
        lines.append(QString());
    for (qsizetype k = 0; k < lines.size(); ++k)
        lines[k].prepend(prefix(k));
    QString replacement = lines.join(u'\n');
    if (endsWithBreak)
        replacement += u'\n';
    return {range, replacement, nbeTextRange(range.location, replacement.size())};
}

NBEMarkdownEdit link(bool isImage, const QString &text, NBETextRange sel)
{
    const QString label = sel.length > 0 ? text.sliced(sel.location, sel.length)
                          : isImage      ? QStringLiteral("alt")
                                         : QStringLiteral("text");
    const QString prefix = isImage ? QStringLiteral("!") : QString();
    const QString replacement = prefix + u'[' + label + QStringLiteral("](url)");
    return {sel, replacement, nbeTextRange(sel.location + prefix.size() + 1 + label.size() + 2, 3)};
}

NBEMarkdownEdit fencedCode(const QString &text, NBETextRange sel)
{
    const QString inner =
        sel.length > 0 ? text.sliced(sel.location, sel.length) : QStringLiteral("code");
    return {sel, QStringLiteral("```\n") + inner + QStringLiteral("\n```"),
            nbeTextRange(sel.location + 4, inner.size())};
}

} // namespace

QList<NBEMarkdownAction> NBEMarkdownAction::allCases()
{
    return kTable.allCases();
}

std::optional<NBEMarkdownAction> NBEMarkdownAction::fromRawValue(const QString &rawValue)
{
    return kTable.fromRawValue(rawValue);
}

QString NBEMarkdownAction::rawValue() const
{
    return kTable.rawValue(value);
}

NBETextRange NBEMarkdownEditor::clamp(NBETextRange selection, qsizetype length)
{
    const qsizetype location = std::clamp<qsizetype>(selection.location, 0, length);
    return nbeTextRange(location, std::clamp<qsizetype>(selection.length, 0, length - location));
}

NBEMarkdownEdit NBEMarkdownEditor::edit(NBEMarkdownAction action, const QString &text,
                                        NBETextRange selection)
{
    const NBETextRange sel = clamp(selection, text.size());
    const auto fixed = [](const QString &prefix) { return [prefix](qsizetype) { return prefix; }; };
    switch (action.value) {
    case NBEMarkdownAction::bold:
        return wrap(QStringLiteral("**"), QStringLiteral("bold"), text, sel);
    case NBEMarkdownAction::italic:
        return wrap(QStringLiteral("*"), QStringLiteral("italic"), text, sel);
    case NBEMarkdownAction::strikethrough:
        return wrap(QStringLiteral("~~"), QStringLiteral("strikethrough"), text, sel);
    case NBEMarkdownAction::inlineCode:
        return wrap(QStringLiteral("`"), QStringLiteral("code"), text, sel);
    case NBEMarkdownAction::heading:
        return linePrefix(text, sel, fixed(QStringLiteral("# ")));
    case NBEMarkdownAction::quote:
        return linePrefix(text, sel, fixed(QStringLiteral("> ")));
    case NBEMarkdownAction::bulletList:
        return linePrefix(text, sel, fixed(QStringLiteral("- ")));
    case NBEMarkdownAction::orderedList:
        return linePrefix(
            text, sel, [](qsizetype k) { return QString::number(k + 1) + QStringLiteral(". "); });
    case NBEMarkdownAction::taskList:
        return linePrefix(text, sel, fixed(QStringLiteral("- [ ] ")));
    case NBEMarkdownAction::link:
        return link(false, text, sel);
    case NBEMarkdownAction::image:
        return link(true, text, sel);
    case NBEMarkdownAction::codeBlock:
        return fencedCode(text, sel);
    case NBEMarkdownAction::table:
        return {sel, QStringLiteral("| Column | Column |\n| --- | --- |\n| Cell | Cell |"),
                nbeTextRange(sel.location + 2, 6)};
    case NBEMarkdownAction::horizontalRule:
        return {sel, QStringLiteral("---"), nbeTextRange(sel.location + 3, 0)};
    }
    return {sel, QString(), sel};
}
