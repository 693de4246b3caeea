#pragma once

#include <QWidget>

class QToolButton;
class QVBoxLayout;

namespace varno {

class ThemeEngine;

// A titled group of the settings sheet: the title above a card whose corners
// follow the theme's radius. Main thread only.
class SettingsSection final : public QWidget {
    Q_OBJECT

public:
    SettingsSection(const QString& title, ThemeEngine& theme, QWidget* parent = nullptr);

    QString title() const { return m_title; }
    // Where the section's rows go.
    QVBoxLayout* body() const { return m_body; }

private:
    class Card;

    QString m_title;
    QVBoxLayout* m_body;
};

// One segment of a segmented choice ("Animation Speed", "ReplayGain"): a
// checkable button named `text`, filled with the accent while chosen so the
// choice reads at a glance.
QToolButton* makeSegmentButton(const QString& text, QWidget* parent);

} // namespace varno
