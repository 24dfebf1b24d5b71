#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>

// Watches a project folder and everything below it (folders whose names
// begin with "." are skipped) plus a few extra folders, for files created,
// written, removed or renamed by anyone. The watching and the walks that find
// the folders run on a thread of their own; a burst of changes (a checkout
// writing thousands of files) is reported once, on the main thread, after
// the changes have rested for the quiet time.
class NBEFileWatch : public QObject
{
    Q_OBJECT

public:
    explicit NBEFileWatch(std::chrono::milliseconds quiet = std::chrono::milliseconds(300),
                          QObject *parent = nullptr);
    ~NBEFileWatch() override;

    // Replaces what is watched: `root` with every folder below it, and each
    // of `extraFolders` alone. While one of the files `holdWhile` exists (a
    // lock some program holds while it rewrites the tree), a burst isn't
    // over. An empty root stops watching.
    void watch(const QString &root, const QStringList &extraFolders,
               const QStringList &holdWhile = {});

Q_SIGNALS:
    // The paths (files and folders) that changed during one burst; a path
    // of a folder whose events were lost stands for everything below it.
    void changed(const QStringList &paths);

private:
    struct Worker;
    std::shared_ptr<Worker> m_worker;
};
