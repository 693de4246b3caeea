#include "NewPlaylistForm.h"

#include "platform/Error.h"
#include "playlists/PlaylistEngine.h"
#include "ui/ThemeApplier.h"
#include "ui/sidebar/SidebarRowPainter.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace varno {

namespace {
Q_LOGGING_CATEGORY(lcSidebar, "varno.sidebar")
}

const QString NewPlaylistForm::kHeading = QStringLiteral("New Playlist");
const QString NewPlaylistForm::kPlaceholder = QStringLiteral("Playlist name");
const QString NewPlaylistForm::kCancel = QStringLiteral("Cancel");
const QString NewPlaylistForm::kCreate = QStringLiteral("Create");
const QString NewPlaylistForm::kFolderHeading = QStringLiteral("New Folder");
const QString NewPlaylistForm::kFolderPlaceholder = QStringLiteral("Folder name");

NewPlaylistForm::NewPlaylistForm(PlaylistEngine& engine, QWidget* parent)
    : QWidget(parent)
    , m_engine(engine)
{
    setObjectName(QStringLiteral("newPlaylistForm"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 8, 10, 10);
    layout->setSpacing(6);

    m_heading = new QLabel(kHeading, this);
    m_heading->setObjectName(QStringLiteral("newPlaylistHeading"));
    QFont headingFont = m_heading->font();
    headingFont.setWeight(QFont::DemiBold);
    m_heading->setFont(headingFont);

    m_field = new QLineEdit(this);
    m_field->setObjectName(QStringLiteral("newPlaylistName"));
    m_field->setPlaceholderText(kPlaceholder);
    m_field->installEventFilter(this);

    m_errorLabel = new QLabel(this);
    m_errorLabel->setObjectName(QStringLiteral("newPlaylistError"));
    m_errorLabel->setWordWrap(true);
    QPalette errorPalette = m_errorLabel->palette();
    errorPalette.setColor(QPalette::WindowText, QColor(0xff, 0x5f, 0x57));
    m_errorLabel->setPalette(errorPalette);
    m_errorLabel->hide();

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(6);
    auto* cancelButton = new QPushButton(kCancel, this);
    cancelButton->setObjectName(QStringLiteral("newPlaylistCancel"));
    cancelButton->setAutoDefault(false);
    m_createButton = new QPushButton(kCreate, this);
    m_createButton->setObjectName(QStringLiteral("newPlaylistCreate"));
    m_createButton->setAutoDefault(false);
    buttons->addStretch(1);
    buttons->addWidget(cancelButton);
    buttons->addWidget(m_createButton);

    layout->addWidget(m_heading);
    layout->addWidget(m_field);
    layout->addWidget(m_errorLabel);
    layout->addLayout(buttons);

    connect(cancelButton, &QPushButton::clicked, this, &NewPlaylistForm::cancel);
    connect(m_createButton, &QPushButton::clicked, this, &NewPlaylistForm::create);
    connect(m_field, &QLineEdit::returnPressed, this, &NewPlaylistForm::create);

    hide();
}

void NewPlaylistForm::open(Kind kind)
{
    if (!m_open || kind != m_kind) {
        m_kind = kind;
        m_heading->setText(kind == Kind::Folder ? kFolderHeading : kHeading);
        m_field->setPlaceholderText(kind == Kind::Folder ? kFolderPlaceholder : kPlaceholder);
        m_field->clear();
        setError(std::nullopt);
        if (!m_open) {
            m_open = true;
            show();
            emit openChanged(true);
        }
    }
    m_field->setFocus(Qt::OtherFocusReason);
}

QString NewPlaylistForm::name() const
{
    return m_field->text();
}

void NewPlaylistForm::create()
{
    const QString trimmed = m_field->text().trimmed();
    if (trimmed.isEmpty() || m_creating)
        return;
    // Dropped, not awaited: the task finishes on its own and reports into
    // the form.
    auto creating = createPlaylist(trimmed);
}

QCoro::Task<> NewPlaylistForm::createPlaylist(QString name)
{
    const QPointer<NewPlaylistForm> self(this);
    m_creating = true;
    m_createButton->setEnabled(false);
    std::optional<QString> failure;
    try {
        if (m_kind == Kind::Folder) {
            auto creating = m_engine.createFolder(std::move(name));
            co_await creating;
        } else {
            auto creating = m_engine.createPlaylist(std::move(name));
            co_await creating;
        }
    } catch (const std::exception& error) {
        failure = describe(error);
    }
    if (!self) {
        if (failure)
            qCWarning(lcSidebar) << "Creating a playlist failed after the sidebar was gone:" << *failure;
        co_return;
    }
    m_creating = false;
    m_createButton->setEnabled(true);
    if (failure) {
        setError(failure);
        co_return;
    }
    close();
}

void NewPlaylistForm::cancel()
{
    close();
}

void NewPlaylistForm::close()
{
    m_field->clear();
    if (!m_open)
        return;
    m_open = false;
    hide();
    emit openChanged(false);
}

void NewPlaylistForm::setError(std::optional<QString> error)
{
    m_error = std::move(error);
    m_errorLabel->setText(m_error.value_or(QString()));
    m_errorLabel->setVisible(m_error.has_value());
}

void NewPlaylistForm::paintEvent(QPaintEvent*)
{
    // A card a little lighter than the sidebar, so the form reads as one
    // piece among the rows.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath card;
    card.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), ThemeApplier::shownCornerRadius(8),
                         ThemeApplier::shownCornerRadius(8));
    painter.fillPath(card, palette().color(QPalette::Window).lighter(135));
    QColor outline = palette().color(QPalette::WindowText);
    outline.setAlphaF(0.08);
    painter.setPen(outline);
    painter.drawPath(card);
}

bool NewPlaylistForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_field && event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        cancel();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace varno
