#pragma once

#include "playlists/SearchResults.h"

#include <QFrame>

class QLineEdit;
class QListWidget;
class QListWidgetItem;

namespace varno {

class LibraryEngine;
class QueueEngine;
class SearchEngine;

// The search field at the top of the window and the results under it: the
// first songs, artists, albums and playlists matching what is typed. Typing
// goes through the search engine's debounced query, so a fast typist costs
// one search per pause. Choosing a song plays it with the songs it is
// listed with in the library, its album in album order when it has one
// (never the other results); choosing an artist, an album or a playlist
// asks the window to open it. Escape clears the field and leaves it
// (leaveRequested()).
class SearchPopup final : public QFrame {
    Q_OBJECT

public:
    static constexpr int kSongsShown = 8;
    static constexpr int kNamesShown = 4;
    static const QString kPlaceholder;

    SearchPopup(SearchEngine& search, QueueEngine& queue, LibraryEngine& library, QLineEdit& field, QWidget* window);

    QListWidget* list() const { return m_list; }
    // Texts of the rows shown, section captions included, for tests.
    QStringList rowTexts() const;

signals:
    void playlistChosen(const QUuid& playlistID);
    void artistChosen(const QString& artist);
    void albumChosen(const QString& album);
    // Escape was pressed: the field is cleared and focus should go back to
    // the window's content.
    void leaveRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showResults(const SearchResults& results);
    void choose(QListWidgetItem* item);
    void place();

    SearchEngine& m_search;
    QueueEngine& m_queue;
    LibraryEngine& m_library;
    QLineEdit& m_field;
    QListWidget* m_list;
    SearchResults m_results;
};

} // namespace varno
