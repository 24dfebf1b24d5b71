#pragma once

class QKeyEvent;

// A part of the editor that takes some keys before its text view does
// (completion, Emmet, tag closing). The view asks its handlers by priority,
// highest first; the first that takes a key ends it.
class NBEKeyHandler
{
public:
    virtual ~NBEKeyHandler() = default;

    // True when the key was taken here.
    virtual bool keyCommand(QKeyEvent *event) = 0;
    virtual int keyPriority() const = 0;
};
