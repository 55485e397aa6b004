#pragma once

#include "highlighting/theme.h"

#include <QAbstractButton>
#include <QDateTime>

namespace App {

// One line of the welcome screen's scratch notes: the note's first line over when it was last
// changed. The whole row is one click target, reached with Tab like the recent files and
// opened with Space or Return.
class ScratchNoteRow : public QAbstractButton {
    Q_OBJECT

public:
    ScratchNoteRow(QString path, QString title, QDateTime modified, const Highlighting::Theme &theme,
                   QWidget *parent = nullptr);

    const QString &path() const { return m_path; }
    // The first line, or "Empty first line" when the note starts with blank lines only.
    QString title() const { return text(); }
    QString timeText() const { return m_time; }
    void setTheme(const Highlighting::Theme &theme);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void openRequested(const QString &path);

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QString m_path;
    QString m_time;
    Highlighting::Theme m_theme;
    bool m_hovering = false;
};

} // namespace App
