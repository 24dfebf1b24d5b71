#pragma once

#include "NBETextGeometry.h"

#include <QColor>
#include <QFont>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextBlock>

#include <memory>

class NBEEditorOverlay;
class NBEGutterView;
class NBEKeyHandler;
class NBETextInput;

// The colours the text view and its gutter paint with, taken from a theme.
struct NBEEditorColors
{
    QColor background = Qt::white;
    QColor text = Qt::black;
    QColor gutterBackground = QColor(240, 240, 240);
    QColor gutterText = QColor(153, 153, 153);
    QColor gutterSeparator = QColor(224, 224, 224);
    bool operator==(const NBEEditorColors &) const = default;
};

// The editor's text view: one block per line, so cursor positions are UTF-16
// offsets of the text, unless it shows a text with very long lines split
// (see setTextGeometry). Adds the line-number gutter, soft tabs, invisibles and
// a whole-text reader that keeps non-breaking spaces.
class NBECodeTextEdit : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit NBECodeTextEdit(QWidget *parent = nullptr);
    ~NBECodeTextEdit() override;

    // The text with "\n" line breaks and every other character as typed
    // (toPlainText() would turn non-breaking spaces into spaces).
    QString text() const { return textGeometry().text(); }
    static QString text(const QTextDocument *document);

    // Where the text stands in this view, split or not: set by whatever
    // shows the text in a document of its own (whose offsets and blocks
    // the view's are then), null when the view's document is the text.
    void setTextGeometry(const NBETextGeometry *geometry);
    const NBETextGeometry &textGeometry() const;
    // Sees pastes, drops, copies, undo and redo first; null for none.
    void setTextInput(NBETextInput *input) { m_textInput = input; }
    NBETextInput *textInput() const { return m_textInput; }
    // The text offsets of the caret and of the selection's ends.
    int textCaret() const;
    int textSelectionStart() const;
    int textSelectionEnd() const;
    // Puts the caret and selection where `cursor`, a cursor of the text
    // document, has them.
    void showTextCursor(const QTextCursor &cursor);
    // Whether `block` goes on the line before it, split off it.
    bool continuesLine(const QTextBlock &block) const
    {
        return textGeometry().continuesLine(block);
    }
    // The 1-based line of the text that `block` shows.
    int lineNumberOf(const QTextBlock &block) const { return textGeometry().lineNumber(block); }
    int lineCount() const { return textGeometry().lineCount(); }

    void setEditorFont(const QFont &font);
    // Glyphs are placed without shaping (no ligatures or kerning, which code
    // fonts rarely use) while the view holds a line too long to show whole:
    // the view lays out a changed line whole, and shaping is most of that
    // cost.
    void setShapingSkipped(bool skip);
    bool isShapingSkipped() const { return m_shapingSkipped; }
    // Gives `document` this view's font and text options, so that showing it
    // lays nothing out again (a line of megabytes takes long to lay out).
    void prepareDocument(QTextDocument *document) const;
    // Keeps the shaped glyphs of `block` until a paint finds it off screen:
    // until then the view measures the caret's line more than once.
    void keepGlyphsOf(const QTextBlock &block);
    void setColors(const NBEEditorColors &colors);
    NBEEditorColors colors() const { return m_colors; }
    void setWordWrap(bool wrap);
    void setShowInvisibles(bool show);
    bool showInvisibles() const { return m_showInvisibles; }
    void setTabSize(int tabSize);
    void setSoftTabs(bool soft, int tabSize);

    // The gutter is a child widget that exists only while line numbers show.
    void setLineNumbersVisible(bool visible);
    // Replaces the gutter (or adds one) with a new, empty one.
    NBEGutterView *installGutter();
    NBEGutterView *gutter() const { return m_gutter; }
    int gutterWidth() const;
    // Overlays are painted over the text, after it, in the order added, and
    // see the viewport's mouse events first; one stays until it is deleted.
    void addOverlay(NBEEditorOverlay *overlay);
    QList<NBEEditorOverlay *> overlays() const;

    // Vertical scroll position as a fraction of the scrollable range; 0 when
    // the text fits the view.
    double scrollFraction() const;
    QTextBlock firstVisibleTextBlock() const { return firstVisibleBlock(); }
    QRectF blockGeometry(const QTextBlock &block) const { return blockBoundingGeometry(block); }
    QPointF contentOffsetPublic() const { return contentOffset(); }
    void scrollToFraction(double fraction);

    // Handlers see every key first, by priority (see NBEKeyHandler); one
    // added stays until removed.
    void addKeyHandler(NBEKeyHandler *handler);
    void removeKeyHandler(NBEKeyHandler *handler);
    // Whether the change being made now comes from undo or redo.
    bool isUndoingOrRedoing() const { return m_undoingOrRedoing; }

public Q_SLOTS:
    // Undo and redo that mark their changes (see isUndoingOrRedoing).
    void undo();
    void redo();

Q_SIGNALS:
    void scrolled(double fraction);
    void findRequested();
    void findNextRequested(bool backwards);
    // Escape that nothing in the editor took (the find bar closes on it).
    void escapePressed();
    // Files dragged in from the file tree or a file manager and dropped
    // here: to be opened, not typed in as their addresses.
    void filesDropped(const QList<QUrl> &files);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
    QMimeData *createMimeDataFromSelection() const override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void updateGutterGeometry();
    void applyTextOptions();
    void keepVisibleGlyphs();
    void undoOrRedo(bool redo);

    NBEGutterView *m_gutter = nullptr;
    const NBETextGeometry *m_textGeometry = nullptr;
    NBETextInput *m_textInput = nullptr;
    QList<NBEKeyHandler *> m_keyHandlers;
    std::unique_ptr<NBETextGeometry> m_wholeLines;
    QList<QPointer<NBEEditorOverlay>> m_overlays;
    NBEEditorColors m_colors;
    QFont m_editorFont;
    bool m_shapingSkipped = false;
    bool m_showInvisibles = false;
    bool m_undoingOrRedoing = false;
    bool m_softTabs = true;
    int m_tabSize = 4;
    // The lines (by number) that kept their shaped glyphs at the last paint.
    int m_glyphsFirst = 0;
    int m_glyphsLast = -1;

    friend class NBEGutterView;
};
