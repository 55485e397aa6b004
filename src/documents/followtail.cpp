#include "followtail.h"

#include "posixfile_p.h"

#include "base/largebuffer.h"
#include "base/utf.h"

#include <algorithm>
#include <array>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Documents {

namespace {

using Internal::FileDescriptor;

// The loader's encoding detection looks at this many leading bytes for NULs (textcodec.cpp).
constexpr std::size_t nulSampleSize = 4096;

FileStamp stampOf(const struct stat &info)
{
    FileStamp stamp;
    stamp.identity = {std::uint64_t(info.st_dev), std::uint64_t(info.st_ino)};
    stamp.size = std::int64_t(info.st_size);
    stamp.mtime = {std::int64_t(info.st_mtim.tv_sec), std::int64_t(info.st_mtim.tv_nsec)};
    return stamp;
}

// ---- UTF-8 ----------------------------------------------------------------------------------

// The length of the sequence that `byte` starts and the range its second byte must lie in
// (which excludes overlong forms, surrogates and code points above U+10FFFF); length 0 for
// bytes that start nothing.
struct Lead {
    int length;
    unsigned char low, high;
};

Lead leadOf(unsigned char byte)
{
    if (byte < 0x80)
        return {1, 0, 0};
    if (byte >= 0xC2 && byte <= 0xDF)
        return {2, 0x80, 0xBF};
    if (byte == 0xE0)
        return {3, 0xA0, 0xBF};
    if (byte == 0xED)
        return {3, 0x80, 0x9F};
    if (byte >= 0xE1 && byte <= 0xEF)
        return {3, 0x80, 0xBF};
    if (byte == 0xF0)
        return {4, 0x90, 0xBF};
    if (byte >= 0xF1 && byte <= 0xF3)
        return {4, 0x80, 0xBF};
    if (byte == 0xF4)
        return {4, 0x80, 0x8F};
    return {0, 0, 0};
}

// How many bytes at the end of `bytes` begin a well-formed sequence without finishing it.
std::size_t utf8CutOff(std::string_view bytes)
{
    const std::size_t n = bytes.size();
    for (std::size_t back = 1; back <= 3 && back <= n; ++back) {
        const auto byte = static_cast<unsigned char>(bytes[n - back]);
        if ((byte & 0xC0) == 0x80)
            continue;
        const Lead lead = leadOf(byte);
        if (lead.length == 0 || std::size_t(lead.length) <= back)
            return 0; // complete, or not a lead at all: the decoder judges it
        if (back >= 2) {
            const auto second = static_cast<unsigned char>(bytes[n - back + 1]);
            if (second < lead.low || second > lead.high)
                return 0;
        }
        return back;
    }
    return 0;
}

bool isWellFormedUtf8(std::string_view bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        const Lead lead = leadOf(p[i]);
        if (lead.length == 0 || i + std::size_t(lead.length) > n)
            return false;
        if (p[i + 1] < lead.low || p[i + 1] > lead.high)
            return false;
        for (int k = 2; k < lead.length; ++k)
            if ((p[i + std::size_t(k)] & 0xC0) != 0x80)
                return false;
        i += std::size_t(lead.length);
    }
    return true;
}

// True when no bytes appended to `bytes` can make them valid UTF-8.
bool breaksUtf8ForGood(std::string_view bytes)
{
    return !isWellFormedUtf8(bytes.substr(0, bytes.size() - utf8CutOff(bytes)));
}

// ---- Encoding detection, as the loader does it ------------------------------------------------

// Whether the loader would try UTF-16 on these bytes, and in which byte order first.
bool looksLikeUtf16(std::string_view bytes, Encoding &first)
{
    const std::string_view sample = bytes.substr(0, nulSampleSize);
    std::size_t even = 0, odd = 0;
    for (std::size_t i = 0; i < sample.size(); ++i)
        if (sample[i] == '\0')
            ++(i % 2 == 0 ? even : odd);
    first = even > odd ? Encoding::Utf16BE : Encoding::Utf16LE;
    return !sample.empty() && (even + odd) * 5 >= sample.size();
}

bool isSettled(std::string_view bytes, Encoding encoding, bool hadBOM)
{
    if (bytes.empty())
        return false;
    // The beginning of a longer mark may still become that mark.
    static constexpr std::array<std::string_view, 5> marks = {
        std::string_view("\xFF\xFE\x00\x00", 4), std::string_view("\x00\x00\xFE\xFF", 4),
        std::string_view("\xEF\xBB\xBF", 3), std::string_view("\xFF\xFE", 2), std::string_view("\xFE\xFF", 2)};
    for (std::string_view mark : marks)
        if (bytes.size() < mark.size() && mark.substr(0, bytes.size()) == bytes)
            return false;
    // A mark or valid UTF-8 stays what it is while the new bytes decode.
    if (hadBOM || encoding == Encoding::Utf8)
        return true;
    // A fallback: every earlier candidate must have refused these bytes for good.
    if (bytes.size() < nulSampleSize)
        return false; // the NUL sample still changes
    if (BOMUtil::detect(bytes))
        return false; // a mark that failed on an odd byte or a cut surrogate may still succeed
    if (!breaksUtf8ForGood(bytes))
        return false;
    Encoding first = Encoding::Utf16LE;
    if (looksLikeUtf16(bytes, first) && encoding != first)
        return false; // an earlier UTF-16 order may only have failed on the file's last unit
    return true;
}

std::size_t unitSize(Encoding encoding)
{
    switch (encoding) {
    case Encoding::Utf16:
    case Encoding::Utf16LE:
    case Encoding::Utf16BE:
        return 2;
    case Encoding::Utf32LE:
    case Encoding::Utf32BE:
        return 4;
    default:
        return 1;
    }
}

bool isBigEndian(Encoding encoding)
{
    return encoding == Encoding::Utf16BE || encoding == Encoding::Utf32BE;
}

// True when the last character of `content` (a whole number of units) is CR.
bool endsWithCR(std::string_view content, Encoding encoding)
{
    const std::size_t unit = unitSize(encoding);
    if (content.size() < unit)
        return false;
    const std::string_view last = content.substr(content.size() - unit);
    for (std::size_t i = 0; i < unit; ++i) {
        const bool isLow = isBigEndian(encoding) ? i == unit - 1 : i == 0;
        if (last[i] != (isLow ? '\r' : '\0'))
            return false;
    }
    return true;
}

// How many bytes at the end of `bytes` must wait for the rest of their character.
std::size_t heldBack(Encoding encoding, std::string_view bytes)
{
    switch (encoding) {
    case Encoding::Utf8:
        return utf8CutOff(bytes);
    case Encoding::Utf16:
    case Encoding::Utf16LE:
    case Encoding::Utf16BE: {
        std::size_t keep = bytes.size() % 2;
        if (bytes.size() - keep >= 2) {
            const auto *p = reinterpret_cast<const unsigned char *>(bytes.data() + bytes.size() - keep - 2);
            const char16_t unit = isBigEndian(encoding) ? char16_t(p[0] << 8 | p[1]) : char16_t(p[1] << 8 | p[0]);
            if (Base::Utf::isHighSurrogate(unit))
                keep += 2;
        }
        return keep;
    }
    case Encoding::Utf32LE:
    case Encoding::Utf32BE:
        return bytes.size() % 4;
    default:
        return 0;
    }
}

// CR LF and lone CR become LF, as the loader's normalisation does; `afterCR` carries a CR at
// the end of one piece over to the next.
std::u16string normalised(std::u16string_view units, bool &afterCR)
{
    std::u16string out;
    out.reserve(units.size());
    std::size_t i = 0;
    if (afterCR && !units.empty() && units[0] == u'\n')
        i = 1;
    if (!units.empty())
        afterCR = false;
    while (i < units.size()) {
        const std::size_t cr = units.find(u'\r', i);
        if (cr == std::u16string_view::npos) {
            out.append(units.substr(i));
            break;
        }
        out.append(units.substr(i, cr - i));
        out.push_back(u'\n');
        i = cr + 1;
        if (i == units.size())
            afterCR = true;
        else if (units[i] == u'\n')
            ++i;
    }
    return out;
}

FollowReload reloadFor(int error)
{
    return {error == ENOENT || error == ENOTDIR ? FollowReloadReason::Missing : FollowReloadReason::Unreadable};
}

} // namespace

std::optional<FileStamp> stampFile(const std::string &path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return stampOf(info);
}

FollowState followStateAfterLoad(std::string_view bytes, Encoding encoding, bool hadBOM,
                                 const std::optional<FileStamp> &before, const std::optional<FileStamp> &after,
                                 bool chosenByUser)
{
    FollowState state;
    state.encoding = encoding;
    state.hadBOM = hadBOM;
    state.offset = std::int64_t(bytes.size());
    state.fingerprint = std::string(bytes.substr(bytes.size() - std::min(bytes.size(), followFingerprintSize)));
    if (before && after && before->identity == after->identity)
        state.identity = after->identity;
    if (after)
        state.mtime = after->mtime;
    const std::size_t mark = hadBOM ? BOMUtil::bytes(encoding).size() : 0;
    state.afterCR = endsWithCR(bytes.substr(std::min(mark, bytes.size())), encoding);
    state.encodingSettled = chosenByUser ? bytes.size() >= 4 : isSettled(bytes, encoding, hadBOM);
    return state;
}

std::string_view reasonName(FollowReloadReason reason)
{
    switch (reason) {
    case FollowReloadReason::Missing:
        return "missing";
    case FollowReloadReason::Unreadable:
        return "unreadable";
    case FollowReloadReason::Replaced:
        return "replaced";
    case FollowReloadReason::Truncated:
        return "truncated";
    case FollowReloadReason::Rewritten:
        return "rewritten";
    case FollowReloadReason::UndecodableBytes:
        return "undecodable";
    case FollowReloadReason::EncodingUnsettled:
        return "encoding-unsettled";
    }
    return "unknown";
}

namespace {

// What the file's stamp says before anything is read: another file, a shorter one, or one that
// grew while its encoding could still change; nothing when the new bytes may be read.
std::optional<FollowReload> reloadBeforeReading(const FileStamp &stamp, const FollowState &state)
{
    if (stamp.identity != *state.identity)
        return FollowReload{FollowReloadReason::Replaced};
    if (stamp.size < state.offset)
        return FollowReload{FollowReloadReason::Truncated};
    if (stamp.size > state.offset && !state.encodingSettled)
        return FollowReload{FollowReloadReason::EncodingUnsettled};
    return std::nullopt;
}

} // namespace

FollowResult readAppended(const std::string &path, FollowState &state, std::size_t maxBytes)
{
    if (!state.identity)
        return FollowReload{FollowReloadReason::Replaced};
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return reloadFor(errno);
    FileStamp stamp = stampOf(info);
    if (auto reload = reloadBeforeReading(stamp, state))
        return *reload;
    if (stamp.size == state.offset && state.mtime && stamp.mtime == *state.mtime)
        return FollowUnchanged{}; // the common case: one stat

    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid())
        return reloadFor(errno);
    if (::fstat(fd.get(), &info) != 0)
        return FollowReload{FollowReloadReason::Unreadable};
    if (!S_ISREG(info.st_mode))
        return FollowReload{FollowReloadReason::Unreadable};
    // Judged again on what the open file is now: it may have been replaced since the stat, or
    // have grown, and bytes in an encoding not settled yet must lead to a reload, never be
    // decoded here.
    stamp = stampOf(info);
    if (auto reload = reloadBeforeReading(stamp, state))
        return *reload;

    // One read covers the fingerprint and the new bytes after it.
    const std::size_t known = state.fingerprint.size();
    const std::size_t wanted = std::size_t(std::min<std::int64_t>(stamp.size - state.offset, std::int64_t(maxBytes)));
    Base::ByteBuffer raw(known + wanted);
    raw.resize(known + wanted);
    std::size_t got = 0;
    if (!Internal::readAllAt(fd.get(), raw.data(), raw.size(), off_t(state.offset - std::int64_t(known)), got))
        return FollowReload{FollowReloadReason::Unreadable};
    if (got < known)
        return FollowReload{FollowReloadReason::Truncated};
    if (std::string_view(raw.data(), known) != state.fingerprint)
        return FollowReload{FollowReloadReason::Rewritten};
    const std::string_view fresh(raw.data() + known, got - known);

    std::string joined;
    std::string_view input = fresh;
    if (!state.pending.empty()) {
        joined.reserve(state.pending.size() + fresh.size());
        joined.append(state.pending).append(fresh);
        input = joined;
    }
    const std::size_t keep = heldBack(state.encoding, input);
    const std::string_view complete = input.substr(0, input.size() - keep);
    Base::U16Buffer decoded(complete.size());
    if (!decode(state.encoding, complete, decoded))
        return FollowReload{FollowReloadReason::UndecodableBytes};

    bool afterCR = state.afterCR;
    std::u16string text = normalised(decoded.view(), afterCR);

    state.afterCR = afterCR;
    state.offset += std::int64_t(fresh.size());
    const std::string_view window(raw.data(), got);
    state.fingerprint = std::string(window.substr(window.size() - std::min(window.size(), followFingerprintSize)));
    state.pending = std::string(input.substr(input.size() - keep));
    state.mtime = stamp.mtime;
    if (text.empty())
        return FollowUnchanged{};
    return FollowAppended{std::move(text), state.offset < stamp.size};
}

} // namespace Documents
