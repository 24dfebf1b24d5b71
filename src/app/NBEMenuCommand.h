#pragma once

#include <QKeySequence>
#include <QString>

#include <functional>

// One command of a window's menu bar as the menus' table lists it: the
// action's object name ("file_save"), its title and keys, what it does and
// when it applies. A row without a name stands for a separator.
struct NBEMenuCommand
{
    QString name;
    QString title;
    QKeySequence keys;
    std::function<void()> run;
    // Empty: it always applies.
    std::function<bool()> applies;
};
