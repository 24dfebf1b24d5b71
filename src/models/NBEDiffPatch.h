#pragma once

#include "NBELineDiff.h"

#include <QString>

#include <optional>

// Cuts small patches out of the unified diff of one file, for git to apply
// to the index.
namespace NBEDiffPatch {

// The file header and the first hunk whose new-side range holds `line`
// (1-based); nothing when no hunk does.
std::optional<QString> hunkPatch(const QString &diff, int coveringNewLine);

// A patch that changes exactly the lines of a gutter hunk: git's hunks
// merge changes up to six lines apart, so every other change inside them
// is left out (an addition dropped, a removal kept as context).
//
// To stage, pass the unstaged diff with `reverse` false: the changes are
// found by the hunk's buffer lines (new side). To unstage, pass the staged
// diff with `reverse` true and apply the result in reverse: the changes are
// found by the hunk's HEAD lines (old side). Nothing when no change of the
// diff meets the hunk.
std::optional<QString> hunkPatch(const QString &diff, const NBEDiffHunk &hunk, bool reverse);

// The index text after staging (`unstaging` false) or unstaging exactly a
// gutter hunk. `head`, `index` and `working` (the saved file) are the texts
// as git and the disk hold them. The index is read as HEAD with some of the
// gutter's hunks of `working` staged, paired by the gutter's own diff, so
// repeated lines stay where the gutter showed them, and each line keeps the
// line end of the side it comes from. Nothing when the texts don't hold the
// hunk or the index would not change.
std::optional<QString> indexAfterHunk(const QString &head, const QString &index,
                                      const QString &working, const NBEDiffHunk &hunk,
                                      bool unstaging);

// Whether the index already holds the hunk as the gutter shows it.
bool indexHoldsHunk(const QString &head, const QString &index, const QString &working,
                    const NBEDiffHunk &hunk);

} // namespace NBEDiffPatch
