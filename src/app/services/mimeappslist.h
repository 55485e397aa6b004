#pragma once

#include "app/services/fileassociations.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace App {

// The default applications of the freedesktop, in the `[Default Applications]` group of a
// mimeapps.list file. Setting a default puts the desktop id first in the type's list (once) and
// leaves every other byte of the file as it was: other groups, entries, comments, blank lines,
// line endings. The file is replaced atomically, keeping its owner, group and mode (a symbolic
// link stays one, its target is written), and only when its contents change. It is read only
// when it is a regular file of at most StateFile::maximumSize (1 MiB): a pipe, a device or a
// larger file reads as no file, and, like a file that exists but cannot be read, is never
// written; nor is a file whose owner has no write permission. In a batch the file is read and
// parsed once, and written once at its end.
class MimeAppsList final : public DefaultHandlerRegistry {
public:
    // The user's file: $XDG_CONFIG_HOME/mimeapps.list, ~/.config/mimeapps.list by default.
    static QString defaultPath();

    explicit MimeAppsList(QString path = defaultPath());
    ~MimeAppsList() override;
    MimeAppsList(const MimeAppsList &) = delete;
    MimeAppsList &operator=(const MimeAppsList &) = delete;

    QString path() const { return m_path; }

    // `role` is not looked at: the file holds one default per type.
    bool setDefaultHandler(const QString &contentType, HandlerRole role, const QString &desktopId) override;
    // The first desktop id listed for `contentType`.
    std::optional<QString> defaultHandler(const QString &contentType) const override;
    void beginBatch() override;
    bool endBatch() override;

    // The edit itself, on the file's bytes.
    static QByteArray withDefaultHandler(const QByteArray &file, const QString &contentType, const QString &desktopId);
    static std::optional<QString> defaultHandlerIn(const QByteArray &file, const QString &contentType);

private:
    // The file as read: whether it may be edited, and its parsed text.
    struct Loaded;
    Loaded load() const;
    bool save(const Loaded &loaded) const;

    QString m_path;
    std::unique_ptr<Loaded> m_batch; // while a batch runs
};

} // namespace App
