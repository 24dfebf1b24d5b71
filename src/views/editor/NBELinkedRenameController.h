#pragma once

#include "NBETagPairs.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>

class NBECodeTextEdit;
class NBETextBuffer;

// Linked rename in HTML: an edit of a tag's name renames its partner (the
// opening or closing tag) to match, as an undo step of its own. Undo and
// redo rename nothing.
class NBELinkedRenameController : public QObject
{
    Q_OBJECT

public:
    // `buffer` holds the text the view shows.
    NBELinkedRenameController(NBECodeTextEdit *textView,
                              std::shared_ptr<const NBETextBuffer> buffer, QObject *parent);

    void setLanguageID(const std::optional<QString> &languageID);

    // Told after every change of the buffer's text.
    void textEdited(int position);
    // Whether the change being reported is the partner's rename.
    bool isMirroring() const { return m_isMirroring; }

    // How far a tag's partner is looked for, on each side.
    static constexpr int partnerReach = 256 * 1024;
    // Longer names are not followed.
    static constexpr int longestTagName = 256;

private:
    // Remembers whether the caret stands in a tag name whose partner has
    // the same name, for the next edit there (which can no longer read the
    // text as it was).
    void rememberCaretLink();
    // The tag name at the offset and its partner, read from a window that
    // grows until the partner is found or `partnerReach` is read.
    std::optional<NBETagPairsLink> caretLink(int offset) const;
    bool isMatchedPairNameEdit(int offset) const;
    void mirrorTagRename();

    QPointer<NBECodeTextEdit> m_textView;
    std::shared_ptr<const NBETextBuffer> m_buffer;
    bool m_isHTML = false;
    bool m_isMirroring = false;
    // A remembered caret link is used only for the text it was found in: the
    // buffer's revision then.
    struct CaretLink
    {
        quint64 revision = 0;
        int nameStart = 0;
        int nameEnd = 0;
    };
    std::optional<CaretLink> m_caretLink;
};
