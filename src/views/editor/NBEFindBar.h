#pragma once

#include <QWidget>

class NBECodeTextEdit;
class QLabel;
class QLineEdit;
class QToolButton;

// The editor's find bar: incremental search as the user types, next and
// previous with wrap-around, match case, and replace (one or all, each one
// undoable step).
class NBEFindBar : public QWidget
{
    Q_OBJECT

public:
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

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void searchFromAnchor();
    void updateCount();
    bool selectionIsMatch() const;

    NBECodeTextEdit *m_editor;
    QLineEdit *m_findField;
    QLineEdit *m_replaceField;
    QToolButton *m_caseButton;
    QLabel *m_countLabel;
    int m_anchor = 0;
};
