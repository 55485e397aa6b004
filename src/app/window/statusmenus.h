#pragma once

#include "formatting/validationlist.h"

#include "documents/document.h"

#include "highlighting/theme.h"

#include "textview/indentation.h"

#include <QString>

#include <functional>

class QFrame;
class QMenu;
class QWidget;

// The menus and popups the status bar's items open, built for a document and wired to what the
// caller does with a choice. Each is deleted when it closes. Main thread only.
namespace App::StatusMenus {

// A themed popup of `parent`'s window with a column layout of `margin` pixels.
QFrame *popup(QWidget *parent, const char *name, int margin, const Highlighting::Theme &theme);

// "Reopen with Encoding" (every encoding, the current one checked) and "Save with Encoding"
// (what a file can be saved in, each with the mark it is written with).
QMenu *encodingMenu(QWidget *parent, const Documents::LoadedDoc &doc,
                    std::function<void(Documents::Encoding)> reopen,
                    std::function<void(Documents::Encoding, bool withBOM)> saveWith);
// The same choices filled into an existing menu (the menu bar's submenus), replacing its items.
void fillReopenMenu(QMenu *menu, const Documents::LoadedDoc &doc, std::function<void(Documents::Encoding)> reopen);
void fillSaveMenu(QMenu *menu, const Documents::LoadedDoc &doc,
                  std::function<void(Documents::Encoding, bool withBOM)> saveWith);
void fillLineEndingMenu(QMenu *menu, Documents::LineEnding current, std::function<void(Documents::LineEnding)> choose);
// LF, CRLF, CR, the current one checked.
QMenu *lineEndingMenu(QWidget *parent, Documents::LineEnding current,
                      std::function<void(Documents::LineEnding)> choose);

// "Spaces: 4" or "Tab", as the status bar shows the indentation.
QString indentationLabel(TextView::IndentStyle style);
// Tabs (left out where tabs are not allowed), 2, 4 or 8 spaces, the current one checked, then
// Convert Indentation. Filled into an existing menu (the View menu's), or a new one.
void fillIndentationMenu(QMenu *menu, TextView::IndentStyle current, bool tabsAllowed,
                         std::function<void(TextView::IndentStyle)> choose, std::function<void()> convert);
QMenu *indentationMenu(QWidget *parent, TextView::IndentStyle current, bool tabsAllowed,
                       std::function<void(TextView::IndentStyle)> choose, std::function<void()> convert);

// Every error of the last check, one a row ("Line 4, Col 2  message"), as wide as its messages
// (at most `maximumWidth`); activating a row with a line closes the list and goes there.
QFrame *errorList(QWidget *parent, const Formatting::ValidationList &errors, int maximumWidth,
                  const Highlighting::Theme &theme, std::function<void(long long line)> goTo);

} // namespace App::StatusMenus
