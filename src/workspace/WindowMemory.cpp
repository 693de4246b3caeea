#include "WindowMemory.h"

#include "workspace/StoredPreferenceValues.h"

#include <QStringList>

#include <algorithm>

namespace varno {

const QString WindowMemory::kGeometryKey = QStringLiteral("window.geometry");
const QString WindowMemory::kMaximizedKey = QStringLiteral("window.maximized");
const QString WindowMemory::kScreenKey = QStringLiteral("window.screen");
const QString WindowMemory::kQueueOpenKey = QStringLiteral("workspace.queue.open");
const QString WindowMemory::kSortOrderKeyPrefix = QStringLiteral("songs.sortOrder.");

namespace {

// "x,y,width,height": short, and easy to read and mend by hand.
QString geometryText(const QRect& rect)
{
    return QStringLiteral("%1,%2,%3,%4").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height());
}

std::optional<QRect> geometryFromText(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;
    int numbers[4] = {};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        numbers[i] = parts[i].trimmed().toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    if (numbers[2] <= 0 || numbers[3] <= 0)
        return std::nullopt;
    return QRect(numbers[0], numbers[1], numbers[2], numbers[3]);
}

} // namespace

QRect placeOnScreen(const WindowPlacement& wanted, const QList<ScreenArea>& screens, const QString& primary, QSize minimumSize)
{
    if (screens.isEmpty())
        return wanted.normalGeometry;
    const auto named = [&screens](const QString& name) {
        return std::find_if(screens.begin(), screens.end(), [&name](const ScreenArea& screen) { return screen.name == name; });
    };
    auto screen = named(wanted.screenName);
    if (wanted.screenName.isEmpty() || screen == screens.end())
        screen = named(primary);
    if (screen == screens.end())
        screen = screens.begin();
    const QRect area = screen->available;

    QRect placed = wanted.normalGeometry;
    placed.setWidth(std::max(minimumSize.width(), std::min(placed.width(), area.width())));
    placed.setHeight(std::max(minimumSize.height(), std::min(placed.height(), area.height())));
    if (!placed.intersects(area)) {
        placed.moveCenter(area.center());
        return placed;
    }
    // Moved, not shrunk, back inside: the right and bottom edges first, so
    // a window larger than the screen keeps its top left corner in view.
    if (placed.right() > area.right())
        placed.moveRight(area.right());
    if (placed.bottom() > area.bottom())
        placed.moveBottom(area.bottom());
    if (placed.left() < area.left())
        placed.moveLeft(area.left());
    if (placed.top() < area.top())
        placed.moveTop(area.top());
    return placed;
}

WindowMemory::WindowMemory(PreferencesStore& defaults, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_placement(loadPlacement())
    , m_queueOpen(storedBool(defaults.typedValue(kQueueOpenKey).value_or(QVariant())).value_or(false))
{
}

std::optional<WindowPlacement> WindowMemory::loadPlacement() const
{
    const std::optional<QVariant> geometry = m_defaults.typedValue(kGeometryKey);
    if (!geometry)
        return std::nullopt;
    // The settings file reads a list wherever it finds unquoted commas, so
    // one mended by hand may come back as four strings.
    std::optional<QRect> rect;
    if (geometry->typeId() == QMetaType::QString)
        rect = geometryFromText(geometry->toString());
    else if (geometry->typeId() == QMetaType::QStringList)
        rect = geometryFromText(geometry->toStringList().join(QLatin1Char(',')));
    if (!rect)
        return std::nullopt;
    WindowPlacement placement;
    placement.normalGeometry = *rect;
    placement.isMaximized = storedBool(m_defaults.typedValue(kMaximizedKey).value_or(QVariant())).value_or(false);
    const QVariant screen = m_defaults.typedValue(kScreenKey).value_or(QVariant());
    if (screen.typeId() == QMetaType::QString)
        placement.screenName = screen.toString();
    return placement;
}

void WindowMemory::setPlacement(const WindowPlacement& placement)
{
    if (m_placement == placement || !placement.normalGeometry.isValid())
        return;
    m_placement = placement;
    m_defaults.setTypedValue(kGeometryKey, geometryText(placement.normalGeometry));
    m_defaults.setTypedValue(kMaximizedKey, placement.isMaximized);
    m_defaults.setTypedValue(kScreenKey, placement.screenName);
}

void WindowMemory::setQueueOpen(bool open)
{
    if (open == m_queueOpen)
        return;
    m_queueOpen = open;
    m_defaults.setTypedValue(kQueueOpenKey, open);
}

std::optional<TrackSortOrder> WindowMemory::sortOrder(const QString& screen) const
{
    const std::optional<QVariant> stored = m_defaults.typedValue(kSortOrderKeyPrefix + screen);
    if (!stored || stored->typeId() != QMetaType::QString)
        return std::nullopt;
    return sortOrderFromText(stored->toString());
}

void WindowMemory::setSortOrder(const QString& screen, const TrackSortOrder& order)
{
    if (screen.isEmpty())
        return;
    const QString key = kSortOrderKeyPrefix + screen;
    const QString text = sortOrderText(order);
    if (m_defaults.typedValue(key) == std::optional<QVariant>(text))
        return;
    m_defaults.setTypedValue(key, text);
}

QString WindowMemory::sortOrderText(const TrackSortOrder& order)
{
    if (order.asListed)
        return QStringLiteral("listed");
    return rawValue(order.field) + (order.ascending ? QStringLiteral(" ascending") : QStringLiteral(" descending"));
}

std::optional<TrackSortOrder> WindowMemory::sortOrderFromText(const QString& text)
{
    const QStringList words = text.simplified().split(QLatin1Char(' '));
    if (words == QStringList {QStringLiteral("listed")})
        return TrackSortOrder::listed();
    if (words.size() != 2)
        return std::nullopt;
    const std::optional<TrackTableColumnID> column = trackTableColumnFromRawValue(words[0].toStdString());
    if (!column)
        return std::nullopt;
    TrackSortOrder order;
    order.field = sortFieldOf(*column);
    if (words[1] == QLatin1String("ascending"))
        order.ascending = true;
    else if (words[1] == QLatin1String("descending"))
        order.ascending = false;
    else
        return std::nullopt;
    return order;
}

} // namespace varno
