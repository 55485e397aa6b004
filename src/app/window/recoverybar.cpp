#include "recoverybar.h"

#include "chrome.h"

#include "base/localization.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>

#include <utility>

namespace App {

RecoveryBar::RecoveryBar(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("recoveryBar"));
    setAutoFillBackground(true);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(12, 8, 12, 8);
    row->setSpacing(10);
    m_label = new QLabel(this);
    m_label->setWordWrap(true);
    m_label->setTextFormat(Qt::PlainText);
    m_label->setFont(Chrome::font(12));
    m_recover = new QPushButton(loc("Recover"), this);
    m_recover->setObjectName(QStringLiteral("recoverButton"));
    m_recover->setAccessibleName(loc("Recover"));
    m_discard = new QPushButton(loc("Discard"), this);
    m_discard->setObjectName(QStringLiteral("discardButton"));
    m_discard->setAccessibleName(loc("Discard"));
    row->addWidget(m_label, 1);
    row->addWidget(m_recover);
    row->addWidget(m_discard);
    setTabOrder(m_recover, m_discard);
    connect(m_recover, &QPushButton::clicked, this, &RecoveryBar::recoverRequested);
    connect(m_discard, &QPushButton::clicked, this, &RecoveryBar::discardRequested);
    // Shortcuts of their own rather than mnemonics: a mnemonic clicks 100 ms later, after keys
    // typed right behind it (Alt+R, then Ctrl+Q) have been handled.
    for (const auto &[key, button] : {std::pair{Qt::ALT | Qt::Key_R, m_recover}, std::pair{Qt::ALT | Qt::Key_D, m_discard}}) {
        auto *shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, button, &QPushButton::click);
        button->setToolTip(QKeySequence(key).toString(QKeySequence::NativeText));
    }
}

void RecoveryBar::setMessage(const QString &message)
{
    m_label->setText(message);
    setAccessibleDescription(message);
}

QString RecoveryBar::message() const
{
    return m_label->text();
}

void RecoveryBar::setTheme(const Highlighting::Theme &theme)
{
    QPalette colours = palette();
    // Opaque: the bar sits over the editor's own background.
    const QColor back = Chrome::background(theme);
    const QColor fore = Chrome::foreground(theme);
    const auto mix = [](int a, int b) { return int(a * 0.9 + b * 0.1); };
    colours.setColor(QPalette::Window,
                     QColor(mix(back.red(), fore.red()), mix(back.green(), fore.green()), mix(back.blue(), fore.blue())));
    colours.setColor(QPalette::WindowText, Chrome::foreground(theme, 0.9));
    setPalette(colours);
}

} // namespace App
