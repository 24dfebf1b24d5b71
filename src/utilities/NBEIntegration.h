#pragma once

#include <QList>
#include <QString>
#include <QUrl>

// A folder of a sibling application from which the folder chooser can start.
struct NBEIntegrationLocation
{
    QString id;
    QString title;
    QUrl url; // a directory URL
    bool operator==(const NBEIntegrationLocation &) const = default;
};

// The places where the maker's sibling applications keep projects the editor
// opens: Pennwright's site exports and Tarnwick's Vapor projects.
class NBEIntegration
{
public:
    // Both places under `home`, site exports first; existence isn't checked.
    static QList<NBEIntegrationLocation> candidates(const QUrl &home);
    // The places under the user's real home folder.
    static QList<NBEIntegrationLocation> menuLocations();
    // The places under `home` whose folder exists: only those are offered.
    static QList<NBEIntegrationLocation> availableLocations(const QUrl &home);

    // The home folder of the user database's entry, as a directory URL.
    static QUrl realHomeDirectory();
};
