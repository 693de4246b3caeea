#pragma once

#include "media/ThemeEngine.h"
#include "platform/PreferencesStore.h"

namespace varno {

// Keeps the configuration in the preferences under "appearance.theme.v1"
// when given a store, so the appearance the user chose survives a restart;
// a stored value that does not read is replaced by the defaults at the next
// change. Reduce motion follows the desktop and is not stored.
class OstrelThemeEngine final : public ThemeEngine {
    Q_OBJECT

public:
    explicit OstrelThemeEngine(PreferencesStore* preferences = nullptr, QObject* parent = nullptr);

    const ThemeConfiguration& currentConfiguration() const override { return m_configuration; }
    QCoro::Task<StudioColor> extractAccentColor(QByteArray imageData) override;
    void updateTheme(const std::function<void(ThemeConfiguration&)>& edit) override;
    void resetToDefaults() override;
    bool reduceMotion() const override { return m_baseReduceMotion; }
    void setReduceMotion(bool on) override;

    static inline const QString kPreferenceKey = QStringLiteral("appearance.theme.v1");

    // The blocking form of extractAccentColor, for any thread.
    static StudioColor accentColor(const QByteArray& imageData);
    // The rule for a mean colour given as 8-bit components.
    static StudioColor accentFromMean(int red, int green, int blue);

private:
    void publish(const ThemeConfiguration& configuration, double chosenSpeed);

    PreferencesStore* m_preferences;
    ThemeConfiguration m_configuration;
    bool m_baseReduceMotion = false;
};

} // namespace varno
