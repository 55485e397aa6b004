#include "stgutterview.h"

#include "stextview.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

STGutterView::STGutterView(STTextView *view)
    : QWidget(view), m_view(view)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void STGutterView::setTextColor(const QColor &color)
{
    m_textColor = color;
    update();
}

void STGutterView::setBackgroundColor(const QColor &color)
{
    m_backgroundColor = color;
    update();
}

int STGutterView::preferredWidth() const
{
    int digits = 1;
    for (std::size_t count = std::max<std::size_t>(m_view->textContentManager().lineCount(), 10); count >= 10; count /= 10)
        ++digits;
    const QFontMetricsF metrics(font());
    return int(std::ceil(metrics.horizontalAdvance(QLatin1Char('9')) * std::max(digits, 2) + 20));
}

void STGutterView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        m_view->updateViewportMargins();
}

void STGutterView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), m_backgroundColor);
    painter.setFont(font());
    const QFontMetricsF textMetrics(m_view->font());
    const QFontMetricsF numberMetrics(font());
    const int rowHeight = m_view->rowHeight();
    // Numbers sit on the baseline of the first row of their line.
    const qreal baseline = (rowHeight - textMetrics.height()) / 2 + textMetrics.ascent();
    const std::size_t caretLine = m_view->textContentManager().lineAt(m_view->caretPosition());
    QColor current = m_textColor;
    current.setAlphaF(std::min<float>(1.0f, m_textColor.alphaF() * 2.2f));
    const qreal right = width() - 10;
    for (const STTextView::VisibleLine &visible : m_view->visibleLines()) {
        if (visible.y > event->rect().bottom() || visible.y + rowHeight < event->rect().top())
            continue;
        const QString number = QString::number(qulonglong(visible.line + 1));
        painter.setPen(visible.line == caretLine ? current : m_textColor);
        painter.drawText(QPointF(right - numberMetrics.horizontalAdvance(number), visible.y + baseline), number);
    }
}

void STGutterView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_view->isSelectable())
        return;
    m_view->setFocus(Qt::MouseFocusReason);
    const std::size_t position = m_view->positionAt(QPoint(0, int(event->position().y())));
    const TextView::TextRange line = m_view->lineRangeWithBreak(position);
    if (event->modifiers() & Qt::ShiftModifier) {
        const TextView::TextRange anchor = m_view->lineRangeWithBreak(m_view->m_anchor);
        m_view->m_granularAnchor = anchor;
    } else {
        m_view->m_granularAnchor = line;
    }
    m_view->m_granularity = STTextView::Granularity::Line;
    m_view->extendMouseSelection(position);
}

void STGutterView::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton) || m_view->m_granularity != STTextView::Granularity::Line)
        return;
    const int y = std::clamp(int(event->position().y()), 0, std::max(0, height() - 1));
    m_view->extendMouseSelection(m_view->positionAt(QPoint(0, y)));
    m_view->ensureCaretVisible();
}

void STGutterView::mouseReleaseEvent(QMouseEvent *)
{
    m_view->m_granularity = STTextView::Granularity::Character;
}
