#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace App {

// One file type the application can become the default for.
struct FileAssociationType {
    QString id;               // stable key of the selection and the snapshot
    QString label;            // shown in the list, through loc
    QStringList contentTypes; // MIME types to register; more than one when the type has aliases
    QStringList extensions;   // without the full stop, as shown under the label
    // The desktop hands every subtype of a MIME type to its default application (all of
    // text/plain's: scripts, HTML; all of application/xml's: SVG, XHTML), so the broad types are
    // offered unchecked, with `caveat` saying why.
    bool preselected = true;
    QString caveat;
};

// The roles a default handler is registered for, with the values the macOS call takes. On the
// freedesktop there is one default application per MIME type, so the roles meet in one entry.
enum class HandlerRole : quint32 { Viewer = 2, Editor = 4, All = 0xFFFFFFFF };

// Where the system keeps the default application of each content type.
class DefaultHandlerRegistry {
public:
    virtual ~DefaultHandlerRegistry() = default;
    // Makes `desktopId` the default application of `contentType` for `role`; true on success
    // (also when it already was).
    virtual bool setDefaultHandler(const QString &contentType, HandlerRole role, const QString &desktopId) = 0;
    // The desktop id of the default application of `contentType`, nothing when there is none.
    virtual std::optional<QString> defaultHandler(const QString &contentType) const = 0;

    // Brackets many setDefaultHandler calls, so that a registry may read its store once at the
    // start and write it once at the end. endBatch says whether what was held could be written;
    // when it could not, the calls made in between did not take, whatever they returned.
    virtual void beginBatch() {}
    virtual bool endBatch() { return true; }
};

// The file types of the associations sheet and their registration.
class FileAssociations {
public:
    FileAssociations() = delete;

    // The application's desktop id, to register and to recognise itself.
    static inline const QString desktopId = QStringLiteral("app.corvane.editor.desktop");
    // True once the first-run sheet was left through Apply or its cancel button.
    static inline const QString hasPromptedKey = QStringLiteral("fileAssociations.hasPrompted.v1");

    // The ten types in display order: json, ndjson, csv, txt, markdown, yaml, toml, xml, plist, log.
    static const QList<FileAssociationType> &all();
    // The ids of all() checked when the first-run sheet opens: all but the broad types.
    static QSet<QString> preselected();

    // Registers the application for each row of all() whose id is in `ids`: for every content
    // type of the row, as editor, then viewer, then for all roles, all three whatever the
    // others returned, all in one batch of the registry. Returns how many rows succeeded in at
    // least one role (a role succeeds when every content type of the row took it), none when the
    // batch could not be written. The registry is the user's mimeapps.list unless one is given.
    static int apply(const QSet<QString> &ids);
    static int apply(const QSet<QString> &ids, DefaultHandlerRegistry &registry);

    // For every row of all(): whether this application already is the default for each of its
    // content types (desktop ids compared without regard to case).
    static QHash<QString, bool> snapshot();
    static QHash<QString, bool> snapshot(const DefaultHandlerRegistry &registry);
};

} // namespace App
