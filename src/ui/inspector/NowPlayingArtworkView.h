#pragma once

#include <QImage>
#include <QWidget>

namespace varno {

class ThemeEngine;

// The shown song's cover as a square as wide as the panel, with the theme's
// corner radius; the "music.note" placeholder while there is none. Main
// thread only.
class NowPlayingArtworkView final : public QWidget {
    Q_OBJECT

public:
    explicit NowPlayingArtworkView(ThemeEngine& theme, QWidget* parent = nullptr);

    const QImage& image() const { return m_image; }
    void setImage(QImage image);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return width; }
    QSize sizeHint() const override { return {240, 240}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    ThemeEngine& m_theme;
    QImage m_image;
    // The cover scaled to the widget once, not at every paint.
    QPixmap m_scaled;
};

} // namespace varno
