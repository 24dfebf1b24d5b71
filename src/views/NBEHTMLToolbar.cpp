#include "NBEHTMLToolbar.h"

#include "NBEIcons.h"

#include <QMenu>

namespace {

using A = NBEHTMLAction;

QString tagHelp(const QString &text, const char *tag)
{
    return QStringLiteral("%1 \u2014 <%2>").arg(text, QLatin1String(tag));
}

} // namespace

NBEHTMLToolbar::NBEHTMLToolbar(Perform perform, QWidget *parent)
    : NBEFormattingBar(parent)
    , m_headingMenu(new QMenu(this))
{
    setObjectName(QStringLiteral("htmlToolbar"));
    const auto group = [this, perform](const QList<NBEHTMLAction> &actions) {
        for (const NBEHTMLAction action : actions) {
            NBEToolbarButton *button = addButton(symbol(action), helpText(action));
            button->setObjectName(action.rawValue());
            connect(button, &QToolButton::clicked, this, [perform, action] { perform(action); });
        }
    };
    group({A::bold, A::italic, A::underline, A::strikethrough, A::code});
    addSeparator();
    group({A::paragraph});

    const QList<NBEHTMLAction> headings = {A::heading1, A::heading2, A::heading3,
                                           A::heading4, A::heading5, A::heading6};
    for (qsizetype i = 0; i < headings.size(); ++i) {
        const NBEHTMLAction action = headings[i];
        m_headingMenu->addAction(tr("Heading %1").arg(i + 1), this,
                                 [perform, action] { perform(action); });
    }
    auto *headingButton = new NBEToolbarButton(NBEIcons::icon(QStringLiteral("textformat.size")),
                                               tr("Heading (H1\u2013H6)"));
    headingButton->setObjectName(QStringLiteral("headingMenu"));
    headingButton->setPullDownMenu(m_headingMenu);
    addWidget(headingButton);

    group({A::blockquote, A::preformatted, A::div});
    addSeparator();
    group({A::unorderedList, A::orderedList, A::table});
    addSeparator();
    group({A::link, A::image, A::horizontalRule, A::lineBreak});
}

QString NBEHTMLToolbar::symbol(NBEHTMLAction action)
{
    switch (action.value) {
    case A::bold:
        return QStringLiteral("bold");
    case A::italic:
        return QStringLiteral("italic");
    case A::underline:
        return QStringLiteral("underline");
    case A::strikethrough:
        return QStringLiteral("strikethrough");
    case A::code:
        return QStringLiteral("chevron.left.forwardslash.chevron.right");
    case A::paragraph:
        return QStringLiteral("paragraphsign");
    case A::heading1:
    case A::heading2:
    case A::heading3:
    case A::heading4:
    case A::heading5:
    case A::heading6:
        return QStringLiteral("textformat.size");
    case A::blockquote:
        return QStringLiteral("text.quote");
    case A::preformatted:
        return QStringLiteral("text.alignleft");
    case A::div:
        return QStringLiteral("square.dashed");
    case A::unorderedList:
        return QStringLiteral("list.bullet");
    case A::orderedList:
        return QStringLiteral("list.number");
    case A::table:
        return QStringLiteral("tablecells");
    case A::link:
        return QStringLiteral("link");
    case A::image:
        return QStringLiteral("photo");
    case A::horizontalRule:
        return QStringLiteral("minus");
    case A::lineBreak:
        return QStringLiteral("arrow.turn.down.left");
    }
    return {};
}

QString NBEHTMLToolbar::helpText(NBEHTMLAction action)
{
    switch (action.value) {
    case A::bold:
        return tagHelp(tr("Bold"), "strong");
    case A::italic:
        return tagHelp(tr("Italic"), "em");
    case A::underline:
        return tagHelp(tr("Underline"), "u");
    case A::strikethrough:
        return tagHelp(tr("Strikethrough"), "s");
    case A::code:
        return tagHelp(tr("Inline code"), "code");
    case A::paragraph:
        return tagHelp(tr("Paragraph"), "p");
    case A::heading1:
    case A::heading2:
    case A::heading3:
    case A::heading4:
    case A::heading5:
    case A::heading6:
        return tr("Heading %1").arg(int(action.value - A::heading1) + 1);
    case A::blockquote:
        return tagHelp(tr("Blockquote"), "blockquote");
    case A::preformatted:
        return tagHelp(tr("Preformatted"), "pre");
    case A::div:
        return tagHelp(tr("Div"), "div");
    case A::unorderedList:
        return tagHelp(tr("Bulleted list"), "ul");
    case A::orderedList:
        return tagHelp(tr("Numbered list"), "ol");
    case A::table:
        return tagHelp(tr("Table"), "table");
    case A::link:
        return tagHelp(tr("Link"), "a");
    case A::image:
        return tagHelp(tr("Image"), "img");
    case A::horizontalRule:
        return tagHelp(tr("Horizontal rule"), "hr");
    case A::lineBreak:
        return tagHelp(tr("Line break"), "br");
    }
    return {};
}
