#include "NBEDialogProjectPanels.h"
#include "NBEProjectPicker.h"
#include "NBEWidgetDesktop.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
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
