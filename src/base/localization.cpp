#include "base/localization.h"

#include <QHash>

namespace {

// English wording where the desktop differs from the keys' own.
const QHash<QString, QString> &stringTable()
{
    static const QHash<QString, QString> table = {
        {"Reveal in Finder", "Show in File Manager"},
        {"Fast macOS text editor", "Fast text editor for Linux"},
        {"scratch.close.prompt", "Do you want to keep this note?"},
        {"scratch.close.info", "It has not been saved under a name yet. If you don't save it, its text will be deleted."},
        {"scratch.close.save", "Save…"},
        {"scratch.close.dontsave", "Don't Save"},
        {"scratch.close.cancel", "Cancel"},
        {"scratch.savepanel.title", "Save Note"},
        // Toolbar help texts name the desktop's shortcuts.
        {"New Window  ⌘N", "New Window  Ctrl+N"},
        {"Save  ⌘S", "Save  Ctrl+S"},
        {"Open  ⌘O", "Open  Ctrl+O"},
        {"Undo  ⌘Z", "Undo  Ctrl+Z"},
        {"Redo  ⇧⌘Z", "Redo  Ctrl+Shift+Z"},
        {"Find  ⌘F", "Find  Ctrl+F"},
    };
    return table;
}

std::string lookUp(const std::string &key)
{
    const auto found = stringTable().constFind(QString::fromStdString(key));
    return found == stringTable().constEnd() ? key : found->toStdString();
}

std::string render(const Base::Message &message)
{
    const std::string format = lookUp(message.key);
    if (message.arguments.empty())
        return format;
    return Base::formatMessage(format, message.arguments, render);
}

} // namespace

QString loc(const char *key)
{
    return QString::fromStdString(lookUp(key));
}

QString loc(const Base::Message &message)
{
    return QString::fromStdString(render(message));
}
