#include "SettingsView.h"

#include "ui/settings/PlaybackSettingsSection.h"

#include "media/ThemeEngine.h"
#include "ui/Icons.h"
#include "ui/ThemeApplier.h"
#include "ui/settings/SettingsSection.h"
#include "ui/settings/SettingsSlider.h"
#include "ui/settings/SettingsSwitch.h"
#include "workspace/TrackTableColumnID.h"
#include "workspace/TrackTableLayoutState.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QColorDialog>
#include <QConicalGradient>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace varno {

const QString SettingsView::kTitle = QStringLiteral("Settings");
const QString SettingsView::kSubtitle = QStringLiteral("Personalize your workspace and playback experience.");
const QString SettingsView::kCloseLabel = QStringLiteral("Close Settings");
const QString SettingsView::kDynamicAccentTitle = QStringLiteral("Extract accent color from artwork");
const QString SettingsView::kManualAccentTitle = QStringLiteral("Manual Accent Color");
const QString SettingsView::kCustomAccentTitle = QStringLiteral("Custom Color…");
const QString SettingsView::kColumnsHint = QStringLiteral("Drag headers to reorder and their edges to resize.");
const QString SettingsView::kRestoreColumnsTitle = QStringLiteral("Restore Song Columns");
const QString SettingsView::kRestoreColumnsHelp = QStringLiteral("Restore the default song-column order, widths, and visibility");

namespace {

// A round colour to click; a ring marks the chosen one.
class AccentSwatch final : public QAbstractButton {
public:
    AccentSwatch(const StudioColor& colour, QWidget* parent)
        : QAbstractButton(parent)
        , m_colour(ThemeApplier::toColor(colour))
    {
        setCheckable(true);
        setFixedSize(26, 26);
        setCursor(Qt::PointingHandCursor);
        setAccessibleName(m_colour.name());
        setToolTip(m_colour.name());
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF outer = QRectF(rect()).adjusted(1, 1, -1, -1);
        if (isChecked()) {
            painter.setPen(QPen(palette().color(QPalette::WindowText), 2));
            painter.drawEllipse(outer);
        }
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_colour);
        painter.drawEllipse(outer.adjusted(4, 4, -4, -4));
        if (hasFocus()) {
            painter.setPen(QPen(palette().color(QPalette::Highlight), 1.5));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(outer);
        }
    }

private:
    QColor m_colour;
};

// The last of the accent row: a ring of every hue, which opens the colour
// dialog; while the accent is a colour of its own choosing, it shows that
// colour and the ring of the chosen swatch.
class AccentPickerButton final : public QAbstractButton {
public:
    explicit AccentPickerButton(QWidget* parent)
        : QAbstractButton(parent)
    {
        setCheckable(true);
        setFixedSize(26, 26);
        setCursor(Qt::PointingHandCursor);
        setObjectName(QStringLiteral("accentPicker"));
        setAccessibleName(SettingsView::kCustomAccentTitle);
        setToolTip(SettingsView::kCustomAccentTitle);
    }

    void setColour(const QColor& colour)
    {
        m_colour = colour;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF outer = QRectF(rect()).adjusted(1, 1, -1, -1);
        if (isChecked()) {
            painter.setPen(QPen(palette().color(QPalette::WindowText), 2));
            painter.drawEllipse(outer);
        }
        const QRectF dot = outer.adjusted(4, 4, -4, -4);
        QConicalGradient hues(dot.center(), 90);
        for (int i = 0; i <= 6; ++i)
            hues.setColorAt(i / 6.0, QColor::fromHsv((i * 60) % 360, 200, 240));
        painter.setPen(Qt::NoPen);
        painter.setBrush(hues);
        painter.drawEllipse(dot);
        if (isChecked() && m_colour.isValid()) {
            painter.setBrush(m_colour);
            painter.drawEllipse(dot.adjusted(3, 3, -3, -3));
        }
        if (hasFocus()) {
            painter.setPen(QPen(palette().color(QPalette::Highlight), 1.5));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(outer);
        }
    }

private:
    QColor m_colour;
};

QLabel* dimmed(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setForegroundRole(QPalette::PlaceholderText);
    label->setWordWrap(true);
    return label;
}

// Closer than this (summed over the channels) counts as the same colour:
// a colour from a swatch comes back from the settings file rounded.
constexpr double kSameColour = 0.02;

double distance(const StudioColor& a, const StudioColor& b)
{
    return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
}

} // namespace

const QList<std::pair<QString, double>>& SettingsView::animationSpeeds()
{
    static const QList<std::pair<QString, double>> speeds {
        {QStringLiteral("Instant"), 0.0},
        {QStringLiteral("Fast"), 0.5},
        {QStringLiteral("Smooth"), 1.0},
    };
    return speeds;
}

const QList<StudioColor>& SettingsView::accentChoices()
{
    static const QList<StudioColor> choices = [] {
        QList<StudioColor> colours {kSystemAccent};
        for (const char* name : {"#8e5cf7", "#e85d9f", "#eb5757", "#f2994a", "#f2c94c", "#27ae60", "#2bb3c0", "#8a8a94"})
            colours.append(ThemeApplier::fromColor(QColor(QString::fromLatin1(name))));
        return colours;
    }();
    return choices;
}

SettingsView::SettingsView(ThemeEngine& theme, TrackTableLayoutState& layout, QUndoStack* undoStack, QWidget* parent,
                           AudioEngine* playback)
    : QDialog(parent)
    , m_theme(theme)
    , m_layout(layout)
    , m_undoStack(undoStack)
{
    setObjectName(QStringLiteral("settingsSheet"));
    setWindowTitle(kTitle);
    setModal(true);
    resize(520, 600);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(makeHeader());

    auto* scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* content = new QWidget(scroll);
    auto* sections = new QVBoxLayout(content);
    sections->setContentsMargins(24, 8, 24, 24);
    sections->setSpacing(20);
    for (QWidget* section : {makeAppearance(), makeLayout(), makeBehavior(), makeColumns(), makePlayback(playback)}) {
        if (!section)
            continue;
        sections->addWidget(section);
        m_sections.append(section);
    }
    sections->addStretch(1);
    scroll->setWidget(content);
    column->addWidget(scroll, 1);

    connect(&m_theme, &ThemeEngine::configurationChanged, this, &SettingsView::showConfiguration);
    connect(&m_layout, &TrackTableLayoutState::columnsChanged, this, &SettingsView::showColumns);
    connect(&m_layout, &TrackTableLayoutState::recoveryMessageChanged, this, &SettingsView::showColumns);
    showConfiguration();
    showColumns();
}

QWidget* SettingsView::makeHeader()
{
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(24, 20, 16, 12);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto* title = new QLabel(kTitle, header);
    title->setObjectName(QStringLiteral("settingsTitle"));
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setWeight(QFont::Bold);
    title->setFont(titleFont);
    texts->addWidget(title);
    texts->addWidget(dimmed(kSubtitle, header));
    row->addLayout(texts, 1);
    m_close = new QToolButton(header);
    m_close->setObjectName(QStringLiteral("closeSettingsButton"));
    m_close->setIcon(symbolIcon(u"xmark"));
    m_close->setAutoRaise(true);
    m_close->setToolTip(kCloseLabel);
    m_close->setAccessibleName(kCloseLabel);
    connect(m_close, &QToolButton::clicked, this, &QDialog::reject);
    row->addWidget(m_close, 0, Qt::AlignTop);
    return header;
}

QWidget* SettingsView::makeAppearance()
{
    auto* section = new SettingsSection(QStringLiteral("APPEARANCE"), m_theme, this);
    m_dynamicAccent = new SettingsSwitch(kDynamicAccentTitle, section);
    m_dynamicAccent->setObjectName(QStringLiteral("dynamicAccentSwitch"));
    connect(m_dynamicAccent, &QAbstractButton::toggled, this, [this](bool on) { edit([on](ThemeConfiguration& c) { c.useDynamicAccent = on; }); });
    section->body()->addWidget(m_dynamicAccent);

    m_manualAccentRow = new QWidget(section);
    m_manualAccentRow->setObjectName(QStringLiteral("manualAccentRow"));
    auto* accentRow = new QHBoxLayout(m_manualAccentRow);
    accentRow->setContentsMargins(0, 0, 0, 0);
    accentRow->setSpacing(2);
    accentRow->addWidget(new QLabel(kManualAccentTitle, m_manualAccentRow));
    accentRow->addStretch(1);
    auto* swatches = new QButtonGroup(m_manualAccentRow);
    swatches->setExclusive(false);
    for (const StudioColor& colour : accentChoices()) {
        auto* swatch = new AccentSwatch(colour, m_manualAccentRow);
        accentRow->addWidget(swatch);
        m_swatches.append(swatch);
        connect(swatch, &QAbstractButton::clicked, this, [this, colour] {
            edit([colour](ThemeConfiguration& c) { c.manualAccentColor = colour; });
            showConfiguration();
        });
    }
    auto* picker = new AccentPickerButton(m_manualAccentRow);
    m_accentPicker = picker;
    accentRow->addWidget(picker);
    connect(picker, &QAbstractButton::clicked, this, [this] {
        // Clicking toggles the check mark; what is checked follows the
        // accent, shown again when the dialog ends.
        showConfiguration();
        openColorDialog();
    });
    section->body()->addWidget(m_manualAccentRow);

    m_transparency = new SettingsSlider(QStringLiteral("Panel Transparency"), 0.4, 1.0, 0.01, percentageText, section);
    m_transparency->setObjectName(QStringLiteral("panelTransparencySlider"));
    connect(m_transparency, &SettingsSlider::valueChanged, this,
            [this](double value) { edit([value](ThemeConfiguration& c) { c.panelTransparency = value; }); });
    section->body()->addWidget(m_transparency);
    return section;
}

QWidget* SettingsView::makeLayout()
{
    auto* section = new SettingsSection(QStringLiteral("LAYOUT"), m_theme, this);
    m_compact = new SettingsSwitch(QStringLiteral("Compact Mode"), section);
    m_compact->setObjectName(QStringLiteral("compactModeSwitch"));
    connect(m_compact, &QAbstractButton::toggled, this, [this](bool on) { edit([on](ThemeConfiguration& c) { c.isCompactMode = on; }); });
    section->body()->addWidget(m_compact);
    m_cornerRadius = new SettingsSlider(QStringLiteral("Corner Radius"), 0.0, 16.0, 1.0, pixelsText, section);
    m_cornerRadius->setObjectName(QStringLiteral("cornerRadiusSlider"));
    connect(m_cornerRadius, &SettingsSlider::valueChanged, this,
            [this](double value) { edit([value](ThemeConfiguration& c) { c.roundedCorners = value; }); });
    section->body()->addWidget(m_cornerRadius);
    m_fontScale = new SettingsSlider(QStringLiteral("Font Size Scale"), 0.8, 1.2, 0.05, percentageText, section);
    m_fontScale->setObjectName(QStringLiteral("fontScaleSlider"));
    connect(m_fontScale, &SettingsSlider::valueChanged, this,
            [this](double value) { edit([value](ThemeConfiguration& c) { c.fontSizeScale = value; }); });
    section->body()->addWidget(m_fontScale);
    return section;
}

QWidget* SettingsView::makeBehavior()
{
    auto* section = new SettingsSection(QStringLiteral("BEHAVIOR"), m_theme, this);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Animation Speed"), section));
    row->addStretch(1);
    row->setSpacing(0);
    m_speeds = new QButtonGroup(section);
    m_speeds->setExclusive(true);
    for (const auto& [name, multiplier] : animationSpeeds()) {
        QToolButton* button = makeSegmentButton(name, section);
        m_speeds->addButton(button);
        row->addWidget(button);
        const double value = multiplier;
        connect(button, &QToolButton::clicked, this,
                [this, value] { edit([value](ThemeConfiguration& c) { c.animationSpeedMultiplier = value; }); });
    }
    section->body()->addLayout(row);
    return section;
}

QWidget* SettingsView::makePlayback(AudioEngine* engine)
{
    if (!engine)
        return nullptr;
    m_playback = new PlaybackSettingsSection(*engine, m_theme, this);
    return m_playback->section();
}

QWidget* SettingsView::makeColumns()
{
    auto* section = new SettingsSection(QStringLiteral("Song Table Columns"), m_theme, this);
    auto* row = new QHBoxLayout;
    row->addWidget(dimmed(kColumnsHint, section), 1);
    m_columnCount = new QLabel(section);
    m_columnCount->setObjectName(QStringLiteral("columnCount"));
    row->addWidget(m_columnCount);
    section->body()->addLayout(row);
    m_columnRecovery = new QLabel(section);
    m_columnRecovery->setWordWrap(true);
    QPalette orange = m_columnRecovery->palette();
    orange.setColor(QPalette::WindowText, QColor(0xf2, 0x99, 0x4a));
    m_columnRecovery->setPalette(orange);
    section->body()->addWidget(m_columnRecovery);
    m_restoreColumns = new QPushButton(symbolIcon(u"arrow.counterclockwise"), kRestoreColumnsTitle, section);
    m_restoreColumns->setObjectName(QStringLiteral("restoreColumnsButton"));
    m_restoreColumns->setToolTip(kRestoreColumnsHelp);
    m_restoreColumns->setAutoDefault(false);
    connect(m_restoreColumns, &QPushButton::clicked, this, [this] { m_layout.restoreDefaultLayout(m_undoStack); });
    section->body()->addWidget(m_restoreColumns, 0, Qt::AlignLeft);
    return section;
}

void SettingsView::openColorDialog()
{
    // Qt's own dialog, so it looks the same on every desktop and can be
    // driven by the tests; opened window-modal over the sheet.
    if (!m_colorDialog) {
        m_colorDialog = new QColorDialog(this);
        m_colorDialog->setObjectName(QStringLiteral("accentColorDialog"));
        m_colorDialog->setWindowTitle(tr("Accent Color"));
        m_colorDialog->setOption(QColorDialog::DontUseNativeDialog);
        connect(m_colorDialog, &QColorDialog::colorSelected, this, [this](const QColor& colour) {
            const StudioColor chosen = ThemeApplier::fromColor(colour);
            edit([chosen](ThemeConfiguration& c) { c.manualAccentColor = chosen; });
        });
    }
    m_colorDialog->setCurrentColor(ThemeApplier::toColor(m_theme.currentConfiguration().manualAccentColor));
    m_colorDialog->open();
}

void SettingsView::edit(const std::function<void(ThemeConfiguration&)>& change)
{
    m_theme.updateTheme(change);
}

void SettingsView::showConfiguration()
{
    const ThemeConfiguration& c = m_theme.currentConfiguration();
    {
        const QSignalBlocker quiet(m_dynamicAccent);
        m_dynamicAccent->setChecked(c.useDynamicAccent);
    }
    m_manualAccentRow->setVisible(!c.useDynamicAccent);
    // The swatch of the manual accent is the chosen one; an accent that is
    // none of them was picked in the colour dialog.
    qsizetype nearest = 0;
    for (qsizetype i = 1; i < accentChoices().size(); ++i) {
        if (distance(accentChoices()[i], c.manualAccentColor) < distance(accentChoices()[nearest], c.manualAccentColor))
            nearest = i;
    }
    const bool custom = distance(accentChoices()[nearest], c.manualAccentColor) > kSameColour;
    for (qsizetype i = 0; i < m_swatches.size(); ++i)
        m_swatches[i]->setChecked(!custom && i == nearest);
    m_accentPicker->setChecked(custom);
    static_cast<AccentPickerButton*>(m_accentPicker)->setColour(ThemeApplier::toColor(c.manualAccentColor));
    m_transparency->setValue(c.panelTransparency);
    {
        const QSignalBlocker quiet(m_compact);
        m_compact->setChecked(c.isCompactMode);
    }
    m_cornerRadius->setValue(c.roundedCorners);
    m_fontScale->setValue(c.fontSizeScale);
    // Reduce motion holds animations off whatever is chosen here.
    const bool reduceMotion = m_theme.reduceMotion();
    qsizetype speed = 0;
    for (qsizetype i = 1; i < animationSpeeds().size(); ++i) {
        if (std::abs(animationSpeeds()[i].second - c.animationSpeedMultiplier)
            < std::abs(animationSpeeds()[speed].second - c.animationSpeedMultiplier))
            speed = i;
    }
    const QList<QAbstractButton*> speedButtons = m_speeds->buttons();
    for (qsizetype i = 0; i < speedButtons.size(); ++i) {
        const QSignalBlocker quiet(speedButtons[i]);
        speedButtons[i]->setChecked(i == speed);
        speedButtons[i]->setEnabled(!reduceMotion);
        speedButtons[i]->setToolTip(reduceMotion ? tr("Animations are off while the desktop asks for reduced motion") : QString());
    }
}

void SettingsView::showColumns()
{
    m_columnCount->setText(QStringLiteral("%1/%2").arg(m_layout.columns().size()).arg(kAllTrackTableColumns.size()));
    const std::optional<QString>& recovery = m_layout.recoveryMessage();
    m_columnRecovery->setText(recovery.value_or(QString()));
    m_columnRecovery->setVisible(recovery.has_value());
    m_restoreColumns->setEnabled(!m_layout.isDefaultLayout());
}

QAbstractButton* SettingsView::animationSpeedButton(const QString& choice) const
{
    for (QAbstractButton* button : m_speeds->buttons()) {
        if (button->text() == choice)
            return button;
    }
    return nullptr;
}

QString SettingsView::animationSpeedText() const
{
    QAbstractButton* checked = m_speeds->checkedButton();
    return checked ? checked->text() : QString();
}

QString SettingsView::columnCountText() const
{
    return m_columnCount->text();
}

QString SettingsView::columnRecoveryText() const
{
    return m_columnRecovery->isVisibleTo(this) ? m_columnRecovery->text() : QString();
}

QStringList SettingsView::sectionTitles() const
{
    QStringList titles;
    for (QWidget* section : m_sections)
        titles << static_cast<SettingsSection*>(section)->title();
    return titles;
}

} // namespace varno
