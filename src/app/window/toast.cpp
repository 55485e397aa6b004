#include "toast.h"

#include "chrome.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

namespace App {

namespace {
constexpr int bottomMargin = 24;
constexpr int horizontalPadding = 14;
constexpr int verticalPadding = 8;
constexpr int shadow = 8; // Room around the bubble for its shadow.
constexpr int slide = 16;
} // namespace

Toast::Toast(QWidget *parent) : QWidget(parent), m_animation(this, "presence")
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    hide();
    m_hide.setSingleShot(true);
    m_hide.setInterval(1400);
    connect(&m_hide, &Base::Timer::timeout, this, &Toast::hideMessage);
    connect(&m_animation, &QPropertyAnimation::finished, this, [this] {
        if (!m_showing)
            hide();
    });
    parent->installEventFilter(this);
}

void Toast::setTheme(const Highlighting::Theme &theme)
{
    m_theme = theme;
    update();
}

void Toast::showMessage(const QString &message)
{
    m_hide.stop();
    m_message = message;
    m_showing = true;
    place();
    show();
    raise();
    m_animation.stop();
    m_animation.setDuration(150);
    m_animation.setEasingCurve(QEasingCurve::OutCubic);
    m_animation.setStartValue(m_presence);
    m_animation.setEndValue(1.0);
    m_animation.start();
    m_hide.start();
    update();
}

void Toast::hideMessage()
{
    m_showing = false;
    m_animation.stop();
    m_animation.setDuration(200);
    m_animation.setEasingCurve(QEasingCurve::InCubic);
    m_animation.setStartValue(m_presence);
    m_animation.setEndValue(0.0);
    m_animation.start();
}

void Toast::setPresence(qreal presence)
{
    m_presence = presence;
    place();
    update();
}

void Toast::place()
{
    const QFontMetrics metrics(Chrome::font(12, QFont::Medium));
    const QSize bubble(metrics.horizontalAdvance(m_message) + 2 * horizontalPadding,
                       metrics.height() + 2 * verticalPadding);
    const QSize size = bubble + QSize(2 * shadow, 2 * shadow);
    const QWidget *host = parentWidget();
    const int y = host->height() - bottomMargin - bubble.height() - shadow + int((1 - m_presence) * slide);
    setGeometry((host->width() - size.width()) / 2, y, size.width(), size.height());
}

bool Toast::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize && isVisible())
        place();
    return QWidget::eventFilter(watched, event);
}

void Toast::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(m_presence);
    const QRectF bubble = QRectF(rect()).adjusted(shadow, shadow, -shadow, -shadow);
    // A soft shadow: concentric, fainter outlines below the bubble.
    for (int i = shadow; i > 0; --i) {
        QPainterPath ring;
        ring.addRoundedRect(bubble.adjusted(-i, -i + 2, i, i + 2), 8 + i, 8 + i);
        painter.fillPath(ring, QColor(0, 0, 0, int(64.0 / shadow * (shadow - i + 1) / shadow * 2)));
    }
    QPainterPath path;
    path.addRoundedRect(bubble, 8, 8);
    painter.fillPath(path, Chrome::background(m_theme, 0.92));
    painter.setPen(QPen(Chrome::foreground(m_theme, 0.15), 1));
    painter.drawPath(path);
    painter.setFont(Chrome::font(12, QFont::Medium));
    painter.setPen(Chrome::foreground(m_theme));
    painter.drawText(bubble, Qt::AlignCenter, m_message);
}

} // namespace App
