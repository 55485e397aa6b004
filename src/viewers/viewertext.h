#pragma once

#include <QString>

namespace Viewers {

// The views' user-visible texts pass through one lookup, so the application can route them
// through its string table (key = English text, the key itself when there is no entry). Set
// it once at start-up, before any view is shown; the default returns the key.
using TextLookup = QString (*)(const QString &key);
void setTextLookup(TextLookup lookup);
QString viewerText(const QString &key);

} // namespace Viewers
