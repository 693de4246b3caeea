#pragma once

#include "playlists/SearchResults.h"

#include <QObject>
#include <QString>

namespace varno {

// Free-text search over the songs and playlists its owner hands it: typed
// queries are debounced, and every search's results are published. Main
// thread only.
class SearchEngine : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~SearchEngine() override = default;

    // The last text given to updateQuery(), even while its search is still
    // waiting for the typing to pause; empty after clearSearch().
    virtual const QString& activeQuery() const = 0;
    // Sets activeQuery() and searches for the text once 150 ms pass without
    // another one; the same text twice in a row is searched once.
    virtual void updateQuery(const QString& query) = 0;
    // Searches now, publishes and returns the results.
    virtual SearchResults searchImmediately(const QString& query) = 0;
    // Empties activeQuery() and publishes empty results.
    virtual void clearSearch() = 0;
    // The results published last.
    virtual const SearchResults& results() const = 0;

signals:
    void activeQueryChanged();
    void resultsPublished(const varno::SearchResults& results);
};

} // namespace varno
