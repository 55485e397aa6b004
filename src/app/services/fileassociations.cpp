#include "fileassociations.h"

#include "app/services/mimeappslist.h"
#include "base/localization.h"

namespace App {

const QList<FileAssociationType> &FileAssociations::all()
{
    static const QList<FileAssociationType> table = {
        {"json", loc("JSON"), {"application/json"}, {"json"}},
        {"ndjson", loc("NDJSON"), {"application/x-ndjson"}, {"ndjson", "jsonl"}},
        {"csv", loc("CSV"), {"text/csv", "text/tab-separated-values"}, {"csv", "tsv"}},
        {"txt", loc("TXT"), {"text/plain"}, {"txt"}, false,
         loc("Off by default: it would also open scripts and HTML")},
        {"markdown", loc("Markdown"), {"text/markdown"}, {"md", "markdown"}},
        // Debian's shared-mime-info names YAML application/yaml with application/x-yaml as an
        // alias; older systems and other applications use the alias, so both are registered.
        {"yaml", loc("YAML"), {"application/x-yaml", "application/yaml"}, {"yaml", "yml"}},
        {"toml", loc("TOML"), {"application/toml"}, {"toml"}},
        {"xml", loc("XML"), {"application/xml"}, {"xml"}, false,
         loc("Off by default: it would also open SVG and XHTML")},
        {"plist", loc("plist"), {"application/x-plist"}, {"plist"}},
        {"log", loc("LOG"), {"text/x-log"}, {"log"}},
    };
    return table;
}

QSet<QString> FileAssociations::preselected()
{
    QSet<QString> ids;
    for (const FileAssociationType &type : all())
        if (type.preselected)
            ids.insert(type.id);
    return ids;
}

int FileAssociations::apply(const QSet<QString> &ids)
{
    MimeAppsList registry;
    return apply(ids, registry);
}

int FileAssociations::apply(const QSet<QString> &ids, DefaultHandlerRegistry &registry)
{
    int count = 0;
    if (ids.isEmpty())
        return count;
    registry.beginBatch();
    for (const FileAssociationType &type : all()) {
        if (!ids.contains(type.id))
            continue;
        bool anyRole = false;
        for (const HandlerRole role : {HandlerRole::Editor, HandlerRole::Viewer, HandlerRole::All}) {
            bool everyType = true;
            for (const QString &contentType : type.contentTypes)
                everyType = registry.setDefaultHandler(contentType, role, desktopId) && everyType;
            anyRole = anyRole || everyType;
        }
        if (anyRole)
            ++count;
    }
    return registry.endBatch() ? count : 0;
}

QHash<QString, bool> FileAssociations::snapshot()
{
    const MimeAppsList registry;
    return snapshot(registry);
}

QHash<QString, bool> FileAssociations::snapshot(const DefaultHandlerRegistry &registry)
{
    QHash<QString, bool> current;
    for (const FileAssociationType &type : all()) {
        bool ours = true;
        for (const QString &contentType : type.contentTypes) {
            const auto handler = registry.defaultHandler(contentType);
            ours = ours && handler && handler->compare(desktopId, Qt::CaseInsensitive) == 0;
        }
        current.insert(type.id, ours);
    }
    return current;
}

} // namespace App
