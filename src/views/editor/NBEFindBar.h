#pragma once

#include <QPointer>
#include <QTextCursor>
#include <QTimer>
#include <QWidget>

#include <optional>

class NBECodeTextEdit;
class QLabel;
class QLineEdit;
class QTextDocument;
class QToolButton;

// The editor's find bar: incremental search as the user types, next and
// previous with wrap-around, match case, and replace (one or all, each one
// undoable step).
class NBEFindBar : public QWidget
{
    Q_OBJECT

public:
    // How long the text read for searching is kept once searching pauses.
    static constexpr int textKeptMs = 1500;

    explicit NBEFindBar(NBECodeTextEdit *editor, QWidget *parent = nullptr);

    // Shows the bar with the selected text (when on one line) as the search.
    void open();
    void close_();

    void setSearchText(const QString &text);
    QString searchText() const;
    void setReplaceText(const QString &text);
    void setCaseSensitive(bool caseSensitive);

    // Selects the next match after (or before) the selection, wrapping at the
    // ends. False when there is none.
    bool findNext(bool backwards = false);
    int matchCount() const;
    // Replaces the selected match, then selects the next one.
    bool replaceCurrent();
    // Replaces every match; answers how many.
    int replaceAll();
    // "N matches", following the text while the bar shows.
    QString countText() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void searchFromAnchor();
    // The whole text, read once while it stays as it is and shared by the
    // count, the searches and Replace All: reading it is a copy of the file.
    QString text() const;
    void dropText() const;
    void updateCount();
    bool selectionIsMatch() const;
    // Where `needle` starts in `text`, each match after the end of the one
    // before.
    QList<qsizetype> matches(const QString &text, const QString &needle) const;
    // The next match after `from`'s selection (before it, backwards). A view
    // of split lines is searched in its text, so a match across a split is
    // found as the count finds it.
    QTextCursor find(const QString &needle, const QTextCursor &from, bool backwards) const;
    QString selectedText() const;
    Qt::CaseSensitivity sensitivity() const;

    NBECodeTextEdit *m_editor;
    QLineEdit *m_findField;
    QLineEdit *m_replaceField;
    QToolButton *m_caseButton;
    QLabel *m_countLabel;
    int m_anchor = 0;
    QTimer m_countTimer;
    mutable std::optional<QString> m_text;
    // The document `m_text` was read from; any change to it drops the copy.
    mutable QPointer<QTextDocument> m_textDocument;
    mutable QMetaObject::Connection m_textChanged;
    // Drops the copy once searching pauses, so a large file isn't held twice.
    mutable QTimer m_dropTimer;
};
