#pragma once

#include "NBEFormattingBar.h"
#include "NBEMarkdownAction.h"

#include <functional>

// The icon row above a Markdown source: one button per formatting action in
// four groups; a press hands the action to `perform`.
class NBEMarkdownToolbar : public NBEFormattingBar
{
    Q_OBJECT

public:
    using Perform = std::function<void(NBEMarkdownAction)>;
    explicit NBEMarkdownToolbar(Perform perform, QWidget *parent = nullptr);

    static QString symbol(NBEMarkdownAction action);
    static QString helpText(NBEMarkdownAction action);
};
