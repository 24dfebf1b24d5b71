#pragma once

#include "NBELineDiff.h"

#include <QString>

#include <optional>

// The one replacement that puts a hunk's HEAD lines back into the text the
// hunk was computed from.
struct NBEHunkDiscard
{
    qsizetype from = 0;
    qsizetype to = 0;
    QString replacement;

    bool operator==(const NBEHunkDiscard &) const = default;

    // Absent when the hunk no longer fits `text` (it is from before the latest
    // edits). `head` is the text the hunk was compared against.
    static std::optional<NBEHunkDiscard> of(const NBEDiffHunk &hunk, const QString &text,
                                            const QString &head);

    QString appliedTo(const QString &text) const;
};
