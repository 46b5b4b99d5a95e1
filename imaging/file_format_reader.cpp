// The reader registry: library start-up, the choice of a reader for a stream (by
// signature first, by extension only for readers without one), and the handling of
// decoder warnings that every reader shares.
#include "imaging/file_format_reader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <mutex>

#include "imaging/exceptions.h"
#include "imaging/messages.h"

namespace quipix {

namespace {

constexpr std::size_t kSignatureBytes = 17;

std::vector<TFileFormatReader*>& ReaderStorage() {
    static std::vector<TFileFormatReader*> readers;
    return readers;
}

WarningBoxHandler& BoxHandler() {
    static WarningBoxHandler handler;
    return handler;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

bool TFileFormatReader::IsSignature(std::span<const std::uint8_t>) const { return false; }

TImageInfo TFileFormatReader::GetImageInfo(TPGStream&, int) { return TImageInfo{}; }

void InitPixelGraphicLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        CheckPGLangStrEntries();
        PGDisplayGamma = 2.2;
        PGGammaCorrection = true;
        RegisterBuiltInReaders(ReaderStorage());
    });
}

std::vector<TFileFormatReader*>& PGFileFormatReaders() {
    InitPixelGraphicLibrary();
    return ReaderStorage();
}

TFileFormatReader* FindFileFormatReader(std::vector<TFileFormatReader*>& readers, TPGStream& stream,
                                        std::string_view extension) {
    try {
        if (!extension.empty() && extension.front() == '.') extension.remove_prefix(1);
        const std::int64_t start = stream.Position();
        std::array<std::uint8_t, kSignatureBytes> bytes{};
        const std::size_t got = stream.Read(bytes.data(), bytes.size());
        stream.Seek(start);
        // Only the bytes really read are offered, so a signature can never match on
        // bytes that lie beyond the end of a short file.
        const std::span<const std::uint8_t> header(bytes.data(), got);

        const auto byExtension = [](const TFileFormatReader* a, const TFileFormatReader* b) {
            return Lower(a->Extension()) < Lower(b->Extension());
        };
        if (!std::is_sorted(readers.begin(), readers.end(), byExtension))
            std::stable_sort(readers.begin(), readers.end(), byExtension);

        for (TFileFormatReader* r : readers)
            if (r->HasSignature() && r->IsSignature(header)) return r;
        if (extension.empty()) return nullptr;
        const std::string ext = Lower(extension);
        for (TFileFormatReader* r : readers)
            if (!r->HasSignature() && Lower(r->Extension()) == ext) return r;
        return nullptr;
    } catch (...) {
        return nullptr;
    }
}

TFileFormatReader* FindFileFormatReader(TPGStream& stream, std::string_view extension) {
    // The open dialog's preview may search from a worker thread while the GUI thread
    // loads; the first search sorts the shared list.
    static std::mutex lock;
    std::vector<TFileFormatReader*>& readers = PGFileFormatReaders();
    const std::lock_guard guard(lock);
    return FindFileFormatReader(readers, stream, extension);
}

void SetWarningBoxHandler(WarningBoxHandler handler) { BoxHandler() = std::move(handler); }

void HandleReadWarning(TPGWarningAction action, const std::string& caption, const std::string& prefix,
                       const std::string& text, const std::function<void(const std::string&)>& raise) {
    const auto fail = [&](const std::string& message) {
        raise(message);
        // raise is meant to throw; a handler that returns must still stop the read.
        throw EPixelGraphic(message);
    };
    switch (action) {
    case pgwaIgnore:
        return;
    case pgwaOKBox:
        if (BoxHandler()) BoxHandler()(caption, text, false);
        return;
    case pgwaOKCancelBox:
        if (BoxHandler() && !BoxHandler()(caption, text, true))
            fail(prefix + GetPGLangStr(msg::OperationAborted));
        return;
    case pgwaRaise:
        fail(prefix + text);
    }
}

std::string PGDialogFilter() {
    InitPixelGraphicLibrary();
    std::vector<TFileFormatReader*> readers;
    for (TFileFormatReader* reader : PGFileFormatReaders())
        if (reader->ListedInDialog()) readers.push_back(reader);
    const auto lower = [](std::string text) {
        for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    std::stable_sort(readers.begin(), readers.end(), [&](const auto* a, const auto* b) {
        if (a->DialogGroup() != b->DialogGroup()) return a->DialogGroup() < b->DialogGroup();
        return lower(a->Extension()) < lower(b->Extension());
    });
    std::string all, entries;
    for (const TFileFormatReader* reader : readers) {
        const std::string ext = lower(reader->Extension());
        std::string upper = ext;
        for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
        all += (all.empty() ? "*." : "; *.") + ext;
        entries += upper + " - " + reader->Description() + "|*." + ext + "|";
    }
    return GetPGLangStr(msg::ImageFiles) + "|" + all + "|" + entries + GetPGLangStr(msg::AllFiles) + "|*.*";
}

}  // namespace quipix
