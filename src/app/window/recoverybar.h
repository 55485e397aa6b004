#pragma once

#include "highlighting/theme.h"

#include <QFrame>

class QLabel;
class QPushButton;

namespace App {

// The question over a document whose text came back from a recovery journal: what the journal
// holds, and "Recover" (keep it as unsaved edits) or "Discard" (the file as it is on disk).
// Alt+R and Alt+D reach the buttons from anywhere in the window; Tab moves between them.
class RecoveryBar : public QFrame {
    Q_OBJECT

public:
    explicit RecoveryBar(QWidget *parent = nullptr);

    void setMessage(const QString &message);
    QString message() const;
    void setTheme(const Highlighting::Theme &theme);
    QPushButton *recoverButton() const { return m_recover; }
    QPushButton *discardButton() const { return m_discard; }

signals:
    void recoverRequested();
    void discardRequested();

private:
    QLabel *m_label = nullptr;
    QPushButton *m_recover = nullptr;
    QPushButton *m_discard = nullptr;
};

} // namespace App
