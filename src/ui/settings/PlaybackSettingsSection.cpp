#include "PlaybackSettingsSection.h"

#include "playback/AudioEngine.h"
#include "playback/AudioPlaybackError.h"
#include "ui/settings/SettingsSection.h"
#include "ui/settings/SettingsSlider.h"
#include "ui/settings/SettingsSwitch.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace varno {

const QString PlaybackSettingsSection::kTitle = QStringLiteral("PLAYBACK");
const QString PlaybackSettingsSection::kGaplessTitle = QStringLiteral("Gapless Playback");
const QString PlaybackSettingsSection::kCrossfadeTitle = QStringLiteral("Crossfade");
const QString PlaybackSettingsSection::kReplayGainTitle = QStringLiteral("ReplayGain");
const QString PlaybackSettingsSection::kOutputDeviceTitle = QStringLiteral("Output Device");
const QString PlaybackSettingsSection::kDefaultDeviceName = QStringLiteral("System Default");

namespace {

const QList<std::pair<QString, ReplayGainMode>>& replayGainChoices()
{
    static const QList<std::pair<QString, ReplayGainMode>> choices {
        {QStringLiteral("Off"), ReplayGainMode::Off},
        {QStringLiteral("Track"), ReplayGainMode::Track},
        {QStringLiteral("Album"), ReplayGainMode::Album},
    };
    return choices;
}

} // namespace

QString PlaybackSettingsSection::crossfadeText(double seconds)
{
    const auto whole = static_cast<int>(std::floor(seconds));
    return whole <= 0 ? QStringLiteral("Off") : QStringLiteral("%1 s").arg(whole);
}

PlaybackSettingsSection::PlaybackSettingsSection(AudioEngine& engine, ThemeEngine& theme, QWidget* sheet)
    : m_engine(engine)
{
    m_section = new SettingsSection(kTitle, theme, sheet);
    setParent(m_section);
    QVBoxLayout* body = m_section->body();

    auto* gapless = new SettingsSwitch(kGaplessTitle, m_section);
    gapless->setObjectName(QStringLiteral("gaplessSwitch"));
    m_gapless = gapless;
    connect(m_gapless, &QAbstractButton::toggled, this, [this](bool on) { m_engine.setGaplessEnabled(on); });
    body->addWidget(m_gapless);

    m_crossfade = new SettingsSlider(kCrossfadeTitle, 0.0, AudioEngine::kMaxCrossfade, 1.0, crossfadeText, m_section);
    m_crossfade->setObjectName(QStringLiteral("crossfadeSlider"));
    connect(m_crossfade, &SettingsSlider::valueChanged, this, [this](double seconds) { m_engine.setCrossfadeDuration(seconds); });
    body->addWidget(m_crossfade);

    // The same segmented control as "Animation Speed".
    auto* gainRow = new QHBoxLayout;
    gainRow->setSpacing(0);
    gainRow->addWidget(new QLabel(kReplayGainTitle, m_section));
    gainRow->addStretch(1);
    m_replayGain = new QButtonGroup(this);
    m_replayGain->setExclusive(true);
    for (const auto& [name, mode] : replayGainChoices()) {
        QToolButton* button = makeSegmentButton(name, m_section);
        m_replayGain->addButton(button);
        gainRow->addWidget(button);
        const ReplayGainMode chosen = mode;
        connect(button, &QToolButton::clicked, this, [this, chosen] { m_engine.setReplayGainMode(chosen); });
    }
    body->addLayout(gainRow);

    auto* deviceRow = new QHBoxLayout;
    deviceRow->addWidget(new QLabel(kOutputDeviceTitle, m_section));
    deviceRow->addStretch(1);
    m_devices = new QComboBox(m_section);
    m_devices->setObjectName(QStringLiteral("outputDeviceBox"));
    m_devices->setAccessibleName(kOutputDeviceTitle);
    m_devices->setMinimumWidth(200);
    connect(m_devices, &QComboBox::activated, this, [this](int index) {
        try {
            m_engine.setOutputDevice(m_devices->itemData(index).toString());
        } catch (const AudioPlaybackError&) {
            showDevices();
        }
    });
    deviceRow->addWidget(m_devices);
    body->addLayout(deviceRow);

    connect(&m_engine, &AudioEngine::playbackSettingsChanged, this, &PlaybackSettingsSection::showSettings);
    connect(&m_engine, &AudioEngine::outputDevicesChanged, this, &PlaybackSettingsSection::showDevices);
    showSettings();
    showDevices();
}

QAbstractButton* PlaybackSettingsSection::replayGainButton(const QString& choice) const
{
    for (QAbstractButton* button : m_replayGain->buttons()) {
        if (button->text() == choice)
            return button;
    }
    return nullptr;
}

QString PlaybackSettingsSection::replayGainText() const
{
    QAbstractButton* checked = m_replayGain->checkedButton();
    return checked ? checked->text() : QString();
}

void PlaybackSettingsSection::showSettings()
{
    const QSignalBlocker quiet(m_gapless);
    m_gapless->setChecked(m_engine.isGaplessEnabled());
    m_crossfade->setValue(m_engine.crossfadeDuration());
    for (const auto& [name, mode] : replayGainChoices()) {
        if (mode == m_engine.replayGainMode())
            replayGainButton(name)->setChecked(true);
    }
}

void PlaybackSettingsSection::showDevices()
{
    const QSignalBlocker quiet(m_devices);
    m_devices->clear();
    m_devices->addItem(kDefaultDeviceName, QString());
    const QString chosen = m_engine.outputDevice();
    bool listed = chosen.isEmpty();
    for (const AudioEngine::OutputDevice& device : m_engine.outputDevices()) {
        m_devices->addItem(device.name, device.id);
        listed = listed || device.id == chosen;
    }
    // A chosen device that is away stays shown as the choice.
    if (!listed)
        m_devices->addItem(QStringLiteral("%1 (not connected)").arg(chosen), chosen);
    m_devices->setCurrentIndex(std::max(0, m_devices->findData(chosen)));
    m_devices->setEnabled(m_devices->count() > 1);
}

} // namespace varno
