#include "NBEProjectPicker.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QtConcurrent/QtConcurrentRun>

namespace {

bool gitInit(const QString &folder)
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
    return git.waitForStarted() && git.waitForFinished(-1) &&
           git.exitStatus() == QProcess::NormalExit && git.exitCode() == 0;
}

// Why a folder at `path` could not be made, in one sentence.
QString creationFailure(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    QFileInfo ancestor(QFileInfo(path).absolutePath());
    while (!ancestor.exists() && !ancestor.isRoot())
        ancestor = QFileInfo(ancestor.absolutePath());
    if (!ancestor.isDir())
        return QCoreApplication::translate("NBEProjectPicker",
                                           "Couldn't create “%1” because “%2” isn't a folder.")
            .arg(name, ancestor.fileName());
    if (!ancestor.isWritable())
        return QCoreApplication::translate("NBEProjectPicker",
                                           "You don't have permission to create “%1” in “%2”.")
            .arg(name, ancestor.absoluteFilePath());
    return QCoreApplication::translate("NBEProjectPicker", "Couldn't create the folder “%1”.")
        .arg(name);
}

} // namespace

NBESavePanelRequest NBEProjectPicker::newProjectRequest()
{
    return {QCoreApplication::translate("NBEProjectPicker", "New Project"),
            QCoreApplication::translate("NBEProjectPicker", "Create a new project folder"),
            QCoreApplication::translate("NBEProjectPicker", "Create"),
            QCoreApplication::translate("NBEProjectPicker", "Create a Git repository"), true};
}

QFuture<std::optional<NBEResult<NBENewProject>>>
NBEProjectPicker::createProject(NBEProjectPanels &panels)
{
    using Outcome = std::optional<NBEResult<NBENewProject>>;
    const std::optional<NBESavePanelResult> choice = panels.runSavePanel(newProjectRequest());
    if (!choice || choice->url.isEmpty())
        return QtFuture::makeReadyFuture(Outcome());
    return makeProject(choice->url, choice->checkboxOn)
        .then([](const NBEResult<NBENewProject> &made) { return Outcome(made); });
}

QFuture<NBEResult<NBENewProject>> NBEProjectPicker::makeProject(const QUrl &folder,
                                                                bool gitRepository)
{
    return QtConcurrent::run([folder, gitRepository]() -> NBEResult<NBENewProject> {
        const QString path = QDir::cleanPath(folder.toLocalFile());
        const QFileInfo info(path);
        if (info.exists() || info.isSymLink())
            return nbeFailure(QCoreApplication::translate(
                                  "NBEProjectPicker",
                                  "“%1” already exists; choose another name for the new project.")
                                  .arg(info.fileName()));
        // mkdir, not mkpath, for the folder itself: it fails rather than
        // adopting a folder that appeared in the meantime.
        if (!QDir().mkpath(info.absolutePath()) ||
            !QDir(info.absolutePath()).mkdir(info.fileName()))
            return nbeFailure(creationFailure(path));
        const bool gitFailed = gitRepository && !gitInit(path);
        return NBENewProject{QUrl::fromLocalFile(path), gitFailed};
    });
}

std::optional<QUrl> NBEProjectPicker::chooseFolder(NBEProjectPanels &panels,
                                                   const std::optional<QUrl> &startingAt)
{
    return panels.runOpenPanel(
        {QCoreApplication::translate("NBEProjectPicker", "Choose a project folder"),
         QCoreApplication::translate("NBEProjectPicker", "Open"), true, startingAt});
}

std::optional<QUrl> NBEProjectPicker::chooseFile(NBEProjectPanels &panels,
                                                 const std::optional<QUrl> &startingAt)
{
    return panels.runOpenPanel(
        {QCoreApplication::translate("NBEProjectPicker", "Choose a file to open"),
         QCoreApplication::translate("NBEProjectPicker", "Open"), false, startingAt});
}
