#pragma once

#include "storage/Playlist.h"
#include "ui/NavigationDestination.h"

#include <QWidget>

class QLabel;
class QListWidget;
class QListWidgetItem;
class QStackedWidget;

namespace varno {

class EmptyStateView;
struct ViewEnvironment;

// A folder's screen: its name, how many playlists it holds, and the
// playlists and folders directly inside it in the sidebar's order, each
// with what it holds ("12 songs", "Smart playlist", "3 playlists"). A click
// on one asks for its own screen. An empty folder says so and how to fill
// it. Follows the playlist engine's changes (renames, moves, deletions).
//
// Main thread only.
class FolderView final : public QWidget {
    Q_OBJECT

public:
    static const QString kEmptyTitle;
    static const QString kEmptySubtitle;

    FolderView(ViewEnvironment& environment, Playlist folder, QWidget* parent = nullptr);

    // As the playlist engine last published it.
    const Playlist& folder() const { return m_folder; }
    QListWidget* list() const { return m_list; }
    QLabel* countLabel() const { return m_count; }
    EmptyStateView* emptyState() const { return m_emptyState; }
    // The row of a child playlist; null when it is not listed.
    QListWidgetItem* itemFor(const QUuid& id) const;

    // "1 playlist", "3 playlists"; folders inside count as playlists.
    static QString countText(qsizetype count);

signals:
    // A playlist or folder inside was clicked.
    void playlistChosen(const varno::NavigationDestination& destination);

private:
    void refresh();
    QString detailOf(const Playlist& playlist) const;

    ViewEnvironment& m_environment;
    Playlist m_folder;
    QLabel* m_title = nullptr;
    QLabel* m_count = nullptr;
    QStackedWidget* m_content = nullptr;
    QListWidget* m_list = nullptr;
    EmptyStateView* m_emptyState = nullptr;
};

} // namespace varno
