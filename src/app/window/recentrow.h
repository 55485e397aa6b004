#pragma once

#include "app/services/recentsstore.h"
#include "highlighting/theme.h"

#include <QAbstractButton>

namespace App {

class RecentRowRemoveButton;

// One line of the welcome screen's recent files: the kind's symbol, the file's name over its
// folder, and, while the pointer is over the row, a button that removes the entry. The whole
// row is one click target (also Space and Return when it has the focus). Name and folder are
// bounded before they are laid out, and the tooltip holds at most PATH_MAX characters of the path.
class RecentRow : public QAbstractButton {
    Q_OBJECT

public:
    RecentRow(RecentEntry entry, const Highlighting::Theme &theme, QWidget *parent = nullptr);

    const RecentEntry &entry() const { return m_entry; }
    void setTheme(const Highlighting::Theme &theme);
    // The symbol of the file's kind, chosen once from the path's extension.
    QString cachedIcon() const { return m_cachedIcon; }
    bool isHovering() const { return m_hovering; }
    // The folder line as laid out, before eliding to the row's width.
    QString folderText() const { return m_folder; }

    // Characters of a name or folder a row lays out at most: more than the widest row shows,
    // few enough that measuring them costs nothing, whatever the path's length.
    static constexpr qsizetype maximumLaidOutLength = 160;
    // `text` when it is at most `maximum` characters long, else its start and end around "…"
    // (never splitting a surrogate pair), `maximum` characters in all.
    static QString bounded(const QString &text, qsizetype maximum = maximumLaidOutLength);
    QAbstractButton *removeButton() const;

    // The last path component.
    static QString fileName(const QString &path);
    // The path without its last component, with `home` (and everything under it) written as "~".
    static QString displayFolder(const QString &path, const QString &home);
    // The symbol for a file of this path's kind.
    static QString symbolFor(const QString &path);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void openRequested(const App::RecentEntry &entry);
    void removeRequested(const App::RecentEntry &entry);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void setHovering(bool hovering);

    RecentEntry m_entry;
    Highlighting::Theme m_theme;
    QString m_cachedIcon;
    QString m_folder;
    bool m_hovering = false;
    RecentRowRemoveButton *m_remove = nullptr;
};

} // namespace App
