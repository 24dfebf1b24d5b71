#include "NBEGitNameOrder.h"

#include <QHash>

#include <algorithm>
#include <iterator>
#include <vector>

namespace {

using Key = std::shared_ptr<const NBEFileTreeNode::NameKey>;

// A change's place: its name's key, then its place in git's order.
struct Place
{
    qsizetype index;
    Key key;
    // Its place in the previous order, -1 when new.
    qsizetype previous = -1;
};

bool keyPrecedes(const NBEFileTreeNode::NameKey &a, qsizetype aIndex,
                 const NBEFileTreeNode::NameKey &b, qsizetype bIndex)
{
    if (const int c = NBEFileTreeNode::compareNameKeys(a, b))
        return c < 0;
    return aIndex < bIndex;
}

// A change the earlier status run's reading kept shares its URL's data with
// that run's; only others are compared in full.
bool same(const NBEGitFileChange &a, const NBEGitFileChange &b)
{
    return a.index == b.index && a.worktree == b.worktree &&
           (const_cast<QUrl &>(a.url).data_ptr() == const_cast<QUrl &>(b.url).data_ptr() ||
            a.url == b.url);
}

// The places of `indexes` (into `changes`, ascending) sorted by name, each
// with its name's key; equal names keep git's order.
std::vector<Place> sortedPlaces(const QList<NBEGitFileChange> &changes,
                                const std::vector<qsizetype> &indexes)
{
    QStringList names;
    names.reserve(qsizetype(indexes.size()));
    for (qsizetype index : indexes)
        names.append(changes[index].url.fileName());
    std::vector<NBEFileTreeNode::NameKey> keys = NBEFileTreeNode::nameKeys(names);
    std::vector<const NBEFileTreeNode::NameKey *> pointers;
    pointers.reserve(keys.size());
    for (const NBEFileTreeNode::NameKey &key : keys)
        pointers.push_back(&key);
    const std::vector<qsizetype> order = NBEFileTreeNode::nameOrder(pointers);
    std::vector<Place> places;
    places.reserve(order.size());
    for (qsizetype at : order)
        places.push_back({indexes[size_t(at)], std::make_shared<const NBEFileTreeNode::NameKey>(
                                                   std::move(keys[size_t(at)]))});
    return places;
}

NBEGitNameOrder ordered(const QList<NBEGitFileChange> &changes, std::vector<Place> places)
{
    NBEGitNameOrder order;
    order.listed = changes;
    const auto count = qsizetype(places.size());
    order.changes.reserve(count);
    order.keys.reserve(count);
    order.places.reserve(count);
    order.previousPlaces.reserve(count);
    for (Place &place : places) {
        order.changes.append(changes[place.index]);
        order.keys.append(std::move(place.key));
        order.places.append(place.index);
        order.previousPlaces.append(place.previous);
    }
    return order;
}

} // namespace

NBEGitNameOrder NBEGitNameOrder::of(const QList<NBEGitFileChange> &changes)
{
    std::vector<qsizetype> all(size_t(changes.size()));
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = qsizetype(i);
    return ordered(changes, sortedPlaces(changes, all));
}

NBEGitNameOrder NBEGitNameOrder::updated(const NBEGitNameOrder &previous,
                                         const QList<NBEGitFileChange> &changes)
{
    const QList<NBEGitFileChange> &before = previous.listed;
    const qsizetype count = previous.changes.size();
    if (count == 0 || previous.keys.size() != count || previous.places.size() != count ||
        before.size() != count)
        return of(changes);
    // The records both of git's lists begin and end with are the same files
    // in the same places but for a shift; only those between are looked up.
    const qsizetype shorter = std::min(before.size(), changes.size());
    qsizetype head = 0;
    while (head < shorter && same(before[head], changes[head]))
        ++head;
    qsizetype tail = 0;
    while (tail < shorter - head &&
           same(before[before.size() - 1 - tail], changes[changes.size() - 1 - tail]))
        ++tail;
    const qsizetype beforeEnd = before.size() - tail;
    const qsizetype end = changes.size() - tail;
    // Where each file between is in git's order now; the first record of a
    // file counts, as a fresh order would see it first.
    QHash<QUrl, qsizetype> at;
    at.reserve(end - head);
    for (qsizetype i = end - 1; i >= head; --i)
        at.insert(changes[i].url, i);
    std::vector<char> kept(size_t(end - head), 0);
    // Where each change of the previous order is in git's order now; -1
    // when it went. Only numbers: the kept keys are copied once, below.
    std::vector<qsizetype> nowOf(size_t(count), -1);
    qsizetype lastStayed = -1;
    for (qsizetype p = 0; p < count; ++p) {
        const qsizetype was = previous.places[p];
        qsizetype now = was;
        if (was >= beforeEnd) {
            now = was - before.size() + changes.size();
        } else if (was >= head) {
            const NBEGitFileChange &change = before[was];
            const auto found = at.constFind(change.url);
            if (found == at.cend() || kept[size_t(*found - head)] || !same(changes[*found], change))
                continue;
            kept[size_t(*found - head)] = 1;
            now = *found;
        }
        // git lists the files it still lists in the same order, so names
        // that compare equal stay in git's order; should they not, the
        // order is made afresh.
        if (lastStayed >= 0 && nowOf[size_t(lastStayed)] > now &&
            NBEFileTreeNode::compareNameKeys(*previous.keys[lastStayed], *previous.keys[p]) == 0)
            return of(changes);
        nowOf[size_t(p)] = now;
        lastStayed = p;
    }
    std::vector<qsizetype> fresh;
    for (qsizetype i = head; i < end; ++i) {
        if (!kept[size_t(i - head)])
            fresh.push_back(i);
    }
    std::vector<Place> added = sortedPlaces(changes, fresh);
    // The changes that stayed, in their order, with the new ones merged in;
    // of equal places the one that stayed comes first.
    NBEGitNameOrder order;
    order.listed = changes;
    order.changes.reserve(changes.size());
    order.keys.reserve(changes.size());
    order.places.reserve(changes.size());
    order.previousPlaces.reserve(changes.size());
    const auto append = [&](qsizetype index, Key key, qsizetype previousPlace) {
        order.changes.append(changes[index]);
        order.keys.append(std::move(key));
        order.places.append(index);
        order.previousPlaces.append(previousPlace);
    };
    auto next = added.begin();
    for (qsizetype p = 0; p < count; ++p) {
        const qsizetype now = nowOf[size_t(p)];
        if (now < 0)
            continue;
        const Key &key = previous.keys[p];
        while (next != added.end() && keyPrecedes(*next->key, next->index, *key, now)) {
            append(next->index, std::move(next->key), -1);
            ++next;
        }
        append(now, key, p);
    }
    for (; next != added.end(); ++next)
        append(next->index, std::move(next->key), -1);
    return order;
}
