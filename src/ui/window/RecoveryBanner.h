#pragma once

#include <QWidget>

class QGraphicsOpacityEffect;
class QLabel;
class QToolButton;
class QVariantAnimation;

namespace varno {

class RecoveryMessage;
class ThemeEngine;

// The composition root's recovery message across the top of the window: a
// symbol, the message and a close button that dismisses it. At most 540
// points wide; it slides down and fades in when a message arrives and leaves
// the same way.
class RecoveryBanner final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMaximumWidth = 540;

    RecoveryBanner(RecoveryMessage& message, ThemeEngine& theme, QWidget* parent = nullptr);

    QString message() const;
    QToolButton* closeButton() const { return m_close; }
    // Whether the banner is (or is becoming) shown.
    bool isShowing() const { return m_showing; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void follow(bool animate);

    RecoveryMessage& m_message;
    ThemeEngine& m_theme;
    QWidget* m_box;
    QLabel* m_text;
    QToolButton* m_close;
    QGraphicsOpacityEffect* m_fade;
    QVariantAnimation* m_animation;
    bool m_showing = false;
};

} // namespace varno
