#pragma once

#include <QObject>

#include <optional>

class QPlainTextEdit;

// Brings a text view back to a place once its layout can show it: the kept
// scroll-bar values, or else the caret. Tried at once and again whenever the
// view's size or the bars' ranges change, until the view has painted itself
// there. A scroll by anyone else ends it, and a caret move shows the caret
// instead: what the user did since is what shows.
class NBEScrollRestore : public QObject
{
    Q_OBJECT

public:
    struct Place
    {
        int vertical = 0;
        int horizontal = 0;
    };

    // Without a place, the caret is shown.
    static NBEScrollRestore *start(QPlainTextEdit *view, std::optional<Place> place);
    bool isDone() const { return m_done; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    NBEScrollRestore(QPlainTextEdit *view, std::optional<Place> place);
    void apply();
    bool isThere() const;
    void finish();

    QPlainTextEdit *m_view;
    QWidget *m_viewport;
    std::optional<Place> m_place;
    bool m_applying = false;
    bool m_done = false;
};
