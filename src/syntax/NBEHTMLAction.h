#pragma once

#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

// An HTML formatting action of the toolbar. Used like an enum
// (`NBEHTMLAction::bold`); the raw value is the case name.
struct NBEHTMLAction
{
    enum Value {
        bold,
        italic,
        underline,
        strikethrough,
        code,
        paragraph,
        heading1,
        heading2,
        heading3,
        heading4,
        heading5,
        heading6,
        blockquote,
        preformatted,
        div,
        unorderedList,
        orderedList,
        table,
        link,
        image,
        horizontalRule,
        lineBreak,
    };

    Value value = bold;

    constexpr NBEHTMLAction(Value value)
        : value(value)
    {}

    static QList<NBEHTMLAction> allCases();
    static std::optional<NBEHTMLAction> fromRawValue(const QString &rawValue);

    QString rawValue() const;
    QString id() const { return rawValue(); }

    constexpr bool operator==(const NBEHTMLAction &) const = default;
};

// A one-shot request to apply an action: each command has a fresh id, so two
// requests of the same action are applied twice, each once.
struct NBEHTMLEditCommand
{
    QUuid id;
    NBEHTMLAction action;

    explicit NBEHTMLEditCommand(NBEHTMLAction action)
        : id(QUuid::createUuid())
        , action(action)
    {}

    bool operator==(const NBEHTMLEditCommand &) const = default;
};
