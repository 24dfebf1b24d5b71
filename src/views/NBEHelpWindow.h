#pragma once

#include <QPointer>
#include <QWidget>

class QLineEdit;
class QTextBrowser;
class QTreeWidget;
struct NBEHelpTopic;

// The help window: the built-in topics by section in a sidebar with a search
// field, and the chosen topic's article; see-also links open their topic.
class NBEHelpWindow : public QWidget
{
    Q_OBJECT

public:
    explicit NBEHelpWindow(QWidget *parent = nullptr);

    static constexpr const char *firstTopic = "what-is-nabri-editor";

    // The one help window, brought forward or made, showing `topicID`.
    static NBEHelpWindow *present(const QString &topicID = QString::fromLatin1(firstTopic));
    static NBEHelpWindow *instance();

    void showTopic(const QString &topicID);
    QString currentTopic() const { return m_current; }
    QTreeWidget *topics() const { return m_topics; }
    QLineEdit *search() const { return m_search; }
    QTextBrowser *article() const { return m_article; }

    // A topic's article as HTML: its inline Markdown rendered, its see-also
    // ids as links.
    static QString articleHTML(const NBEHelpTopic &topic);

private:
    void filter(const QString &query);

    QLineEdit *m_search;
    QTreeWidget *m_topics;
    QTextBrowser *m_article;
    QString m_current;
};
