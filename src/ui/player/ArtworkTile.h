#pragma once

#include <QPixmap>
#include <QWidget>

namespace varno {

// A square picture with rounded corners, or, while there is none, a symbol
// on a faint tile of the same size.
class ArtworkTile final : public QWidget {
    Q_OBJECT

public:
    ArtworkTile(int side, QString fallbackSymbol, QWidget* parent = nullptr);

    // A null image shows the symbol.
    void setImage(const QImage& image);
    bool hasImage() const { return !m_picture.isNull(); }
    QString fallbackSymbol() const { return m_symbol; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_side;
    QString m_symbol;
    QPixmap m_picture;
};

} // namespace varno
