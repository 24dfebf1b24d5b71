#pragma once

#include "NBEFormattingBar.h"
#include "NBEHTMLAction.h"

#include <functional>

class QMenu;

// The formatting row above an HTML source (also beside its preview): 16 icon
// buttons and a pull-down menu of the six heading levels; a press or a
// choice hands the action to `perform`.
class NBEHTMLToolbar : public NBEFormattingBar
{
    Q_OBJECT

public:
    using Perform = std::function<void(NBEHTMLAction)>;
    explicit NBEHTMLToolbar(Perform perform, QWidget *parent = nullptr);

    QMenu *headingMenu() const { return m_headingMenu; }

    static QString symbol(NBEHTMLAction action);
    static QString helpText(NBEHTMLAction action);

private:
    QMenu *m_headingMenu;
};
