#pragma once

#include <QColor>
#include <QString>

class QPainter;
class QRect;

namespace Viewers::Internal {

enum class EmptyStateIcon { TableCells, CurlyBraces };

// The centred panel shown instead of content: a large outline icon over a title, both in
// `color` (the title wraps within the panel).
void paintEmptyState(QPainter &painter, const QRect &area, EmptyStateIcon icon, const QString &title,
                     const QColor &color);

} // namespace Viewers::Internal
