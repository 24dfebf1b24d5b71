#include "NBEMarkdownToolbar.h"

#include <QKeySequence>

namespace {

using A = NBEMarkdownAction;

QString withKeys(const QString &text, const QKeySequence &keys)
{
    return QStringLiteral("%1 (%2)").arg(text, keys.toString(QKeySequence::NativeText));
}

} // namespace

NBEMarkdownToolbar::NBEMarkdownToolbar(Perform perform, QWidget *parent)
    : NBEFormattingBar(parent)
{
    setObjectName(QStringLiteral("markdownToolbar"));
    const QList<QList<NBEMarkdownAction>> groups = {
        {A::bold, A::italic, A::strikethrough, A::inlineCode},
        {A::heading, A::quote},
        {A::bulletList, A::orderedList, A::taskList},
        {A::link, A::image, A::codeBlock, A::table, A::horizontalRule},
    };
    for (const auto &group : groups) {
        if (&group != &groups.first())
            addSeparator();
        for (const NBEMarkdownAction action : group) {
            NBEToolbarButton *button = addButton(symbol(action), helpText(action));
            button->setObjectName(action.rawValue());
            connect(button, &QToolButton::clicked, this, [perform, action] { perform(action); });
        }
    }
}

QString NBEMarkdownToolbar::symbol(NBEMarkdownAction action)
{
    switch (action.value) {
    case A::bold:
        return QStringLiteral("bold");
    case A::italic:
        return QStringLiteral("italic");
    case A::strikethrough:
        return QStringLiteral("strikethrough");
    case A::inlineCode:
        return QStringLiteral("chevron.left.forwardslash.chevron.right");
    case A::heading:
        return QStringLiteral("textformat.size");
    case A::quote:
        return QStringLiteral("text.quote");
    case A::bulletList:
        return QStringLiteral("list.bullet");
    case A::orderedList:
        return QStringLiteral("list.number");
    case A::taskList:
        return QStringLiteral("checklist");
    case A::link:
        return QStringLiteral("link");
    case A::image:
        return QStringLiteral("photo");
    case A::codeBlock:
        return QStringLiteral("curlybraces");
    case A::table:
        return QStringLiteral("tablecells");
    case A::horizontalRule:
        return QStringLiteral("minus");
    }
    return {};
}

QString NBEMarkdownToolbar::helpText(NBEMarkdownAction action)
{
    switch (action.value) {
    case A::bold:
        return withKeys(tr("Bold"), QKeySequence(Qt::CTRL | Qt::Key_B));
    case A::italic:
        return withKeys(tr("Italic"), QKeySequence(Qt::CTRL | Qt::Key_I));
    case A::strikethrough:
        return tr("Strikethrough");
    case A::inlineCode:
        return tr("Inline code");
    case A::heading:
        return tr("Heading");
    case A::quote:
        return tr("Blockquote");
    case A::bulletList:
        return tr("Bulleted list");
    case A::orderedList:
        return tr("Numbered list");
    case A::taskList:
        return tr("Task list");
    case A::link:
        return withKeys(tr("Insert link"), QKeySequence(Qt::CTRL | Qt::Key_K));
    case A::image:
        return tr("Insert image");
    case A::codeBlock:
        return tr("Code block");
    case A::table:
        return tr("Insert table");
    case A::horizontalRule:
        return tr("Horizontal rule");
    }
    return {};
}
