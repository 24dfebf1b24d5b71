#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One block of a help article. Texts are inline Markdown (bold, italics,
// code spans); `seeAlso` items are topic ids.
struct NBEHelpBlock
{
    enum class Kind { paragraph, heading, bullets, tip, code, seeAlso };

    Kind kind = Kind::paragraph;
    QString text;      // paragraph, heading, tip, code
    QStringList items; // bullets, seeAlso

    static NBEHelpBlock paragraph(const QString &text) { return {Kind::paragraph, text, {}}; }
    static NBEHelpBlock heading(const QString &text) { return {Kind::heading, text, {}}; }
    static NBEHelpBlock bullets(const QStringList &items) { return {Kind::bullets, {}, items}; }
    static NBEHelpBlock tip(const QString &text) { return {Kind::tip, text, {}}; }
    static NBEHelpBlock code(const QString &text) { return {Kind::code, text, {}}; }
    static NBEHelpBlock seeAlso(const QStringList &ids) { return {Kind::seeAlso, {}, ids}; }

    // A kind prefix and the payload: equal blocks have equal ids.
    QString id() const;

    bool operator==(const NBEHelpBlock &) const = default;
};

struct NBEHelpTopic
{
    QString id;
    QString title;
    QString subtitle;
    QString symbol; // the topic's icon name
    QList<NBEHelpBlock> blocks;

    // Title, subtitle and block texts (not see-also ids), lower-cased, that a
    // help search matches against.
    QString searchText() const;

    bool operator==(const NBEHelpTopic &) const = default;
};

struct NBEHelpSection
{
    QString id;
    QString title;
    QList<NBEHelpTopic> topics;

    bool operator==(const NBEHelpSection &) const = default;
};
