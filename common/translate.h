// The program's texts in the user's language. English is the source: every text is
// its own key in the catalogues (po/), and what is shown where a catalogue has no
// entry for it or no catalogue is installed.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Marks a text that a table holds for the catalogues (xgettext --keyword=N_); Tr()
// translates it where it is shown.
#define N_(text) text

namespace quipix {

// The installed translation of english, else english itself.
std::string_view Tr(std::string_view english);
// Tr(english) with its "%s" replaced by the arguments in order (the translation
// places them).
std::string TrFormat(std::string_view english, std::initializer_list<std::string_view> arguments);

// Where Tr() looks: the translation of a text, or an empty view for none. The texts
// it answers must outlive it. An empty function means English.
using Translator = std::function<std::string_view(std::string_view english)>;
// Returns the one installed before.
Translator InstallTranslator(Translator translator);

// A compiled gettext catalogue (.mo) of either byte order, held in memory and looked
// up by binary search over its sorted original texts. A plural entry answers its
// singular form.
class MoCatalogue {
public:
    // Not Valid() when bytes are not a well-formed catalogue.
    explicit MoCatalogue(std::string bytes);
    bool Valid() const { return valid_; }
    // The translation of english; empty when the catalogue has none.
    std::string_view Find(std::string_view english) const;
    std::size_t Size() const { return entries_.size(); }

private:
    std::string bytes_;
    std::vector<std::pair<std::string_view, std::string_view>> entries_;  // sorted by original
    bool valid_ = false;
};

}  // namespace quipix
