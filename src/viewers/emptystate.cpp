#include "viewers/emptystate_p.h"
#include "viewers/viewertext.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>

namespace Viewers {

namespace {
TextLookup g_lookup = nullptr;
}

void setTextLookup(TextLookup lookup) { g_lookup = lookup; }

QString viewerText(const QString &key) { return g_lookup ? g_lookup(key) : key; }

namespace Internal {

void paintEmptyState(QPainter &painter, const QRect &area, EmptyStateIcon icon, const QString &title,
                     const QColor &color)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const int iconSize = 40;
    QFont titleFont = QApplication::font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    titleFont.setWeight(QFont::DemiBold);
    const QFontMetrics metrics(titleFont);
    const int textWidth = std::max(80, std::min(area.width() - 40, 520));
    const QRect textBounds = metrics.boundingRect(QRect(0, 0, textWidth, 10000), Qt::AlignHCenter | Qt::TextWordWrap, title);
    const int total = iconSize + 14 + textBounds.height();
    const int top = area.top() + std::max(8, (area.height() - total) / 2);
    const QRectF iconRect(area.center().x() - iconSize / 2.0, top, iconSize, iconSize * 0.8);

    QPen pen(color, 2.2);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    if (icon == EmptyStateIcon::TableCells) {
        painter.drawRoundedRect(iconRect, 5, 5);
        const qreal row = iconRect.height() / 3;
        painter.drawLine(QPointF(iconRect.left(), iconRect.top() + row), QPointF(iconRect.right(), iconRect.top() + row));
        painter.drawLine(QPointF(iconRect.left(), iconRect.top() + 2 * row),
                         QPointF(iconRect.right(), iconRect.top() + 2 * row));
        painter.drawLine(QPointF(iconRect.center().x(), iconRect.top()), QPointF(iconRect.center().x(), iconRect.bottom()));
    } else {
        // Two braces drawn as paths, so the symbol does not depend on a font.
        const qreal h = iconRect.height();
        const qreal w = h * 0.32;
        auto brace = [&](qreal x, qreal direction) {
            QPainterPath path;
            const qreal t = iconRect.top();
            path.moveTo(x + direction * w, t);
            path.quadTo(x, t, x, t + h * 0.18);
            path.lineTo(x, t + h * 0.36);
            path.quadTo(x, t + h * 0.5, x - direction * w * 0.8, t + h * 0.5);
            path.quadTo(x, t + h * 0.5, x, t + h * 0.64);
            path.lineTo(x, t + h * 0.82);
            path.quadTo(x, t + h, x + direction * w, t + h);
            painter.drawPath(path);
        };
        brace(iconRect.center().x() - h * 0.28, 1);
        brace(iconRect.center().x() + h * 0.28, -1);
    }

    painter.setFont(titleFont);
    painter.setPen(color);
    painter.drawText(QRect(area.center().x() - textWidth / 2, int(iconRect.bottom()) + 14, textWidth,
                           textBounds.height()),
                     Qt::AlignHCenter | Qt::TextWordWrap, title);
    painter.restore();
}

} // namespace Internal
} // namespace Viewers
