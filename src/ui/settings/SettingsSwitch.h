#pragma once

#include <QAbstractButton>

namespace varno {

// A labelled on/off switch: the title on the left, a sliding knob on the
// right, drawn in the accent while on. Main thread only.
class SettingsSwitch final : public QAbstractButton {
    Q_OBJECT

public:
    explicit SettingsSwitch(const QString& title, QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace varno
