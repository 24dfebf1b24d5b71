#pragma once

#include <QString>

#include <functional>

class QDialog;
class QWidget;

// The questions and one-field sheets of the source-control views. Each is a
// window-modal dialog over `parent` that returns at once; the callback runs
// only when the user accepts.
namespace NBEGitQuestions {

// A name or subject inside typographic quotes.
QString quoted(const QString &text);

// Asks before something that can't be undone; `action` names the
// destructive button, the other is Cancel.
QDialog *confirm(QWidget *parent, const QString &text, const QString &informativeText,
                 const QString &action, std::function<void()> confirmed);

// One text field prefilled with `text`; the accept button says `action`.
QDialog *askForText(QWidget *parent, const QString &title, const QString &label,
                    const QString &text, const QString &action,
                    std::function<void(const QString &)> accepted);

} // namespace NBEGitQuestions
