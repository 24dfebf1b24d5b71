#pragma once

#include "NBECodeTextEdit.h"
#include "NBECompletionController.h"
#include "NBEEditorTestHost.h"
#include "NBETextEditorCoordinator.h"
#include "NBETextEditorView.h"

#include <QApplication>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

// An editor in a shown, active window, for the typing help: keys go to its
// text view, the text is read back with "|" at the caret.
class NBETypingFixture : public ::testing::Test
{
protected:
    // Declared first, so it outlives the editor whose callbacks point at it.
    NBEEditorTestHost host;
    std::unique_ptr<QWidget> window;
    NBETextEditorView *view = nullptr;

    // A new editor over a new buffer, the caret where "|" stands (else at
    // the end).
    void open(const std::optional<NBELanguage> &language, const QString &marked)
    {
        QString plain = marked;
        const qsizetype caret = plain.indexOf(u'|');
        if (caret >= 0)
            plain.remove(caret, 1);
        host.setBuffer(NBETextBuffer::make(plain));
        show(language, caret >= 0 ? int(caret) : int(plain.size()));
    }
    // A new editor over the host's buffer.
    void show(const std::optional<NBELanguage> &language, int caret)
    {
        host.language = language;
        window = std::make_unique<QWidget>();
        auto *layout = new QVBoxLayout(window.get());
        view = new NBETextEditorView(host.session(), window.get());
        layout->addWidget(view);
        window->resize(800, 600);
        window->show();
        QApplication::setActiveWindow(window.get());
        edit()->setFocus();
        setCaret(caret);
    }

    NBECodeTextEdit *edit() const { return view->textView(); }
    NBECompletionController *completion() const { return view->coordinator()->completion(); }
    QString shown() const { return edit()->text(); }
    int caret() const { return edit()->textCursor().position(); }
    void setCaret(int offset)
    {
        QTextCursor cursor = edit()->textCursor();
        cursor.setPosition(offset);
        edit()->setTextCursor(cursor);
    }
    // The text with "|" at the caret.
    QString marked() const
    {
        QString result = shown();
        result.insert(caret(), u'|');
        return result;
    }
    void type(const QString &keys) { QTest::keyClicks(edit(), keys); }
    void key(Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(edit(), k, modifiers);
    }
    QStringList rows() const
    {
        return completion()->isVisible() ? completion()->model()->items() : QStringList();
    }
    // Lets deferred work (the partner rename, folder listings) run.
    void settle() { QTest::qWait(20); }
};
