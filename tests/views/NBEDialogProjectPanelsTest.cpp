#include "NBEDialogProjectPanels.h"
#include "NBEProjectPicker.h"
#include "NBEWidgetDesktop.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

TEST(NBEDialogProjectPanels, NewProjectDialogOffersTheRepositoryBox)
{
    QCheckBox *box = nullptr;
    std::unique_ptr<QFileDialog> dialog(NBEDialogProjectPanels::makeSaveDialog(
        NBEProjectPicker::newProjectRequest(), nullptr, &box));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QStringLiteral("Create a Git repository"));
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(box->parent(), dialog.get());
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    // No "replace it?" question: the project picker refuses existing names.
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_EQ(dialog->labelText(QFileDialog::Accept), QStringLiteral("Create"));
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Create a new project folder"));
    const auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->text(), QStringLiteral("New Project"));
}

TEST(NBEDialogProjectPanels, ChoosersPickFoldersOrFiles)
{
    const QUrl start = QUrl::fromLocalFile(QDir::tempPath());
    std::unique_ptr<QFileDialog> folders(NBEDialogProjectPanels::makeOpenDialog(
        {QStringLiteral("Choose a project folder"), QStringLiteral("Open"), true, start}, nullptr));
    EXPECT_EQ(folders->fileMode(), QFileDialog::Directory);
    EXPECT_EQ(folders->directoryUrl(), start);
    EXPECT_EQ(folders->labelText(QFileDialog::Accept), QStringLiteral("Open"));
    std::unique_ptr<QFileDialog> files(NBEDialogProjectPanels::makeOpenDialog(
        {QStringLiteral("Choose a file to open"), QStringLiteral("Open"), false, std::nullopt},
        nullptr));
    EXPECT_EQ(files->fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(files->windowTitle(), QStringLiteral("Choose a file to open"));
}

TEST(NBEWidgetDesktop, SavePanelsOpenInTheFolderTheyAreGiven)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    QDir().mkpath(folder.filePath(QStringLiteral("dist/theme")));
    const QString project = QFileInfo(folder.path()).canonicalFilePath();
    // Another panel was last in a subfolder; the next one starts where it is told.
    NBEWidgetDesktop::savePanel(nullptr, QStringLiteral("m"), QStringLiteral("x"),
                                QStringLiteral("Create"),
                                QUrl::fromLocalFile(project + QStringLiteral("/dist/theme")));
    const auto panel = NBEWidgetDesktop::savePanel(
        nullptr, QStringLiteral("Create a new file"), QStringLiteral("untitled.txt"),
        QStringLiteral("Create"), QUrl::fromLocalFile(project));
    EXPECT_EQ(QFileInfo(panel->directory().absolutePath()).canonicalFilePath(), project);
    EXPECT_EQ(panel->selectedFiles(), QStringList{project + QStringLiteral("/untitled.txt")});
}

// The question before a read-only file is replaced says it is read-only;
// Escape and Return keep the file, only Overwrite replaces it.
TEST(NBEWidgetDesktop, TheReadOnlyQuestionSaysSoAndKeepsTheFileByDefault)
{
    NBEWidgetDesktop desktop;
    const auto answerWith = [&](const std::function<void(QMessageBox *)> &answer) {
        QStringList shown;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            shown = {box->text(), box->defaultButton() ? box->defaultButton()->text() : QString()};
            answer(box);
        });
        const auto choice = desktop.askAboutReadOnlyFile(QStringLiteral("style.css")).result();
        return std::pair(choice, shown);
    };
    const auto [escaped, shown] =
        answerWith([](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Escape); });
    EXPECT_EQ(escaped, NBEOutsideChangeChoice::Cancel);
    EXPECT_EQ(shown,
              (QStringList{QStringLiteral("“style.css” is read-only."), QStringLiteral("Cancel")}));
    EXPECT_EQ(answerWith([](QMessageBox *box) { QTest::keyClick(box, Qt::Key_Return); }).first,
              NBEOutsideChangeChoice::Cancel);
    EXPECT_EQ(answerWith([](QMessageBox *box) {
                  for (QAbstractButton *button : box->buttons())
                      if (button->text() == QStringLiteral("Overwrite"))
                          button->click();
              }).first,
              NBEOutsideChangeChoice::Overwrite);
}
