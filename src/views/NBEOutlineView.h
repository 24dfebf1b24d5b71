#pragma once

#include "NBESymbol.h"

#include <QList>
#include <QUuid>
#include <QWidget>

#include <optional>

class NBEEmptyState;
class NBEWorkspaceTabs;
class NBEWorkspaceNavigation;
class QListView;
class QStackedWidget;

// The sidebar's outline of the active file: one row per symbol, indented by
// its depth, with its kind's icon and colour and its line; a click reveals
// the line. A short message stands in when there is nothing to list. Large
// files are outlined on a pool thread, and edits are taken after a pause.
class NBEOutlineView : public QWidget
{
    Q_OBJECT

public:
    // A chosen symbol is revealed through `navigation`.
    NBEOutlineView(NBEWorkspaceTabs &tabs, NBEWorkspaceNavigation &navigation,
                   QWidget *parent = nullptr);
    ~NBEOutlineView() override;

    // Texts up to this many characters are outlined on the UI thread.
    static constexpr qsizetype inlineLimit = 64 * 1024;

    const QList<NBESymbol> &symbols() const { return m_symbols; }
    bool isShowingEmptyState() const;
    QString emptyMessage() const;
    QListView *list() const { return m_list; }
    // Whether a newer text than the one shown is being outlined.
    bool isUpdating() const { return m_pending; }

    static QString icon(NBESymbolKind kind);
    static QColor color(NBESymbolKind kind, bool dark);

Q_SIGNALS:
    // The rows now show the outline of the current text.
    void symbolsUpdated();

private:
    void workspaceChanged();
    void outlineNow();
    void showSymbols(const QList<NBESymbol> &symbols);
    void reveal(int row);

    NBEWorkspaceTabs &m_tabs;
    NBEWorkspaceNavigation &m_navigation;
    QStackedWidget *m_stack;
    NBEEmptyState *m_empty;
    QListView *m_list;
    class Model;
    Model *m_model;
    QList<NBESymbol> m_symbols;
    // What the rows were computed from, to tell an edit from a tab switch.
    std::optional<QUuid> m_tabID;
    std::optional<QString> m_languageID;
    // The text the newest outline is for; a result for any other is stale.
    struct Stamp
    {
        QUuid source;
        std::optional<QString> language;
        quint64 revision = 0;
        bool operator==(const Stamp &) const = default;
    };
    Stamp m_requested;
    bool m_pending = false;
};
