#pragma once

#include <QString>

namespace App {

// Asks the desktop's file manager (org.freedesktop.FileManager1 on the session bus) to show
// `path` selected in its folder. False when no file manager answered within `timeoutMs`.
bool showInFileManager(const QString &path, int timeoutMs = 2000);

} // namespace App
