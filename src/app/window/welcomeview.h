#pragma once

#include "app/window/fileassociationssheet.h"

#include "app/services/recentsstore.h"
#include "highlighting/theme.h"

#include "base/timer.h"

#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <chrono>
#include <functional>
#include <optional>

class QAbstractButton;
class QLabel;
class QScrollArea;
class QVBoxLayout;

namespace App {

class RecentRow;
class ScratchNoteRow;
class UpdateChecker;
class WelcomeButton;
class WelcomeIcon;
class WelcomeCornerButton;
class DropOutline;

// What a document window shows while it has no document: the application's icon and name, the
// kinds it edits, New and Open File…, the drop hint, the recent files (live from the shared
// store, so a change in one window shows in all), the gear that asks for the settings sheet and,
// while a newer version is known, the update badge. Each time it appears it lets the update
// checker look (at most every six hours) and, on a profile that never answered the first-run
// sheet, opens that sheet firstRunSheetDelay later. Drags are handled by the window, which
// only tells the screen to draw its drop outline.
class WelcomeView : public QWidget {
    Q_OBJECT

public:
    // The shared objects the screen observes; tests give their own.
    struct Sources {
        RecentsStore *recents = nullptr;  // RecentsStore::shared() when null
        UpdateChecker *updates = nullptr; // UpdateChecker::shared() when null
        QString scratchFolder;            // scratchFolder() when empty
    };
    // Scratch notes listed at most.
    static constexpr int maximumScratchNotes = 10;

    // Tests shorten it.
    static inline std::chrono::milliseconds firstRunSheetDelay{400};
    // How the update badge opens the download page; QDesktopServices::openUrl unless replaced.
    static inline std::function<void(const QUrl &)> openReleasePage;

    explicit WelcomeView(QWidget *parent = nullptr);
    WelcomeView(Sources sources, QWidget *parent = nullptr);

    void setTheme(const Highlighting::Theme &theme);
    const Highlighting::Theme &theme() const { return m_theme; }
    // Draws the dashed drop outline while files are dragged over the window.
    void setDropHighlighted(bool highlighted);
    bool isDropHighlighted() const { return m_dropHighlighted; }

    // Opens the settings sheet of this screen's window, in either mode; the other mode's sheet
    // is replaced.
    void showSheet(SheetKind kind);
    // The sheet open on this screen's window, if any.
    std::optional<SheetKind> activeSheet() const;

    // Parts, for tests and the window.
    QAbstractButton *newButton() const;
    QAbstractButton *openButton() const;
    QAbstractButton *gearButton() const;
    QAbstractButton *updateBadge() const;
    QAbstractButton *clearButton() const;
    QWidget *recentSection() const { return m_recentSection; }
    QWidget *scratchNotesSection() const { return m_notesSection; }
    const QList<ScratchNoteRow *> &scratchNoteRows() const { return m_noteRows; }
    // Reads the scratch folder again (done each time the screen appears).
    void refreshScratchNotes();
    const QList<RecentRow *> &recentRows() const { return m_rows; }
    QLabel *titleLabel() const { return m_title; }
    QLabel *kindsLabel() const { return m_kinds; }
    QLabel *hintLabel() const { return m_hint; }

signals:
    void openRequested();
    void newRequested();
    void recentRequested(const App::RecentEntry &entry);
    // A row of the scratch notes: the note left in the scratch folder (by a crash, or a quit).
    void scratchNoteRequested(const QString &path);
    // The gear: the window shows the settings sheet (showFileAssociationsSheet).
    void settingsRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void build();
    void rebuildRecents();
    void updateBadgeState();
    void placeCorners();
    void showFirstRunSheetIfDue();
    static bool hasPrompted();

    RecentsStore &m_recents;
    UpdateChecker &m_updates;
    Highlighting::Theme m_theme;
    bool m_dropHighlighted = false;
    Base::Timer m_firstRunTimer;

    QScrollArea *m_scroll = nullptr;
    WelcomeIcon *m_icon = nullptr;
    QLabel *m_title = nullptr;
    QLabel *m_kinds = nullptr;
    WelcomeButton *m_new = nullptr;
    WelcomeButton *m_open = nullptr;
    QLabel *m_hint = nullptr;
    QWidget *m_recentSection = nullptr;
    QLabel *m_recentHeader = nullptr;
    WelcomeButton *m_clear = nullptr;
    QVBoxLayout *m_rowsLayout = nullptr;
    QList<RecentRow *> m_rows;
    QString m_scratchFolder;
    QWidget *m_notesSection = nullptr;
    QLabel *m_notesHeader = nullptr;
    QVBoxLayout *m_notesLayout = nullptr;
    QList<ScratchNoteRow *> m_noteRows;
    WelcomeCornerButton *m_badge = nullptr;
    WelcomeCornerButton *m_gear = nullptr;
    DropOutline *m_outline = nullptr;
};

} // namespace App
