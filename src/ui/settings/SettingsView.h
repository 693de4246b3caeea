#pragma once

#include "media/ThemeConfiguration.h"

#include <QColorDialog>
#include <QDialog>
#include <QPointer>
#include <QList>

class QAbstractButton;
class QButtonGroup;
class QLabel;
class QPushButton;
class QToolButton;
class QUndoStack;

namespace varno {

class AudioEngine;
class PlaybackSettingsSection;
class SettingsSlider;
class ThemeEngine;
class TrackTableLayoutState;

// The settings sheet: appearance, layout and behaviour of the interface and
// the song table's columns. It opens showing the values in force and every
// change goes to the theme engine at once, which applies and keeps it; the
// column section works on the shared layout state, its restore entered on
// the window's undo stack. Main thread only.
class SettingsView final : public QDialog {
    Q_OBJECT

public:
    static const QString kTitle;
    static const QString kSubtitle;
    static const QString kCloseLabel;
    static const QString kDynamicAccentTitle;
    static const QString kManualAccentTitle;
    // "Custom Color…": the button that opens the colour dialog.
    static const QString kCustomAccentTitle;
    static const QString kColumnsHint;
    static const QString kRestoreColumnsTitle;
    static const QString kRestoreColumnsHelp;
    // The "Animation Speed" choices and their multipliers.
    static const QList<std::pair<QString, double>>& animationSpeeds();
    // The manual accents offered, the desktop's own first.
    static const QList<StudioColor>& accentChoices();

    // With `playback`, the sheet ends with its "PLAYBACK" section.
    SettingsView(ThemeEngine& theme, TrackTableLayoutState& layout, QUndoStack* undoStack, QWidget* parent = nullptr,
                 AudioEngine* playback = nullptr);

    // Null without an audio engine.
    PlaybackSettingsSection* playbackSection() const { return m_playback; }

    QToolButton* closeButton() const { return m_close; }
    QAbstractButton* dynamicAccentSwitch() const { return m_dynamicAccent; }
    QWidget* manualAccentRow() const { return m_manualAccentRow; }
    const QList<QAbstractButton*>& accentSwatches() const { return m_swatches; }
    // After the swatches: any colour, through the desktop's colour dialog.
    // Checked while the manual accent is none of the swatches.
    QAbstractButton* accentPickerButton() const { return m_accentPicker; }
    // The colour dialog while it is open (or was last), else null.
    QColorDialog* accentColorDialog() const { return m_colorDialog; }
    SettingsSlider* transparencySlider() const { return m_transparency; }
    QAbstractButton* compactSwitch() const { return m_compact; }
    SettingsSlider* cornerRadiusSlider() const { return m_cornerRadius; }
    SettingsSlider* fontScaleSlider() const { return m_fontScale; }
    QAbstractButton* animationSpeedButton(const QString& choice) const;
    // The choice shown as selected.
    QString animationSpeedText() const;
    // "N/12": the columns shown out of all the data columns.
    QString columnCountText() const;
    // The layout's recovery message as shown; empty when there is none.
    QString columnRecoveryText() const;
    QPushButton* restoreColumnsButton() const { return m_restoreColumns; }
    // The names of the sections, top to bottom.
    QStringList sectionTitles() const;

private:
    QWidget* makeHeader();
    QWidget* makeAppearance();
    QWidget* makeLayout();
    QWidget* makeBehavior();
    QWidget* makeColumns();
    QWidget* makePlayback(AudioEngine* engine);
    void showConfiguration();
    void openColorDialog();
    void showColumns();
    void edit(const std::function<void(ThemeConfiguration&)>& change);

    ThemeEngine& m_theme;
    TrackTableLayoutState& m_layout;
    QUndoStack* m_undoStack;
    QList<QWidget*> m_sections;
    PlaybackSettingsSection* m_playback = nullptr;

    QToolButton* m_close = nullptr;
    QAbstractButton* m_dynamicAccent = nullptr;
    QWidget* m_manualAccentRow = nullptr;
    QList<QAbstractButton*> m_swatches;
    QAbstractButton* m_accentPicker = nullptr;
    QPointer<QColorDialog> m_colorDialog;
    SettingsSlider* m_transparency = nullptr;
    QAbstractButton* m_compact = nullptr;
    SettingsSlider* m_cornerRadius = nullptr;
    SettingsSlider* m_fontScale = nullptr;
    QButtonGroup* m_speeds = nullptr;
    QLabel* m_columnCount = nullptr;
    QLabel* m_columnRecovery = nullptr;
    QPushButton* m_restoreColumns = nullptr;
};

} // namespace varno
