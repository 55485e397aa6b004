#include "segmentedpicker.h"

#include "chrome.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace App {

namespace {
constexpr int pickerHeight = 22;
}

SegmentedPicker::SegmentedPicker(const QStringList &labels, int width, QWidget *parent)
    : QWidget(parent), m_labels(labels), m_width(width)
{
    setFixedSize(width, pickerHeight);
    setFocusPolicy(Qt::TabFocus);
    setAccessibleName(labels.join(QLatin1Char('/')));
}

QSize SegmentedPicker::sizeHint() const
{
    return {m_width, pickerHeight};
}

void SegmentedPicker::setCurrentIndex(int index)
{
    if (index < 0 || index >= m_labels.size() || index == m_current)
        return;
    m_current = index;
    update();
}

void SegmentedPicker::setTheme(const Highlighting::Theme &theme)
{
    m_theme = theme;
    update();
}

QRect SegmentedPicker::segmentRect(int index) const
{
    const int count = std::max<int>(1, int(m_labels.size()));
    const int left = width() * index / count;
    const int right = width() * (index + 1) / count;
    return QRect(left, 0, right - left, pickerHeight);
}

void SegmentedPicker::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath track;
    track.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    painter.fillPath(track, Chrome::foreground(m_theme, 0.08));
    const QRectF selected = QRectF(segmentRect(m_current)).adjusted(2, 2, -2, -2);
    QPainterPath knob;
    knob.addRoundedRect(selected, 4.5, 4.5);
    painter.fillPath(knob, m_theme.isDark() ? Chrome::foreground(m_theme, 0.2) : Chrome::background(m_theme));
    if (!m_theme.isDark()) {
        painter.setPen(QPen(Chrome::foreground(m_theme, 0.12), 1));
        painter.drawPath(knob);
    }
    for (int i = 0; i < m_labels.size(); ++i) {
        painter.setFont(Chrome::font(11, i == m_current ? QFont::DemiBold : QFont::Normal));
        painter.setPen(Chrome::foreground(m_theme, i == m_current ? 0.95 : 0.65));
        painter.drawText(segmentRect(i), Qt::AlignCenter, m_labels[i]);
        if (i > 0 && i != m_current && i - 1 != m_current) {
            const int x = segmentRect(i).left();
            painter.setPen(QPen(Chrome::foreground(m_theme, 0.15), 1));
            painter.drawLine(QPointF(x + 0.5, 5), QPointF(x + 0.5, pickerHeight - 5));
        }
    }
    if (hasFocus()) {
        painter.setPen(QPen(Chrome::foreground(m_theme, 0.5), 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(track);
    }
}

void SegmentedPicker::choose(int index)
{
    if (index < 0 || index >= m_labels.size())
        return;
    const bool changed = index != m_current;
    m_current = index;
    update();
    if (changed)
        emit activated(index);
}

void SegmentedPicker::mousePressEvent(QMouseEvent *event)
{
    for (int i = 0; i < m_labels.size(); ++i)
        if (segmentRect(i).contains(event->position().toPoint()))
            choose(i);
}

void SegmentedPicker::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Left)
        choose(m_current - 1);
    else if (event->key() == Qt::Key_Right)
        choose(m_current + 1);
    else
        QWidget::keyPressEvent(event);
}

} // namespace App
