#include "welcomeplaceholder.h"

#include "chrome.h"

#include "base/localization.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace App {

WelcomePlaceholder::WelcomePlaceholder(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->addStretch(1);
    m_title = new QLabel(QStringLiteral("Corvane"), this);
    m_title->setFont(Chrome::font(22, QFont::DemiBold));
    m_title->setAlignment(Qt::AlignCenter);
    m_hint = new QLabel(loc("Open a file or drop one here."), this);
    m_hint->setFont(Chrome::font(13));
    m_hint->setAlignment(Qt::AlignCenter);
    m_open = new QPushButton(loc("Open…"), this);
    m_open->setFixedWidth(140);
    m_open->setCursor(Qt::PointingHandCursor);
    layout->addWidget(m_title);
    layout->addSpacing(6);
    layout->addWidget(m_hint);
    layout->addSpacing(14);
    layout->addWidget(m_open, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    connect(m_open, &QPushButton::clicked, this, &WelcomePlaceholder::openRequested);
}

void WelcomePlaceholder::setTheme(const Highlighting::Theme &theme)
{
    m_theme = theme;
    Chrome::applyPalette(this, theme);
    QPalette hint = m_hint->palette();
    hint.setColor(QPalette::WindowText, Chrome::foreground(theme, 0.6));
    m_hint->setPalette(hint);
    update();
}

void WelcomePlaceholder::setDropHighlighted(bool highlighted)
{
    m_dropHighlighted = highlighted;
    update();
}

void WelcomePlaceholder::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Chrome::background(m_theme));
    if (!m_dropHighlighted)
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(Chrome::foreground(m_theme, 0.45), 2, Qt::DashLine);
    painter.setPen(pen);
    painter.drawRoundedRect(QRectF(rect()).adjusted(16, 16, -16, -16), 12, 12);
}

} // namespace App
