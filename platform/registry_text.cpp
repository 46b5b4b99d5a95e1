// The REGEDIT4 text format of the settings store: reading a file into keys and
// values, and writing them back.
//
// Reading is lenient: a Windows export (REGEDIT4, or the UTF-16 "Version 5.00"
// form) loads, deletions ("[-key]", "name"=-) are applied as regedit would, and a
// line that cannot be read is skipped and marks the file damaged. Writing always
// produces REGEDIT4 with "\n" line ends; strings holding a line break or a NUL are
// written as hex(1) so that every string survives the round trip.
#include "platform/registry.h"

#include "common/ascii.h"

#include <cstdio>
#include <map>
#include <optional>
#include <string_view>
#include <unordered_map>

namespace quipix::platform {

namespace {

constexpr std::string_view kRoot = "HKEY_CURRENT_USER";

using ascii::Lower;
using ascii::SameText;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// UTF-16 to UTF-8; unpaired surrogates become U+FFFD. Sets damaged on an odd length.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian, bool& damaged) {
    std::string out;
    out.reserve(bytes.size() / 2);
    const size_t units = bytes.size() / 2;
    if (bytes.size() % 2) damaged = true;
    auto unit = [&](size_t i) -> std::uint32_t {
        auto a = std::uint8_t(bytes[2 * i]), b = std::uint8_t(bytes[2 * i + 1]);
        return bigEndian ? (std::uint32_t(a) << 8 | b) : (std::uint32_t(b) << 8 | a);
    };
    for (size_t i = 0; i < units; ++i) {
        std::uint32_t u = unit(i);
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < units) {
            std::uint32_t v = unit(i + 1);
            if (v >= 0xDC00 && v < 0xE000) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
                ++i;
                continue;
            }
        }
        AppendUtf8(out, (u >= 0xD800 && u < 0xE000) ? 0xFFFD : u);
    }
    return out;
}

// Reads a quoted string starting at s[pos] == '"'; on success pos is past the
// closing quote. Only \\ and \" are escapes; any other backslash stays as written.
bool ReadQuoted(std::string_view s, size_t& pos, std::string& out) {
    size_t i = pos + 1;
    out.clear();
    while (i < s.size()) {
        char c = s[i];
        if (c == '"') {
            pos = i + 1;
            return true;
        }
        if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
            out += s[i + 1];
            i += 2;
            continue;
        }
        out += c;
        ++i;
    }
    return false;
}

// "01,ab, 0c" -> bytes. An empty list is valid.
bool ReadHexBytes(std::string_view s, std::string& out) {
    out.clear();
    s = TrimBlanks(s);
    if (s.empty()) return true;
    size_t i = 0;
    for (;;) {
        while (i < s.size() && IsBlank(s[i])) ++i;
        int value = 0, digits = 0;
        while (i < s.size() && HexDigit(s[i]) >= 0 && digits < 2) {
            value = value * 16 + HexDigit(s[i]);
            ++digits;
            ++i;
        }
        if (digits == 0) return false;
        out += char(value);
        while (i < s.size() && IsBlank(s[i])) ++i;
        if (i == s.size()) return true;
        if (s[i] != ',') return false;
        ++i;
    }
}

std::string NormalizeKeyPath(std::string_view path) {
    constexpr std::string_view kShort = "HKCU";
    if (path.size() >= kShort.size() && SameText(path.substr(0, kShort.size()), kShort) &&
        (path.size() == kShort.size() || path[kShort.size()] == '\\'))
        return std::string(kRoot) + std::string(path.substr(kShort.size()));
    return std::string(path);
}

// Collects keys and values while the file is read, with indexes so that a large
// hostile file costs n log n, not n squared.
class Builder {
public:
    size_t Key(const std::string& path) {
        auto lower = Lower(path);
        auto it = index_.find(lower);
        if (it != index_.end()) return it->second;
        keys_.push_back(Entry{path, {}, {}});
        index_.emplace(lower, keys_.size() - 1);
        return keys_.size() - 1;
    }
    void DeleteKey(const std::string& path) {
        auto lower = Lower(path);
        if (auto it = index_.find(lower); it != index_.end()) Drop(it);
        auto sub = lower + "\\";
        for (auto it = index_.lower_bound(sub); it != index_.end() && it->first.starts_with(sub);)
            it = Drop(it);
    }
    void SetValue(size_t key, const std::string& name, RegValue value) {
        auto& e = keys_[key];
        if (!e.alive) return;
        auto lower = Lower(name);
        auto it = e.valueIndex.find(lower);
        if (it != e.valueIndex.end() && e.values[it->second]) {
            e.values[it->second]->second = std::move(value);
            return;
        }
        e.values.emplace_back(std::make_pair(name, std::move(value)));
        e.valueIndex[lower] = e.values.size() - 1;
    }
    void DeleteValue(size_t key, const std::string& name) {
        auto& e = keys_[key];
        auto it = e.valueIndex.find(Lower(name));
        if (it == e.valueIndex.end()) return;
        e.values[it->second].reset();
        e.valueIndex.erase(it);
    }
    bool Alive(size_t key) const { return keys_[key].alive; }
    std::vector<RegFileKey> Take() {
        std::vector<RegFileKey> out;
        for (auto& e : keys_) {
            if (!e.alive) continue;
            RegFileKey k{std::move(e.path), {}};
            for (auto& v : e.values)
                if (v) k.values.push_back(std::move(*v));
            out.push_back(std::move(k));
        }
        return out;
    }

private:
    struct Entry {
        std::string path;
        std::vector<std::optional<std::pair<std::string, RegValue>>> values;
        std::unordered_map<std::string, size_t> valueIndex;
        bool alive = true;
    };
    std::map<std::string, size_t>::iterator Drop(std::map<std::string, size_t>::iterator it) {
        keys_[it->second].alive = false;
        keys_[it->second].values.clear();
        keys_[it->second].valueIndex.clear();
        return index_.erase(it);
    }
    std::vector<Entry> keys_;
    std::map<std::string, size_t> index_;
};

// Parses the data after "=" of a value line. False when it cannot be read.
bool ParseData(std::string_view data, bool unicode, RegValue& value) {
    data = TrimBlanks(data);
    if (!data.empty() && data.front() == '"') {
        size_t pos = 0;
        std::string text;
        if (!ReadQuoted(data, pos, text) || !TrimBlanks(data.substr(pos)).empty()) return false;
        value = RegValue::String(std::move(text));
        return true;
    }
    constexpr std::string_view kDword = "dword:";
    if (data.size() > kDword.size() && SameText(data.substr(0, kDword.size()), kDword)) {
        auto digits = TrimBlanks(data.substr(kDword.size()));
        if (digits.empty() || digits.size() > 8) return false;
        std::uint32_t n = 0;
        for (char c : digits) {
            if (HexDigit(c) < 0) return false;
            n = n * 16 + std::uint32_t(HexDigit(c));
        }
        value = RegValue::DWord(n);
        return true;
    }
    if (data.size() < 4 || !SameText(data.substr(0, 3), "hex")) return false;
    std::uint32_t type = kRegBinary;
    size_t pos = 3;
    if (data[pos] == '(') {
        size_t close = data.find(')', pos);
        if (close == std::string_view::npos || close == pos + 1 || close - pos - 1 > 8) return false;
        type = 0;
        for (size_t i = pos + 1; i < close; ++i) {
            if (HexDigit(data[i]) < 0) return false;
            type = type * 16 + std::uint32_t(HexDigit(data[i]));
        }
        pos = close + 1;
    }
    if (pos >= data.size() || data[pos] != ':') return false;
    std::string bytes;
    if (!ReadHexBytes(data.substr(pos + 1), bytes)) return false;
    if (type == kRegString || type == kRegExpandString) {
        // Strings in hex form carry their terminator: one NUL byte, or in a
        // Unicode export one UTF-16 NUL.
        if (unicode) {
            bool odd = false;
            bytes = Utf16ToUtf8(bytes, false, odd);
            if (odd) return false;
        }
        if (!bytes.empty() && bytes.back() == '\0') bytes.pop_back();
    }
    value = RegValue{type, std::move(bytes)};
    return true;
}

void AppendQuoted(std::string& out, std::string_view s) {
    out += '"';
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
}

void AppendHex(std::string& out, std::string_view bytes, size_t prefixLength) {
    static const char* kDigits = "0123456789abcdef";
    size_t column = prefixLength;
    for (size_t i = 0; i < bytes.size(); ++i) {
        auto b = std::uint8_t(bytes[i]);
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
        column += 2;
        if (i + 1 < bytes.size()) {
            out += ',';
            ++column;
            if (column > 76) {
                out += "\\\n  ";
                column = 2;
            }
        }
    }
}

// The file's text as UTF-8: a UTF-16 export is converted, a UTF-8 byte-order mark
// dropped.
std::string DecodeText(std::string_view bytes, bool& damaged) {
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF"))
        return Utf16ToUtf8(bytes.substr(2), bytes[0] == '\xFE', damaged);
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    return std::string(bytes);
}

// Lines end at CR, LF or CR LF.
std::vector<std::string_view> SplitLines(std::string_view t) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '\r' || t[i] == '\n') {
            lines.push_back(t.substr(start, i - start));
            if (t[i] == '\r' && i + 1 < t.size() && t[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
    if (start < t.size()) lines.push_back(t.substr(start));
    return lines;
}

// Reads the lines after the header one by one into a Builder.
class RegFileParser {
public:
    RegFileParser(std::vector<std::string_view> lines, RegFileContents& result)
        : lines_(std::move(lines)), result_(result) {}

    void Run() {
        ReadHeader();
        for (; i_ < lines_.size(); ++i_) {
            std::string_view line = lines_[i_];
            while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
            if (line.empty() || line.front() == ';') continue;
            if (line.front() == '[')
                KeyLine(line);
            else if (!ValueLine(line))
                result_.damaged = true;
        }
        result_.keys = builder_.Take();
    }

private:
    static constexpr size_t kNoKey = ~size_t(0);

    // The first line that is not blank names the format; a file without it is read
    // all the same.
    void ReadHeader() {
        while (i_ < lines_.size() && TrimBlanks(lines_[i_]).empty()) ++i_;
        if (i_ == lines_.size()) return;
        const auto header = TrimBlanks(lines_[i_]);
        if (header == "REGEDIT4") {
            ++i_;
        } else if (header == "Windows Registry Editor Version 5.00") {
            unicode_ = true;
            ++i_;
        } else {
            result_.damaged = true;
        }
    }

    // "[path]" opens a key, "[-path]" deletes it with everything below it.
    void KeyLine(std::string_view line) {
        current_ = kNoKey;
        const auto t = TrimBlanks(line);
        if (t.size() < 2 || t.back() != ']') {
            result_.damaged = true;
            return;
        }
        auto inner = t.substr(1, t.size() - 2);
        const bool remove = !inner.empty() && inner.front() == '-';
        if (remove) inner.remove_prefix(1);
        while (!inner.empty() && inner.back() == '\\') inner.remove_suffix(1);
        if (inner.empty()) {
            result_.damaged = true;
            return;
        }
        const auto path = NormalizeKeyPath(inner);
        if (remove)
            builder_.DeleteKey(path);
        else
            current_ = builder_.Key(path);
    }

    // "name"=data or @=data in the current key; "name"=- deletes the value. False
    // when the line cannot be read.
    bool ValueLine(std::string_view line) {
        if (line.front() != '"' && line.front() != '@') return false;
        std::string name;
        size_t pos = 0;
        if (line.front() == '@')
            pos = 1;
        else if (!ReadQuoted(line, pos, name))
            return false;
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        if (pos >= line.size() || line[pos] != '=') return false;
        std::string joined;
        const std::string_view rest = JoinContinuedHex(line.substr(pos + 1), joined);
        if (current_ == kNoKey || !builder_.Alive(current_)) return false;
        if (TrimBlanks(rest) == "-") {
            builder_.DeleteValue(current_, name);
            return true;
        }
        RegValue value;
        if (!ParseData(rest, unicode_, value)) return false;
        builder_.SetValue(current_, name, std::move(value));
        return true;
    }

    // Hex data may run on over further lines, each but the last ending in a
    // backslash; those lines are consumed and the data joined into joined.
    std::string_view JoinContinuedHex(std::string_view rest, std::string& joined) {
        const auto trimmed = TrimBlanks(rest);
        if (trimmed.size() < 3 || !SameText(trimmed.substr(0, 3), "hex") || !trimmed.ends_with('\\'))
            return rest;
        joined.assign(trimmed.substr(0, trimmed.size() - 1));
        while (i_ + 1 < lines_.size()) {
            const auto next = TrimBlanks(lines_[++i_]);
            if (!next.ends_with('\\')) {
                joined.append(next);
                break;
            }
            joined.append(next.substr(0, next.size() - 1));
        }
        return joined;
    }

    std::vector<std::string_view> lines_;
    RegFileContents& result_;
    size_t i_ = 0;
    bool unicode_ = false;
    Builder builder_;
    size_t current_ = kNoKey;
};
}  // namespace

RegFileContents ParseRegFile(const std::string& raw) {
    RegFileContents result;
    const std::string text = DecodeText(raw, result.damaged);
    RegFileParser(SplitLines(text), result).Run();
    return result;
}
std::string FormatRegFile(const RegFileContents& contents) {
    std::string out = "REGEDIT4\n";
    for (const auto& key : contents.keys) {
        out += "\n[";
        out += key.path;
        out += "]\n";
        for (const auto& [name, value] : key.values) {
            size_t lineStart = out.size();
            if (name.empty())
                out += '@';
            else
                AppendQuoted(out, name);
            out += '=';
            const std::string& d = value.data;
            bool plain = value.type == kRegString &&
                         d.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
            if (plain) {
                AppendQuoted(out, d);
            } else if (value.type == kRegDWord && d.size() == 4) {
                std::uint32_t n = 0;
                for (int b = 3; b >= 0; --b) n = n << 8 | std::uint8_t(d[size_t(b)]);
                char buf[16];
                std::snprintf(buf, sizeof buf, "dword:%08x", n);
                out += buf;
            } else {
                if (value.type == kRegBinary) {
                    out += "hex:";
                } else {
                    char buf[24];
                    std::snprintf(buf, sizeof buf, "hex(%x):", value.type);
                    out += buf;
                }
                std::string bytes = d;
                if (value.IsString()) bytes += '\0';
                AppendHex(out, bytes, out.size() - lineStart);
            }
            out += '\n';
        }
    }
    return out;
}

}  // namespace quipix::platform
