#pragma once

#include <QStringView>

#include <vector>

// How a view shows a very long line as several display lines of its own:
// where it splits the line, and how offsets move between the text and the
// view. `breaks` are the view offsets of the separators the view added,
// ascending; the text holds none of them.
namespace NBESoftBreaks {

// A text with a line longer than this is shown with its long lines split:
// laying such a line out (and colouring it) at every key costs too much.
inline constexpr int longestWholeLine = 20000;
// Lines up to this long are shown whole; the view lays a changed line out
// whole at every key, so this bounds the cost of a key.
inline constexpr int longestPiece = 4000;
// A split aims at pieces this long, ending after punctuation or a space when
// one comes shortly before.
inline constexpr int pieceLength = 2000;

// Offsets within `line` after which it is split; none for a line no longer
// than longestPiece. A surrogate pair is never split.
std::vector<int> cutsIn(QStringView line);

// The view offset of a text offset; an offset where the view split a line
// lands before the split.
int toView(const std::vector<int> &breaks, int offset);
// The text offset of a view offset; both sides of a split give the same one.
int toText(const std::vector<int> &breaks, int viewOffset);
// Whether the view's block at `blockPosition` goes on the line before it
// (the view split that line there).
bool continuesLine(const std::vector<int> &breaks, int blockPosition);

} // namespace NBESoftBreaks
