#include "NBEHTMLEditor.h"

#include "NBERawValueTable.h"

#include "NBEMarkdownEditor.h"

namespace {

constexpr std::pair<NBEHTMLAction::Value, const char16_t *> kRawValues[] = {
    {NBEHTMLAction::bold, u"bold"},
    {NBEHTMLAction::italic, u"italic"},
    {NBEHTMLAction::underline, u"underline"},
    {NBEHTMLAction::strikethrough, u"strikethrough"},
    {NBEHTMLAction::code, u"code"},
    {NBEHTMLAction::paragraph, u"paragraph"},
    {NBEHTMLAction::heading1, u"heading1"},
    {NBEHTMLAction::heading2, u"heading2"},
    {NBEHTMLAction::heading3, u"heading3"},
    {NBEHTMLAction::heading4, u"heading4"},
    {NBEHTMLAction::heading5, u"heading5"},
    {NBEHTMLAction::heading6, u"heading6"},
    {NBEHTMLAction::blockquote, u"blockquote"},
    {NBEHTMLAction::preformatted, u"preformatted"},
    {NBEHTMLAction::div, u"div"},
    {NBEHTMLAction::unorderedList, u"unorderedList"},
    {NBEHTMLAction::orderedList, u"orderedList"},
    {NBEHTMLAction::table, u"table"},
    {NBEHTMLAction::link, u"link"},
    {NBEHTMLAction::image, u"image"},
    {NBEHTMLAction::horizontalRule, u"horizontalRule"},
    {NBEHTMLAction::lineBreak, u"lineBreak"},
};

constexpr NBERawValueTable<NBEHTMLAction, NBEHTMLAction::Value, std::size(kRawValues)> kTable{
    kRawValues};

QString selected(const QString &text, NBETextRange sel, const QString &placeholder)
{
    return sel.length > 0 ? text.sliced(sel.location, sel.length) : placeholder;
}

NBEMarkdownEdit wrap(const QString &tag, const QString &placeholder, const QString &text,
                     NBETextRange sel)
{
    const QString inner = selected(text, sel, placeholder);
    const QString open = u'<' + tag + u'>';
    return {sel, open + inner + QStringLiteral("</") + tag + u'>',
            nbeTextRange(sel.location + open.size(), inner.size())};
}

NBEMarkdownEdit list(const QString &tag, const QString &text, NBETextRange sel)
{
    const QStringList items = selected(text, sel, QString()).split(u'\n');
    QStringList lines;
    for (const QString &item : items)
        lines.append(QStringLiteral("    <li>") + item + QStringLiteral("</li>"));
    const QString head = u'<' + tag + QStringLiteral(">\n");
    const QString replacement = head + lines.join(u'\n') + QStringLiteral("\n</") + tag + u'>';
    return {sel, replacement, nbeTextRange(sel.location + head.size() + 8, items.first().size())};
}

NBEMarkdownEdit insertVoid(const QString &name, NBETextRange sel)
{
    const QString replacement = u'<' + name + u'>';
    return {sel, replacement, nbeTextRange(sel.location + replacement.size(), 0)};
}

const QString &tableTemplate()
{
    static const QString table =
        QStringList{
            QStringLiteral("<table>"),
            QStringLiteral("    <thead>"),
            QStringLiteral("        <tr>"),
            QStringLiteral("            <th>Header</th>"),
            QStringLiteral("            <th>Header</th>"),
            QStringLiteral("        </tr>"),
            QStringLiteral("    </thead>"),
            QStringLiteral("    <tbody>"),
            QStringLiteral("        <tr>"),
            QStringLiteral("            <td>Cell</td>"),
            QStringLiteral("            <td>Cell</td>"),
            QStringLiteral("        </tr>"),
            QStringLiteral("    </tbody>"),
            QStringLiteral("</table>"),
        }
            .join(u'\n');
    return table;
}

} // namespace

QList<NBEHTMLAction> NBEHTMLAction::allCases()
{
    return kTable.allCases();
}

std::optional<NBEHTMLAction> NBEHTMLAction::fromRawValue(const QString &rawValue)
{
    return kTable.fromRawValue(rawValue);
}

QString NBEHTMLAction::rawValue() const
{
    return kTable.rawValue(value);
}

NBEMarkdownEdit NBEHTMLEditor::edit(NBEHTMLAction action, const QString &text,
                                    NBETextRange selection)
{
    const NBETextRange sel = NBEMarkdownEditor::clamp(selection, text.size());
    const QString textPlaceholder = QStringLiteral("text");
    const QString headingPlaceholder = QStringLiteral("Heading");
    switch (action.value) {
    case NBEHTMLAction::bold:
        return wrap(QStringLiteral("strong"), textPlaceholder, text, sel);
    case NBEHTMLAction::italic:
        return wrap(QStringLiteral("em"), textPlaceholder, text, sel);
    case NBEHTMLAction::underline:
        return wrap(QStringLiteral("u"), textPlaceholder, text, sel);
    case NBEHTMLAction::strikethrough:
        return wrap(QStringLiteral("s"), textPlaceholder, text, sel);
    case NBEHTMLAction::code:
        return wrap(QStringLiteral("code"), QStringLiteral("code"), text, sel);
    case NBEHTMLAction::paragraph:
        return wrap(QStringLiteral("p"), textPlaceholder, text, sel);
    case NBEHTMLAction::heading1:
    case NBEHTMLAction::heading2:
    case NBEHTMLAction::heading3:
    case NBEHTMLAction::heading4:
    case NBEHTMLAction::heading5:
    case NBEHTMLAction::heading6:
        return wrap(u'h' + QString::number(1 + action.value - NBEHTMLAction::heading1),
                    headingPlaceholder, text, sel);
    case NBEHTMLAction::blockquote:
        return wrap(QStringLiteral("blockquote"), textPlaceholder, text, sel);
    case NBEHTMLAction::preformatted:
        return wrap(QStringLiteral("pre"), textPlaceholder, text, sel);
    case NBEHTMLAction::div:
        return wrap(QStringLiteral("div"), QString(), text, sel);
    case NBEHTMLAction::unorderedList:
        return list(QStringLiteral("ul"), text, sel);
    case NBEHTMLAction::orderedList:
        return list(QStringLiteral("ol"), text, sel);
    case NBEHTMLAction::table:
        return {sel, tableTemplate(), nbeTextRange(sel.location + 49, 6)};
    case NBEHTMLAction::link: {
        const QString label = selected(text, sel, textPlaceholder);
        return {sel, QStringLiteral("<a href=\"#\">") + label + QStringLiteral("</a>"),
                nbeTextRange(sel.location + 9, 1)};
    }
    case NBEHTMLAction::image:
        return {sel, QStringLiteral("<img src=\"\" alt=\"\">"), nbeTextRange(sel.location + 10, 0)};
    case NBEHTMLAction::horizontalRule:
        return insertVoid(QStringLiteral("hr"), sel);
    case NBEHTMLAction::lineBreak:
        return insertVoid(QStringLiteral("br"), sel);
    }
    return {sel, QString(), sel};
}
