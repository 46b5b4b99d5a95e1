// Tr() and the .mo reader that Windows uses (Linux asks libintl).
#include "common/translate.h"

#include <algorithm>
#include <cstdint>
#include <mutex>

namespace quipix {

namespace {

std::mutex gTranslatorLock;
Translator gTranslator;

constexpr std::uint32_t kMoMagic = 0x950412DE;

}  // namespace

std::string_view Tr(std::string_view english) {
    std::lock_guard lock(gTranslatorLock);
    if (!gTranslator || english.empty()) return english;
    const std::string_view shown = gTranslator(english);
    return shown.empty() ? english : shown;
}

std::string TrFormat(std::string_view english, std::initializer_list<std::string_view> arguments) {
    const std::string_view pattern = Tr(english);
    std::string text;
    std::size_t at = 0;
    for (std::string_view argument : arguments) {
        const std::size_t slot = pattern.find("%s", at);
        if (slot == std::string_view::npos) break;
        text.append(pattern.substr(at, slot - at)).append(argument);
        at = slot + 2;
    }
    return text.append(pattern.substr(at));
}

Translator InstallTranslator(Translator translator) {
    std::lock_guard lock(gTranslatorLock);
    return std::exchange(gTranslator, std::move(translator));
}

MoCatalogue::MoCatalogue(std::string bytes) : bytes_(std::move(bytes)) {
    const std::string_view all = bytes_;
    bool swapped = false;
    const auto word = [&](std::size_t at, std::uint32_t& value) {
        if (at > all.size() || all.size() - at < 4) return false;
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const auto byte = std::uint32_t(std::uint8_t(all[at + std::size_t(i)]));
            v |= byte << (swapped ? 8 * (3 - i) : 8 * i);
        }
        value = v;
        return true;
    };
    std::uint32_t magic = 0, revision = 0, count = 0, originals = 0, translations = 0;
    if (!word(0, magic)) return;
    if (magic != kMoMagic) {
        swapped = true;
        if (!word(0, magic) || magic != kMoMagic) return;
    }
    if (!word(4, revision) || (revision >> 16) > 1 || !word(8, count) || !word(12, originals) ||
        !word(16, translations))
        return;
    // A text is a length and an offset; its bytes end in a NUL that the length leaves out.
    const auto text = [&](std::size_t table, std::uint32_t index, std::string_view& out) {
        std::uint32_t length = 0, offset = 0;
        if (!word(table + 8 * std::size_t(index), length) || !word(table + 8 * std::size_t(index) + 4, offset))
            return false;
        if (offset > all.size() || all.size() - offset <= length || all[offset + length] != '\0') return false;
        out = all.substr(offset, length);
        out = out.substr(0, out.find('\0'));  // a plural entry's singular
        return true;
    };
    if (count > all.size() / 16) return;
    entries_.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string_view original, translation;
        if (!text(originals, i, original) || !text(translations, i, translation)) {
            entries_.clear();
            return;
        }
        // The header (the empty original) and untranslated entries answer nothing.
        if (!original.empty() && !translation.empty()) entries_.emplace_back(original, translation);
    }
    // msgfmt writes the originals sorted; a catalogue from elsewhere may not be.
    if (!std::is_sorted(entries_.begin(), entries_.end())) std::sort(entries_.begin(), entries_.end());
    valid_ = true;
}

std::string_view MoCatalogue::Find(std::string_view english) const {
    const auto at = std::lower_bound(entries_.begin(), entries_.end(), english,
                                     [](const auto& entry, std::string_view key) { return entry.first < key; });
    return at != entries_.end() && at->first == english ? at->second : std::string_view();
}

}  // namespace quipix
