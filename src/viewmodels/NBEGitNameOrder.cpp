#include "NBEGitNameOrder.h"

#include <QHash>

#include <algorithm>
#include <vector>

namespace {

using Key = std::shared_ptr<const NBEFileTreeNode::NameKey>;

// A change's place: its name's key, then its place in git's order.
struct Place
{
    qsizetype index;
    Key key;
};

bool precedes(const Place &a, const Place &b)
{
    if (const int c = NBEFileTreeNode::compareNameKeys(*a.key, *b.key))
        return c < 0;
    return a.index < b.index;
}

Key keyOf(const NBEGitFileChange &change)
{
    return std::make_shared<const NBEFileTreeNode::NameKey>(
        NBEFileTreeNode::nameKey(change.url.fileName()));
}

NBEGitNameOrder ordered(const QList<NBEGitFileChange> &changes, const std::vector<Place> &places)
{
    NBEGitNameOrder order;
    order.changes.reserve(qsizetype(places.size()));
    order.keys.reserve(qsizetype(places.size()));
    for (const Place &place : places) {
        order.changes.append(changes[place.index]);
        order.keys.append(place.key);
    }
    return order;
}

} // namespace

NBEGitNameOrder NBEGitNameOrder::of(const QList<NBEGitFileChange> &changes)
{
    std::vector<Place> places;
    places.reserve(size_t(changes.size()));
    for (qsizetype i = 0; i < changes.size(); ++i)
        places.push_back({i, keyOf(changes[i])});
    std::sort(places.begin(), places.end(), precedes);
    return ordered(changes, places);
}

NBEGitNameOrder NBEGitNameOrder::updated(const NBEGitNameOrder &previous,
                                         const QList<NBEGitFileChange> &changes)
{
    if (previous.changes.isEmpty() || previous.keys.size() != previous.changes.size())
        return of(changes);
    // Where each file is in git's order now; the first record of a file
    // counts, as a fresh order would see it first.
    QHash<QUrl, qsizetype> at;
    at.reserve(changes.size());
    for (qsizetype i = changes.size() - 1; i >= 0; --i)
        at.insert(changes[i].url, i);
    std::vector<char> kept(size_t(changes.size()), 0);
    std::vector<Place> stayed;
    stayed.reserve(size_t(changes.size()));
    for (qsizetype p = 0; p < previous.changes.size(); ++p) {
        const NBEGitFileChange &change = previous.changes[p];
        const auto found = at.constFind(change.url);
        if (found == at.cend() || kept[size_t(*found)] || !(changes[*found] == change))
            continue;
        kept[size_t(*found)] = 1;
        // git lists the files it still lists in the same order, so names
        // that compare equal stay in git's order; should they not, the
        // order is made afresh.
        if (!stayed.empty() && stayed.back().index > *found &&
            NBEFileTreeNode::compareNameKeys(*stayed.back().key, *previous.keys[p]) == 0)
            return of(changes);
        stayed.push_back({*found, previous.keys[p]});
    }
    std::vector<Place> added;
    for (qsizetype i = 0; i < changes.size(); ++i) {
        if (!kept[size_t(i)])
            added.push_back({i, keyOf(changes[i])});
    }
    std::sort(added.begin(), added.end(), precedes);
    std::vector<Place> merged;
    merged.reserve(stayed.size() + added.size());
    std::merge(stayed.begin(), stayed.end(), added.begin(), added.end(), std::back_inserter(merged),
               precedes);
    return ordered(changes, merged);
}
