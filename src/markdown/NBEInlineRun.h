#pragma once

#include <QList>
#include <QString>

// A stretch of inline Markdown text with one set of styles, as the native
// preview draws it. The inline rules are those of the HTML export, so the
// preview and the exported page agree on what is bold, a link or code.
struct NBEInlineRun
{
    QString text;
    bool bold = false;
    bool italic = false;
    bool strikethrough = false;
    bool code = false;
    // The target of a link; empty outside links.
    QString link;

    bool operator==(const NBEInlineRun &) const = default;

    // The runs of one inline text, footnote references already shown as
    // superscript digits. Adjacent runs differ in style; an empty text gives
    // no runs.
    static QList<NBEInlineRun> parse(const QString &text);
};
