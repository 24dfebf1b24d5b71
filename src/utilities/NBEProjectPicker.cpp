#include "NBEProjectPicker.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QtConcurrent/QtConcurrentRun>

namespace {

void gitInit(const QString &folder)
{
    QProcess git;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    environment.insert(QStringLiteral("GIT_TERMINAL_PROMPT"), QStringLiteral("0"));
    git.setProcessEnvironment(environment);
    git.setWorkingDirectory(folder);
    git.setStandardInputFile(QProcess::nullDevice());
    git.setStandardOutputFile(QProcess::nullDevice());
    git.setStandardErrorFile(QProcess::nullDevice());
    git.start(QStringLiteral("/usr/bin/git"), {QStringLiteral("init")});
    if (git.waitForStarted())
        git.waitForFinished(-1);
}

} // namespace

NBESavePanelRequest NBEProjectPicker::newProjectRequest()
{
    return {QStringLiteral("New Project"), QStringLiteral("Create a new project folder"),
            QStringLiteral("Create"), QStringLiteral("Create a Git repository"), true};
}

QFuture<std::optional<QUrl>> NBEProjectPicker::createProject(NBEProjectPanels &panels)
{
    const std::optional<NBESavePanelResult> choice = panels.runSavePanel(newProjectRequest());
    if (!choice || choice->url.isEmpty())
        return QtFuture::makeReadyFuture(std::optional<QUrl>());
    return makeProject(choice->url, choice->checkboxOn).then([](const QUrl &folder) {
        return std::optional<QUrl>(folder);
    });
}

QFuture<QUrl> NBEProjectPicker::makeProject(const QUrl &folder, bool gitRepository)
{
    return QtConcurrent::run([folder, gitRepository] {
        const QString path = folder.toLocalFile();
        if (!QFileInfo::exists(path))
            QDir().mkpath(path);
        if (gitRepository && QFileInfo(path).isDir())
            gitInit(path);
        return folder;
    });
}

std::optional<QUrl> NBEProjectPicker::chooseFolder(NBEProjectPanels &panels,
                                                   const std::optional<QUrl> &startingAt)
{
    return panels.runOpenPanel(
        {QStringLiteral("Choose a project folder"), QStringLiteral("Open"), true, startingAt});
}

std::optional<QUrl> NBEProjectPicker::chooseFile(NBEProjectPanels &panels,
                                                 const std::optional<QUrl> &startingAt)
{
    return panels.runOpenPanel(
        {QStringLiteral("Choose a file to open"), QStringLiteral("Open"), false, startingAt});
}
