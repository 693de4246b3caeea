#include "PlaylistRenameSheet.h"

#include "platform/Error.h"
#include "playlists/PlaylistEngine.h"
#include "ui/editors/EditorChrome.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace varno {

const QString PlaylistRenameSheet::kTitle = QStringLiteral("Rename Playlist");
const QString PlaylistRenameSheet::kPlaceholder = QStringLiteral("Playlist name");
const QString PlaylistRenameSheet::kCancel = QStringLiteral("Cancel");
const QString PlaylistRenameSheet::kRename = QStringLiteral("Rename");

PlaylistRenameSheet::PlaylistRenameSheet(Playlist playlist, PlaylistEngine& engine, QWidget* parent)
    : QDialog(parent)
    , m_playlist(std::move(playlist))
    , m_engine(engine)
{
    setObjectName(QStringLiteral("playlistRenameSheet"));
    setWindowTitle(kTitle);
    setWindowModality(Qt::WindowModal);
    setMinimumWidth(380);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(10);
    layout->addWidget(makeSheetTitle(kTitle, this));

    m_name = new QLineEdit(m_playlist.name, this);
    m_name->setObjectName(QStringLiteral("playlistName"));
    m_name->setPlaceholderText(kPlaceholder);
    m_name->setAccessibleName(kPlaceholder);
    m_name->selectAll();
    layout->addWidget(m_name);
    m_errorLabel = makeErrorLabel(QStringLiteral("renameError"), this);
    layout->addWidget(m_errorLabel);

    const SheetButtons buttons = addSheetButtons(this, layout, kRename, QStringLiteral("rename"), true, [this] { submit(); });
    m_cancel = buttons.cancel;
    m_rename = buttons.confirm;

    connect(m_name, &QLineEdit::returnPressed, this, &PlaylistRenameSheet::submit);
    connect(m_name, &QLineEdit::textChanged, this, &PlaylistRenameSheet::updateState);
    updateState();
}

void PlaylistRenameSheet::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_name->setFocus(Qt::OtherFocusReason);
}

bool PlaylistRenameSheet::canRename() const
{
    const QString trimmed = m_name->text().trimmed();
    return !trimmed.isEmpty() && trimmed != m_playlist.name;
}

void PlaylistRenameSheet::updateState()
{
    m_rename->setEnabled(canRename() && !m_renaming);
}

void PlaylistRenameSheet::submit()
{
    if (!canRename() || m_renaming)
        return;
    auto renaming = rename(m_name->text().trimmed());
}

QCoro::Task<> PlaylistRenameSheet::rename(QString name)
{
    const QPointer<PlaylistRenameSheet> self(this);
    m_renaming = true;
    updateState();
    std::optional<QString> failure;
    try {
        auto renaming = m_engine.rename(m_playlist.id, std::move(name));
        co_await std::move(renaming);
    } catch (const std::exception& error) {
        failure = describe(error);
    }
    if (!self)
        co_return;
    m_renaming = false;
    if (!failure) {
        accept();
        co_return;
    }
    m_errorMessage = failure;
    showError(m_errorLabel, m_errorMessage);
    updateState();
}

} // namespace varno
