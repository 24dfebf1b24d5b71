#pragma once

// Shared set-up of the workspace view model tests: a temporary project
// folder, a private settings store, a desktop whose answers the test sets.

#include "NBEApplicationActivity.h"
#include "NBETestSupport.h"
#include "NBEWorkspaceViewModel.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

class NBETestDesktop : public NBEWorkspaceDesktop
{
public:
    NBEUnsavedChangesChoice answer = NBEUnsavedChangesChoice::Cancel;
    QList<QStringList> questions;
    std::optional<QUrl> sibling;
    QList<QPair<QList<QUrl>, QUrl>> opened;
    // Where the export panel answers, and what each panel showed.
    std::optional<QUrl> exportLocation;
    QList<QStringList> exportPanels;
    NBEOutsideChangeChoice outsideAnswer = NBEOutsideChangeChoice::Cancel;
    QStringList outsideQuestions;
    NBEOutsideChangeChoice readOnlyAnswer = NBEOutsideChangeChoice::Cancel;
    QStringList readOnlyQuestions;
    bool deleteForGood = false;
    QList<QStringList> deleteQuestions;
    QList<QUrl> exportFolders;

    QFuture<NBEUnsavedChangesChoice> askToSaveChanges(const QStringList &fileNames) override
    {
        questions.append(fileNames);
        return QtFuture::makeReadyFuture(answer);
    }
    QFuture<NBEOutsideChangeChoice> askAboutOutsideChange(const QString &fileName,
                                                          bool vanished) override
    {
        outsideQuestions.append(vanished ? fileName + QStringLiteral(" (vanished)") : fileName);
        return QtFuture::makeReadyFuture(outsideAnswer);
    }
    QFuture<NBEOutsideChangeChoice> askAboutReadOnlyFile(const QString &fileName) override
    {
        readOnlyQuestions.append(fileName);
        return QtFuture::makeReadyFuture(readOnlyAnswer);
    }
    QFuture<bool> askToDeleteForGood(const QStringList &names) override
    {
        deleteQuestions.append(names);
        return QtFuture::makeReadyFuture(deleteForGood);
    }
    bool openUrl(const QUrl &) override { return true; }
    std::optional<QUrl> siblingApplication() const override { return sibling; }
    void openWithApplication(const QList<QUrl> &urls, const QUrl &application) override
    {
        opened.append({urls, application});
    }
    QFuture<std::optional<QUrl>> chooseExportLocation(const QString &message, const QString &name,
                                                      const QString &prompt,
                                                      const QUrl &directory) override
    {
        exportPanels.append({message, name, prompt});
        exportFolders.append(directory);
        return QtFuture::makeReadyFuture(exportLocation);
    }
};

class NBEWorkspaceFixture : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString root;
    std::unique_ptr<NBEDefaults> settings;
    std::shared_ptr<NBETestDesktop> desktop = std::make_shared<NBETestDesktop>();
    NBEApplicationActivity activity;
    std::unique_ptr<NBEWorkspaceViewModel> model;

    void SetUp() override
    {
        root = QDir(dir.path()).filePath(QStringLiteral("site"));
        QDir().mkpath(root);
        settings = std::make_unique<NBEDefaults>(dir.filePath(QStringLiteral("settings.json")));
        model = makeModel();
    }

    // Without web language servers unless a test asks for them, so the
    // built-in engines answer and no Node.js process starts.
    std::unique_ptr<NBEWorkspaceViewModel>
    makeModel(const std::function<void(NBEWorkspaceEnvironment &)> &adjust = {})
    {
        NBEWorkspaceEnvironment environment;
        environment.webServerLaunch = [](const QString &) {
            return std::optional<NBEWebLSPLaunch>();
        };
        environment.desktop = desktop;
        environment.activity = &activity;
        environment.defaults = settings.get();
        environment.timings.validationDelay = std::chrono::milliseconds(60);
        environment.timings.serverFormattingLimit = std::chrono::milliseconds(5000);
        // Background fetch only where a test asks for it.
        environment.timings.autoFetchStartDelay = std::chrono::hours(1);
        // Outside changes only where a test asks for them.
        environment.timings.outsideChangeQuiet = std::chrono::milliseconds(0);
        if (adjust)
            adjust(environment);
        return std::make_unique<NBEWorkspaceViewModel>(environment);
    }

    QString path(const QString &relative) const { return QDir(root).filePath(relative); }
    QUrl url(const QString &relative) const { return QUrl::fromLocalFile(path(relative)); }
    QUrl rootURL() const { return QUrl::fromLocalFile(root); }

    void write(const QString &relative, const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(path(relative)).absolutePath());
        NBETest::writeFile(path(relative), bytes);
    }
    QByteArray read(const QString &relative) const { return NBETest::readFile(path(relative)); }

    void load()
    {
        NBETest::await(model->loadWorkspace(rootURL()));
        ASSERT_TRUE(model->files().workspace().has_value());
    }

    // Opens a file and returns its tab.
    NBEOpenTab open(const QString &relative, bool asPreview = false)
    {
        NBETest::await(model->navigation().openFile(url(relative), asPreview));
        const auto tab = model->tabs().activeTab();
        EXPECT_TRUE(tab.has_value()) << relative.toStdString();
        return tab.value_or(NBEOpenTab{});
    }

    QList<QUrl> tabFiles() const
    {
        QList<QUrl> files;
        for (const NBEOpenTab &tab : model->tabs().tabs())
            files.append(tab.sourceFile.url);
        return files;
    }

    // Writes `initial`, loads the folder, opens the file and types `edit`.
    QUuid loadAndEdit(const QString &relative, const QByteArray &initial, const QString &edit)
    {
        write(relative, initial);
        load();
        const QUuid id = open(relative).id;
        model->tabs().updateContent(edit, id);
        return id;
    }

    // A folder now stands where the file was, so writing it must fail.
    void blockWrites(const QString &relative)
    {
        QFile::remove(path(relative));
        QDir().mkpath(path(relative));
    }

    // For a forked child: a model of its own (the parent's runs threads the
    // child hasn't got, so it is left alone).
    void remakeModel()
    {
        (void)model.release();
        model = makeModel();
    }

    bool saveAndWait(const QUuid &id, bool force)
    {
        return NBETest::await(model->saving().saveTab(id, force));
    }

    void git(const QStringList &args) { NBETest::git(root, args); }

    // A git that holds every call while `slowGitHold()` exists (ten seconds
    // at most), noting its process id in `slowGitStarted()` and, once it
    // goes on to run git, in `slowGitRan()`.
    QString slowGit() const
    {
        const QString script = dir.filePath(QStringLiteral("slow-git"));
        NBETest::writeFile(slowGitHold(), {});
        NBETest::writeFile(script, QStringLiteral("#!/bin/sh\n"
                                                  "echo $$ >> '%1'\n"
                                                  "i=0\n"
                                                  "while [ -e '%2' ] && [ $i -lt 200 ]; do\n"
                                                  "  sleep 0.05; i=$((i+1))\n"
                                                  "done\n"
                                                  "echo $$ >> '%3'\n"
                                                  "exec /usr/bin/git \"$@\"\n")
                                       .arg(slowGitStarted(), slowGitHold(), slowGitRan())
                                       .toUtf8());
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return script;
    }
    QString slowGitHold() const { return dir.filePath(QStringLiteral("slow-git-hold")); }
    QString slowGitStarted() const { return dir.filePath(QStringLiteral("slow-git-started")); }
    QString slowGitRan() const { return dir.filePath(QStringLiteral("slow-git-ran")); }

    // A repository holding `files` in its first commit, loaded.
    void commitAndLoad(const QList<QPair<QString, QByteArray>> &files)
    {
        for (const auto &[name, content] : files)
            write(name, content);
        git({"init", "-q"});
        git({"add", "-A"});
        git({"commit", "-qm", "first"});
        load();
    }
};
