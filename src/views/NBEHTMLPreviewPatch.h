#pragma once

#include <QString>

#include <optional>

// Brings the page on screen to a new text of the same page without loading
// it again: the text is parsed in the page and only the nodes of its head
// and body that differ are replaced, so the reader's place and whatever
// didn't change (style sheets, pictures) stay as they are. A page whose
// outer markup, base address or header equivalents changed, or which runs
// code of its own (whose DOM may then differ from its text), is refused: it
// needs a load.
//
// The work comes in two steps, so that the costly one can run before the
// page is due to change: preparing hands the page a numbered text (only what
// differs from the text it holds, when it holds one) and works out the
// changes; applying makes the changes of one numbered text, worked out anew
// if the page changed meanwhile. Stateless: may run on any thread.
class NBEHTMLPreviewPatch
{
public:
    NBEHTMLPreviewPatch() = delete;

    // What the page answers to a prepare script.
    static constexpr const char *ready = "ready";  // the changes are worked out
    static constexpr const char *refused = "load"; // only a load shows the text
    static constexpr const char *stale = "stale";  // the page doesn't hold `base`
    // What it answers to an apply script: "done", `refused`, or `absent` when
    // nothing was prepared for that number.
    static constexpr const char *done = "done";
    static constexpr const char *absent = "none";

    // The page takes `text` as number `version`. Where it holds `base` as
    // number `*baseVersion`, only the span between their equal ends travels.
    static QString prepareScript(quint64 version, const QString &text,
                                 std::optional<quint64> baseVersion = std::nullopt,
                                 const QString &base = {});
    static QString applyScript(quint64 version);
    // Both at once, the whole text travelling.
    static QString patchScript(quint64 version, const QString &text);

    // Whether a text can't be patched in at all, decided without the page.
    static bool needsLoad(const QString &html);

    // The span in which `text` differs from `base`: `removed` units of
    // `base` at `from` gave way to as many of `text` as make up its length.
    // It may cut a surrogate pair: the page's strings hold halves as well.
    struct Span
    {
        qsizetype from = 0;
        qsizetype removed = 0;
        qsizetype inserted = 0;
        bool operator==(const Span &) const = default;
    };
    static Span differingSpan(const QString &base, const QString &text);
};
