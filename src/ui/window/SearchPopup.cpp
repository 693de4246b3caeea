#include "SearchPopup.h"

#include "library/LibraryEngine.h"
#include "playback/QueueEngine.h"
#include "playlists/SearchEngine.h"
#include "ui/Icons.h"
#include "workspace/AlbumIndex.h"
#include "workspace/TrackSorting.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace varno {

const QString SearchPopup::kPlaceholder = QStringLiteral("Search songs, artists, albums, playlists");

namespace {

enum Role { KindRole = Qt::UserRole + 1, IndexRole };
enum class RowKind { Caption, Song, Artist, Album, Playlist, Nothing };

// The songs a song found by search plays with: its album from the library,
// in album order, when it has an album; else itself alone.
TrackList songsListedWith(const SharedTrack& song, const TrackList& library)
{
    if (!song->album || song->album->isEmpty())
        return TrackList(QList<SharedTrack> {song});
    const auto key = AlbumIndex::keyOf(*song);
    QList<SharedTrack> album;
    for (const SharedTrack& other : library.sharedSongs()) {
        if (other->album == song->album && AlbumIndex::keyOf(*other) == key)
            album.append(other);
    }
    if (album.isEmpty())
        album.append(song);
    const QCollator collator = trackCollator();
    std::stable_sort(album.begin(), album.end(),
                     [&](const SharedTrack& a, const SharedTrack& b) { return AlbumIndex::compareInAlbum(*a, *b, collator) < 0; });
    return TrackList(std::move(album));
}

} // namespace

SearchPopup::SearchPopup(SearchEngine& search, QueueEngine& queue, LibraryEngine& library, QLineEdit& field, QWidget* window)
    : QFrame(window)
    , m_search(search)
    , m_queue(queue)
    , m_library(library)
    , m_field(field)
    , m_list(new QListWidget(this))
{
    setObjectName(QStringLiteral("searchResults"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setUniformItemSizes(false);
    m_list->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(m_list);
    hide();

    m_field.setPlaceholderText(kPlaceholder);
    m_field.setClearButtonEnabled(true);
    m_field.addAction(symbolIcon(u"magnifyingglass"), QLineEdit::LeadingPosition);
    m_field.installEventFilter(this);
    connect(&m_field, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (text.trimmed().isEmpty()) {
            m_search.clearSearch();
            hide();
        } else {
            m_search.updateQuery(text);
        }
    });
    connect(&m_search, &SearchEngine::resultsPublished, this, &SearchPopup::showResults);
    connect(m_list, &QListWidget::itemClicked, this, &SearchPopup::choose);
}

void SearchPopup::showResults(const SearchResults& results)
{
    m_results = results;
    m_list->clear();
    if (results.query.trimmed().isEmpty() || m_field.text().trimmed().isEmpty()) {
        hide();
        return;
    }
    const auto caption = [this](const QString& text) {
        auto* item = new QListWidgetItem(text, m_list);
        item->setFlags(Qt::NoItemFlags);
        QFont font = item->font();
        font.setPointSizeF(font.pointSizeF() * 0.8);
        font.setWeight(QFont::DemiBold);
        item->setFont(font);
        item->setData(KindRole, int(RowKind::Caption));
    };
    const auto row = [this](RowKind kind, int index, const QString& text, const QString& symbol) {
        auto* item = new QListWidgetItem(symbolIcon(symbol), text, m_list);
        item->setData(KindRole, int(kind));
        item->setData(IndexRole, index);
    };
    if (!results.songs.empty()) {
        caption(tr("SONGS"));
        for (std::size_t i = 0; i < results.songs.size() && i < std::size_t(kSongsShown); ++i) {
            const Track& song = results.songs[i];
            const QString artist = song.artist && !song.artist->isEmpty() ? *song.artist : tr("Unknown Artist");
            row(RowKind::Song, int(i), song.title + QStringLiteral(" — ") + artist, QStringLiteral("music.note"));
        }
    }
    const auto names = [&](const QString& title, const QStringList& list, RowKind kind, const QString& symbol) {
        if (list.isEmpty())
            return;
        caption(title);
        for (int i = 0; i < list.size() && i < kNamesShown; ++i)
            row(kind, i, list[i], symbol);
    };
    names(tr("ARTISTS"), results.artists, RowKind::Artist, QStringLiteral("music.note.list"));
    names(tr("ALBUMS"), results.albums, RowKind::Album, QStringLiteral("square.and.arrow.down.on.square"));
    if (!results.playlists.isEmpty()) {
        caption(tr("PLAYLISTS"));
        for (int i = 0; i < results.playlists.size() && i < kNamesShown; ++i)
            row(RowKind::Playlist, i, results.playlists[i].name, QStringLiteral("music.note.list"));
    }
    if (m_list->count() == 0) {
        auto* item = new QListWidgetItem(tr("No results for “%1”").arg(results.query), m_list);
        item->setFlags(Qt::NoItemFlags);
        item->setData(KindRole, int(RowKind::Nothing));
    }
    place();
    show();
    raise();
}

void SearchPopup::place()
{
    QWidget* window = parentWidget();
    const QPoint below = m_field.mapTo(window, QPoint(0, m_field.height() + 4));
    const int width = std::max(m_field.width(), 380);
    int rowsHeight = 0;
    for (int i = 0; i < m_list->count(); ++i)
        rowsHeight += m_list->sizeHintForRow(i);
    const int height = std::min(rowsHeight + 8, window->height() - below.y() - 20);
    const int x = std::min(below.x(), window->width() - width - 8);
    setGeometry(x, below.y(), width, height);
}

void SearchPopup::choose(QListWidgetItem* item)
{
    if (!item)
        return;
    const auto kind = RowKind(item->data(KindRole).toInt());
    const int index = item->data(IndexRole).toInt();
    switch (kind) {
    case RowKind::Song: {
        if (index < 0 || static_cast<std::size_t>(index) >= m_results.songs.size())
            break;
        const SharedTrack& song = m_results.songs.shared(static_cast<std::size_t>(index));
        const TrackList songs = songsListedWith(song, m_library.allTracks());
        const QList<SharedTrack>& listed = songs.sharedSongs();
        qsizetype at = listed.indexOf(song);
        if (at < 0) {
            at = std::find_if(listed.begin(), listed.end(), [&](const SharedTrack& other) { return other->id == song->id; }) - listed.begin();
            at = at < listed.size() ? at : 0;
        }
        m_queue.playNow(songs, static_cast<int>(at));
        hide();
        break;
    }
    case RowKind::Artist:
        if (index < m_results.artists.size())
            emit artistChosen(m_results.artists[index]);
        hide();
        break;
    case RowKind::Album:
        if (index < m_results.albums.size())
            emit albumChosen(m_results.albums[index]);
        hide();
        break;
    case RowKind::Playlist:
        if (index < m_results.playlists.size())
            emit playlistChosen(m_results.playlists[index].id);
        hide();
        break;
    case RowKind::Caption:
    case RowKind::Nothing:
        break;
    }
}

QStringList SearchPopup::rowTexts() const
{
    QStringList texts;
    for (int i = 0; i < m_list->count(); ++i)
        texts << m_list->item(i)->text();
    return texts;
}

bool SearchPopup::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &m_field)
        return false;
    if (event->type() == QEvent::FocusOut && !m_list->underMouse())
        hide();
    if (event->type() == QEvent::FocusIn && !m_field.text().trimmed().isEmpty() && m_list->count() > 0) {
        place();
        show();
        raise();
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const auto selectable = [this](int row) {
        const RowKind kind = RowKind(m_list->item(row)->data(KindRole).toInt());
        return kind != RowKind::Caption && kind != RowKind::Nothing;
    };
    const auto step = [&](int direction) {
        for (int row = m_list->currentRow() + direction; row >= 0 && row < m_list->count(); row += direction) {
            if (selectable(row)) {
                m_list->setCurrentRow(row);
                return;
            }
        }
    };
    switch (key->key()) {
    case Qt::Key_Escape:
        m_field.clear();
        hide();
        emit leaveRequested();
        return true;
    case Qt::Key_Down:
        if (isVisible())
            step(1);
        return isVisible();
    case Qt::Key_Up:
        if (isVisible())
            step(-1);
        return isVisible();
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (isVisible() && m_list->currentItem()) {
            choose(m_list->currentItem());
            return true;
        }
        return false;
    default:
        return false;
    }
}

} // namespace varno
