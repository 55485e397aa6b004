#pragma once

#include "highlighting/theme.h"

#include <QPropertyAnimation>
#include "base/timer.h"

#include <QTimer>
#include <QWidget>

namespace App {

// A short message centred at the bottom of the window, 24 pixels above its edge: it slides in
// while fading in, stays `duration` and leaves the same way. Showing another message replaces
// the text and restarts the time. Transparent to the mouse.
class Toast : public QWidget {
    Q_OBJECT
    Q_PROPERTY(qreal presence READ presence WRITE setPresence)

public:
    explicit Toast(QWidget *parent);

    void showMessage(const QString &message);
    QString message() const { return m_message; }
    // True from showMessage until the message has started to leave.
    bool isShowing() const { return m_showing; }
    void setTheme(const Highlighting::Theme &theme);
    void setDuration(int milliseconds) { m_hide.setInterval(milliseconds); }

    qreal presence() const { return m_presence; }
    void setPresence(qreal presence);

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void place();
    void hideMessage();

    QString m_message;
    bool m_showing = false;
    qreal m_presence = 0;
    Base::Timer m_hide;
    QPropertyAnimation m_animation;
    Highlighting::Theme m_theme = Highlighting::Theme::defaultTheme();
};

} // namespace App
