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
