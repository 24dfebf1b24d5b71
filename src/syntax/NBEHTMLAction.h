#pragma once

#include <QList>
#include <QString>

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
