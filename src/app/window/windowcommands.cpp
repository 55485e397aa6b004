#include "windowcommands.h"

#include "contentview.h"
#include "windowsession.h"

namespace App {

WindowCommands::WindowCommands(ContentView &view)
{
    auto &center = NotificationCenter::defaultCenter();
    ContentView *target = &view;
    const auto observe = [&](const QString &name, std::function<void(const QVariant &)> handler) {
        m_tokens.push_back(center.addObserver(name, target, std::move(handler)));
    };
    const auto keyOnly = [target](std::function<void(const QVariant &)> handler) {
        return [target, handler = std::move(handler)](const QVariant &object) {
            if (target->isKeyWindow())
                handler(object);
        };
    };
    observe(Notifications::openFile, keyOnly([target](const QVariant &) { target->showOpenPanel(); }));
    observe(Notifications::saveFile, keyOnly([target](const QVariant &) { target->showSaveAsPanel(); }));
    observe(Notifications::newFile, keyOnly([target](const QVariant &) {
                if (target->saveIfDirty(SaveReason::BeforeLeaving))
                    target->showNewFilePanel();
                else
                    target->askAboutUnsavedEdits(LeaveReason::Opening, [target] { target->showNewFilePanel(); });
            }));
    observe(Notifications::loadFile, keyOnly([target](const QVariant &object) {
                const QString path = object.toString();
                if (path.isEmpty())
                    return;
                WindowSession::shared().pendingExternalURLs.removeAll(path);
                target->openFile(path);
            }));
    observe(Notifications::goToLine, keyOnly([target](const QVariant &) { target->showGoToLine(); }));
    observe(Notifications::revealInFinder, keyOnly([target](const QVariant &) { target->revealInFileManager(); }));
    observe(Notifications::copyPath, keyOnly([target](const QVariant &) { target->copyPath(); }));
    observe(Notifications::copyJSONPath, keyOnly([target](const QVariant &) { target->copyJSONPath(); }));
    observe(Notifications::findError,
            keyOnly([target](const QVariant &object) { target->goToError(object.toInt() < 0 ? -1 : 1); }));
    observe(Notifications::forceFlushScratch, [target](const QVariant &object) {
        auto *named = qobject_cast<QWidget *>(object.value<QObject *>());
        if (named && named->isWindow() && (!target->window()->isVisible() || named != target->window()))
            return;
        target->saveIfDirty(SaveReason::AutoSave);
    });
}

WindowCommands::~WindowCommands()
{
    for (auto token : m_tokens)
        NotificationCenter::defaultCenter().removeObserver(token);
}

} // namespace App
