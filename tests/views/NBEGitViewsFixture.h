#pragma once

// Shared set-up of the source-control view tests: a real repository in the
// fixture's folder, and ways to answer the views' questions and sheets as a
// user would.

#include "../viewmodels/NBEWorkspaceFixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QTest>

class NBEGitViewsFixture : public NBEWorkspaceFixture
{
protected:
    void commitFile(const QString &relative, const QByteArray &text, const QString &subject)
    {
        write(relative, text);
        git({QStringLiteral("add"), relative});
        git({QStringLiteral("commit"), QStringLiteral("-qm"), subject});
    }
    void repository()
    {
        git({QStringLiteral("init"), QStringLiteral("-q"), QStringLiteral("-b"),
             QStringLiteral("main")});
        commitFile(QStringLiteral("index.html"), "<p>one</p>\n", QStringLiteral("First page"));
    }
    QString gitText(const QStringList &args)
    {
        return QString::fromUtf8(NBETest::git(root, args)).trimmed();
    }
    QString headSubject()
    {
        return gitText(
            {QStringLiteral("log"), QStringLiteral("-1"), QStringLiteral("--pretty=%s")});
    }
    void refresh() { NBETest::await(model->gitState().refresh()); }

    // The dialog the views opened last, once it is on screen.
    template <typename Dialog = QDialog> Dialog *shownDialog()
    {
        Dialog *found = nullptr;
        NBETest::waitUntil([&] {
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                if (auto *dialog = qobject_cast<Dialog *>(widget); dialog && dialog->isVisible())
                    found = dialog;
            }
            return found != nullptr;
        });
        EXPECT_NE(found, nullptr);
        return found;
    }
    // Clicks the question's button titled `title`.
    void answer(const QString &title)
    {
        auto *box = shownDialog<QMessageBox>();
        ASSERT_NE(box, nullptr);
        for (QAbstractButton *button : box->buttons()) {
            if (button->text() == title) {
                button->click();
                return;
            }
        }
        ADD_FAILURE() << "no button " << title.toStdString();
    }
    void cancel()
    {
        auto *box = shownDialog<QMessageBox>();
        ASSERT_NE(box, nullptr);
        box->button(QMessageBox::Cancel)->click();
    }
    // Types into the one-field sheet and accepts it; returns what it offered.
    QString fillIn(const QString &text)
    {
        auto *input = shownDialog<QInputDialog>();
        if (!input)
            return {};
        const QString offered = input->textValue();
        input->setTextValue(text);
        input->accept();
        return offered;
    }
};
