#include "document.h"

#include "documents/savejournal.h"
#include "documents/textcodec.h"
#include "fileio_p.h"

#include <memory>

namespace Documents {

namespace {

Base::Message wrap(const char *key, Base::Message inner)
{
    return {key, {std::make_shared<const Base::Message>(std::move(inner))}};
}

} // namespace

bool isScratchPath(std::string_view path)
{
    return path.find("/Corvane/scratch/") != std::string_view::npos;
}

std::variant<FileAttributes, Base::Message> checkBeforeLoad(const std::string &path)
{
    auto attributes = readAttributes(path);
    if (auto *error = std::get_if<std::string>(&attributes))
        return Base::Message{"Cannot read file attributes: %@", {*error}};
    const auto &found = std::get<FileAttributes>(attributes);
    if (found.size > maximumFileSize)
        return fileTooLargeMessage(found.size);
    return found;
}

namespace {

// Settles an interrupted save, reads the file, stamping it around the read for a follower, and
// decodes it with `decodeBytes` (detection, or the user's encoding).
template<typename Decode>
std::variant<LoadedText, Base::Message> readForLoad(const std::string &path, bool chosenByUser, Decode decodeBytes)
{
    auto recoveryNote = recoverInterruptedSave(path);
    const auto before = stampFile(path);
    Base::ByteBuffer bytes;
    // A detected encoding's failures read "Cannot decode file: %@"; the user's choice speaks for itself.
    const auto failure = [chosenByUser](Base::Message error) {
        return chosenByUser ? std::move(error) : wrap("Cannot decode file: %@", std::move(error));
    };
    std::optional<DiskVersion> version;
    if (auto error = Internal::readBounded(path, bytes, version)) {
        // A file grown past the limit since the size check is refused as that check refuses it.
        if (error->tooLarge)
            return std::move(error->message);
        return failure(std::move(error->message));
    }
    const auto after = stampFile(path);
    std::variant<DecodedText, Base::Message> decoded = decodeBytes(bytes.view());
    if (auto *error = std::get_if<Base::Message>(&decoded))
        return failure(std::move(*error));
    auto &text = std::get<DecodedText>(decoded);
    LoadedText loaded;
    loaded.follow = followStateAfterLoad(bytes.view(), text.encoding, text.hadBOM, before, after, chosenByUser);
    bytes = Base::ByteBuffer(); // not needed for the normalisation: keep the peak memory down
    loaded.lineEnding = normalizeLineEndings(text.text);
    loaded.text = std::move(text.text);
    loaded.encoding = text.encoding;
    loaded.hadBOM = text.hadBOM;
    loaded.version = std::move(version);
    if (recoveryNote) {
        loaded.recoveryNote = std::move(recoveryNote);
        loaded.recoveredMtime = modificationTime(path);
    }
    return loaded;
}

} // namespace

std::variant<LoadedText, Base::Message> decodeForLoad(const std::string &path)
{
    return readForLoad(path, false, [](std::string_view bytes) { return decodeWithFallback(bytes); });
}

std::variant<LoadedText, Base::Message> decodeForLoad(const std::string &path, Encoding encoding)
{
    return readForLoad(path, true, [encoding](std::string_view bytes) { return decodeAs(bytes, encoding); });
}

std::variant<LoadResult, Base::Message> loadDocument(const std::string &path)
{
    auto checked = checkBeforeLoad(path);
    if (auto *error = std::get_if<Base::Message>(&checked))
        return std::move(*error);
    auto decoded = decodeForLoad(path);
    if (auto *error = std::get_if<Base::Message>(&decoded))
        return std::move(*error);
    auto &loaded = std::get<LoadedText>(decoded);
    LoadResult result;
    result.doc.path = path;
    result.doc.kind = DocKind::detect(path);
    result.doc.encoding = loaded.encoding;
    result.doc.lineEnding = loaded.lineEnding;
    result.doc.hadBOM = loaded.hadBOM;
    result.doc.mtime = loaded.recoveredMtime ? loaded.recoveredMtime : std::get<FileAttributes>(checked).modificationTime;
    result.doc.version = std::move(loaded.version);
    result.doc.isScratch = isScratchPath(path);
    result.text = std::move(loaded.text);
    result.recoveryNote = std::move(loaded.recoveryNote);
    return result;
}

std::variant<LoadResult, Base::Message> loadBytes(std::string_view bytes, std::string name, DocKind kind)
{
    if (std::int64_t(bytes.size()) > maximumFileSize)
        return fileTooLargeMessage(std::int64_t(bytes.size()));
    auto decoded = decodeWithFallback(bytes);
    if (auto *error = std::get_if<Base::Message>(&decoded))
        return wrap("Cannot decode file: %@", std::move(*error));
    auto &text = std::get<DecodedText>(decoded);
    LoadResult result;
    result.doc.lineEnding = normalizeLineEndings(text.text);
    result.doc.path = std::move(name);
    result.doc.kind = kind;
    result.doc.encoding = text.encoding;
    result.doc.hadBOM = text.hadBOM;
    result.text = std::move(text.text);
    return result;
}

std::optional<Base::Message> saveText(const std::string &path, std::u16string_view text, Encoding encoding,
                                      LineEnding lineEnding, bool includeBOM, SaveOrigin origin)
{
    const char *failed = origin == SaveOrigin::AutoSave ? "Auto-save failed: %@" : "Save failed: %@";
    auto bytes = encodeForWriting(text, encoding, lineEnding, includeBOM);
    if (!bytes)
        return wrap(failed, cannotEncodeMessage(encoding));
    if (auto error = writeFileAtomically(path, *bytes))
        return wrap(failed, Base::Message{*error, {}});
    return std::nullopt;
}

} // namespace Documents
