#pragma once

#include <QFrame>

#include <optional>

class QLabel;
class QToolButton;

// A line above the editor for what happened without a command, such as an
// automatic save that failed: nothing in it takes the keys, so typing goes
// on into the editor. It stays until closed or replaced by the next notice.
class NBENoticeBar : public QFrame
{
    Q_OBJECT

public:
    explicit NBENoticeBar(QWidget *parent = nullptr);

    // Shows `message`, or hides the bar without one.
    void setMessage(const std::optional<QString> &message);
    QString message() const;
    QToolButton *closeButton() const { return m_close; }

Q_SIGNALS:
    // The user closed it.
    void closed();

private:
    QLabel *m_label;
    QToolButton *m_close;
};
