#include "stgutterview.h"

#include "stextview.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

STGutterView::STGutterView(STTextView *view)
    : QWidget(view), m_view(view)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

int STGutterView::preferredWidth() const
{
    int digits = 1;
    for (std::size_t count = std::max<std::size_t>(m_view->textContentManager().lineCount(), 10); count >= 10; count /= 10)
        ++digits;
    const QFontMetricsF metrics(font());
    return int(std::ceil(metrics.horizontalAdvance(QLatin1Char('9')) * std::max(digits, 2) + 20));
}

void STGutterView::paintEvent(QPaintEvent *event)
{
    const STTextViewStyle &style = m_view->textViewStyle();
    QPainter painter(this);
    painter.fillRect(event->rect(), style.background);
    painter.setFont(font());
    const QFontMetricsF textMetrics(m_view->font());
    const QFontMetricsF numberMetrics(font());
    const int rowHeight = m_view->rowHeight();
    // Numbers sit on the baseline of the first row of their line.
    const qreal baseline = (rowHeight - textMetrics.height()) / 2 + textMetrics.ascent();
    const std::size_t caretLine = m_view->textContentManager().lineAt(m_view->caretPosition());
    QColor current = style.lineNumbers;
    current.setAlphaF(std::min<float>(1.0f, style.lineNumbers.alphaF() * 2.2f));
    const qreal right = width() - 10;
    for (const STTextView::VisibleLine &visible : m_view->visibleLines()) {
        if (visible.y > event->rect().bottom() || visible.y + rowHeight < event->rect().top())
            continue;
        const QString number = QString::number(qulonglong(visible.line + 1));
        painter.setPen(visible.line == caretLine ? current : style.lineNumbers);
        painter.drawText(QPointF(right - numberMetrics.horizontalAdvance(number), visible.y + baseline), number);
    }
}

std::size_t STGutterView::lineAt(int y) const
{
    // The gutter's rows line up with the view's viewport.
    return m_view->textContentManager().lineAt(m_view->positionAt(QPoint(0, y)));
}

void STGutterView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_view->isSelectable())
        return;
    m_view->setFocus(Qt::MouseFocusReason);
    const std::size_t line = lineAt(int(event->position().y()));
    m_anchorLine = (event->modifiers() & Qt::ShiftModifier) ? m_view->textContentManager().lineAt(m_view->anchorPosition())
                                                            : line;
    m_view->selectLines(*m_anchorLine, line);
}

void STGutterView::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton) || !m_anchorLine)
        return;
    const int y = std::clamp(int(event->position().y()), 0, std::max(0, height() - 1));
    m_view->selectLines(*m_anchorLine, lineAt(y));
    m_view->scrollRangeToVisible({m_view->caretPosition(), 0});
}

void STGutterView::mouseReleaseEvent(QMouseEvent *)
{
    m_anchorLine.reset();
}
