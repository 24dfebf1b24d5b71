#pragma once

#include "NBEFileDiagnostic.h"

#include <QFrame>
#include <QPixmap>

class NBEDiagnosticsStore;
class NBEWorkspaceNavigation;
class QLabel;
class QListView;
class QStackedWidget;
class NBEDiagnosticsListModel;

// The issues panel: every diagnostic of the project in the store's sorted
// order, one row each; choosing a row opens its file at the diagnostic's
// line and asks whoever shows the panel to close it.
class NBEDiagnosticsListView : public QFrame
{
    Q_OBJECT

public:
    static constexpr QSize panelSize{380, 280};

    // A chosen row is revealed through `navigation`.
    NBEDiagnosticsListView(NBEDiagnosticsStore &diagnostics, NBEWorkspaceNavigation &navigation,
                           QWidget *parent = nullptr, Qt::WindowFlags flags = {});

    QListView *listView() const { return m_list; }
    bool isShowingEmptyState() const;
    const QList<NBEFileDiagnostic> &entries() const;

    // "name:line" with the line counted from 1.
    static QString locationText(const NBEFileDiagnostic &entry);
    // "xmark.octagon.fill" for errors, "exclamationmark.triangle.fill" for
    // every other severity.
    static QString symbolName(NBELSPDiagnosticSeverity severity);
    // The red of error symbols and counts.
    static QColor errorColor();
    // The two symbols the issue views use, drawn in `color`.
    static QPixmap symbolPixmap(const QString &symbol, const QColor &color, int size,
                                qreal devicePixelRatio = 1.0);
    // The text laid out in `width`, at most two lines; a cut last line ends
    // in an ellipsis.
    static QStringList messageLines(const QString &message, const QFont &font, int width);

    // Fonts of the panel, derived from the widget's own.
    static QFont calloutFont(const QFont &base);
    static QFont captionFont(const QFont &base);

Q_SIGNALS:
    // A row was chosen: the presentation showing the panel should close.
    void dismissRequested();

private:
    void refresh();
    void choose(int row);

    NBEDiagnosticsStore &m_diagnostics;
    NBEWorkspaceNavigation &m_navigation;
    NBEDiagnosticsListModel *m_model;
    QStackedWidget *m_stack;
    QLabel *m_empty;
    QListView *m_list;
};
