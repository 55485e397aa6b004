#pragma once

#include "documents/document.h"
#include "documents/textcodec.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <optional>

class QFileDialog;
class QWidget;

namespace App {

// The file panels of one window: Open, Save (a copy of the document written where the user
// chooses) and New File (an empty file created there). One at a time; each is window-modal and
// deleted when it closes. What becomes of a choice is the window's: it hears it as a signal.
class DocumentPanels : public QObject {
    Q_OBJECT

public:
    enum class Purpose { SaveAs, NewFile };

    explicit DocumentPanels(QWidget *host);

    // Saving starts on the Desktop when there is one; empty otherwise.
    static QString defaultSaveDirectory();
    // The panel while one is shown.
    QFileDialog *panel() const { return m_panel; }

    // Each does nothing while a panel is shown and returns the panel it opened, else null.
    // Open starts in `doc`'s folder, else the last file's.
    QFileDialog *showOpen(const std::optional<Documents::LoadedDoc> &doc, const QString &lastOpenPath);
    // Writes `document` (as `doc` is saved) under the name the user picks.
    QFileDialog *showSaveAs(const std::optional<Documents::LoadedDoc> &doc, Documents::TextDoc document);
    QFileDialog *showNewFile();

signals:
    void openChosen(const QStringList &paths);
    // The document (or the new empty file) is on disk at `path`.
    void written(const QString &path, App::DocumentPanels::Purpose purpose);
    void writeFailed(const QString &message);

private:
    QFileDialog *make(const QString &title, bool saving, const QString &filter);
    void write(const QString &path, const Documents::TextDoc &document, Purpose purpose);

    QWidget *m_host;
    QPointer<QFileDialog> m_panel;
};

} // namespace App
