#pragma once

#include "NBEDiagnosticsListView.h"
#include "NBEFileDiagnostic.h"

#include <QPointer>
#include <QWidget>

class NBEDiagnosticsStore;
class NBEIssueButton;
class NBEWorkspaceLanguageServers;
class NBEWorkspaceTabs;
class NBEWorkspaceNavigation;
class QAbstractButton;
class QLabel;

// One count of the issue button: the symbol and the number shown beside it.
struct NBEStatusBarIssue
{
    QString symbol;
    QString count;
    bool isError = false;
    bool operator==(const NBEStatusBarIssue &) const = default;
};

// The strip below the editor: the active file's language, the project's
// error and warning counts (a button that opens the issues list), the caret
// position and the encoding. Everything it shows is read from the owners of
// the tabs, the diagnostics and the language servers.
class NBEStatusBar : public QWidget
{
    Q_OBJECT

public:
    static constexpr int barHeight = 24;

    // The issues list reveals a chosen issue through `navigation`.
    NBEStatusBar(NBEWorkspaceTabs &tabs, NBEDiagnosticsStore &diagnostics,
                 NBEWorkspaceLanguageServers &servers, NBEWorkspaceNavigation &navigation,
                 QWidget *parent = nullptr);
    ~NBEStatusBar() override;

    // Absent items are hidden widgets.
    QLabel *languageLabel() const { return m_language; }
    QAbstractButton *issueButton() const;
    QLabel *caretLabel() const { return m_caret; }
    QLabel *encodingLabel() const { return m_encoding; }
    // Which languages went unchecked since their server quit; hidden when none.
    QLabel *checkingLabel() const { return m_checking; }
    QList<NBEStatusBarIssue> issues() const;

    bool isShowingDiagnostics() const;
    NBEDiagnosticsListView *diagnosticsList() const;
    void setShowDiagnostics(bool show);

    // The counts the issue button shows, errors first; empty when both are
    // zero (and then there is no button).
    static QList<NBEStatusBarIssue> issueItems(const NBEDiagnosticSummary &summary);
    static QString caretText(int line, int column);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void refresh();
    void refreshCaret();

    NBEWorkspaceTabs &m_tabs;
    NBEDiagnosticsStore &m_diagnostics;
    NBEWorkspaceLanguageServers &m_servers;
    NBEWorkspaceNavigation &m_navigation;
    QLabel *m_language;
    NBEIssueButton *m_issueButton;
    QLabel *m_caret;
    QLabel *m_encoding;
    QLabel *m_checking;
    QPointer<NBEDiagnosticsListView> m_popover;
};
