#pragma once

#include <QList>
#include <QString>

#include <optional>

// A Markdown formatting action of the toolbar and menus. Used like an enum
// (`NBEMarkdownAction::bold`); the raw value is the case name.
struct NBEMarkdownAction
{
    enum Value {
        bold,
        italic,
        strikethrough,
        inlineCode,
        heading,
        quote,
        bulletList,
        orderedList,
        taskList,
        link,
        image,
        codeBlock,
        table,
        horizontalRule,
    };

    Value value = bold;

    constexpr NBEMarkdownAction(Value value)
        : value(value)
    {}

    static QList<NBEMarkdownAction> allCases();
    static std::optional<NBEMarkdownAction> fromRawValue(const QString &rawValue);

    QString rawValue() const;
    QString id() const { return rawValue(); }

    constexpr bool operator==(const NBEMarkdownAction &) const = default;
};

#include <QUuid>

// A one-shot request to apply an action: each command has a fresh id, so two
// requests of the same action are applied twice, each once.
struct NBEMarkdownEditCommand
{
    QUuid id;
    NBEMarkdownAction action;

    explicit NBEMarkdownEditCommand(NBEMarkdownAction action)
        : id(QUuid::createUuid())
        , action(action)
    {}

    bool operator==(const NBEMarkdownEditCommand &) const = default;
};
