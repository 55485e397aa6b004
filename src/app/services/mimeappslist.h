#pragma once

#include "app/services/fileassociations.h"

#include <QByteArray>
#include <QString>

namespace App {

// The default applications of the freedesktop, in the `[Default Applications]` group of a
// mimeapps.list file. Setting a default puts the desktop id first in the type's list (once) and
// leaves every other byte of the file as it was: other groups, entries, comments, blank lines,
// line endings. The file is replaced atomically (a symbolic link stays one, its target is
// written) and only when its contents change. A file that exists but cannot be read is never
// written.
class MimeAppsList final : public DefaultHandlerRegistry {
public:
    // The user's file: $XDG_CONFIG_HOME/mimeapps.list, ~/.config/mimeapps.list by default.
    static QString defaultPath();

    explicit MimeAppsList(QString path = defaultPath());

    QString path() const { return m_path; }

    // `role` is not looked at: the file holds one default per type.
    bool setDefaultHandler(const QString &contentType, HandlerRole role, const QString &desktopId) override;
    // The first desktop id listed for `contentType`.
    std::optional<QString> defaultHandler(const QString &contentType) const override;

    // The edit itself, on the file's bytes.
    static QByteArray withDefaultHandler(const QByteArray &file, const QString &contentType, const QString &desktopId);
    static std::optional<QString> defaultHandlerIn(const QByteArray &file, const QString &contentType);

private:
    QString m_path;
};

} // namespace App
