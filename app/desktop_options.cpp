// The options a Linux desktop expects, read before the screen-saver protocol, whose
// parser would take every one of them for "run full screen".
#include "app/desktop_options.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <ostream>

#include "common/translate.h"
#include "quipix_version.h"
#include "saver/recorder.h"

namespace quipix {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool IsRootOption(const std::string& p) { return p == "-root" || p == "--root"; }
bool IsWindowIdOption(const std::string& p) { return p == "-window-id" || p == "--window-id"; }

DesktopOptions ParseIdle(const std::vector<std::string>& params) {
    DesktopOptions o;
    o.action = DesktopOptions::Action::Error;
    if (params.size() < 2) {
        o.error = Tr("--idle needs a number of seconds");
        return o;
    }
    if (params.size() > 2) {
        o.error = TrFormat(N_("unexpected after --idle %s: %s"), {params[1], params[2]});
        return o;
    }
    const std::string& text = params[1];
    int value = 0;
    const char* end = text.data() + text.size();
    // Digits only: from_chars would take a minus sign.
    const bool digits = !text.empty() && text.front() >= '0' && text.front() <= '9';
    auto [p, ec] = std::from_chars(text.data(), end, value);
    if (!digits || ec != std::errc() || p != end || value < 1 || value > kMaxIdleSeconds) {
        o.error = TrFormat(N_("--idle takes whole seconds from 1 to %s, not %s"), {std::to_string(kMaxIdleSeconds), text});
        return o;
    }
    o.action = DesktopOptions::Action::Idle;
    o.idleSeconds = value;
    return o;
}

}  // namespace

std::optional<platform::WindowId> ParseWindowId(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    // from_chars takes no sign, so "-5" and "0x-5" fail here as they should.
    if (text.empty() || text.front() == '+' || text.front() == '-') return std::nullopt;
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, value, base);
    // X11 ids are 32-bit resource ids; 0 is None.
    if (ec != std::errc() || p != end || value == 0 || value > 0xFFFFFFFFu) return std::nullopt;
    return platform::WindowId(value);
}

DesktopOptions ParseDesktopOptions(const std::vector<std::string>& params, const char* xscreensaverWindow) {
    DesktopOptions o;
    if (params.empty()) return o;
    if (params[0] == "--record") {
        o.action = DesktopOptions::Action::Record;
        o.recordArgs.assign(params.begin() + 1, params.end());
        return o;
    }
    // Ours only in first place: after a protocol switch every word is the
    // protocol's (its second parameter may be anything).
    if (params[0] == "--help") {
        o.action = DesktopOptions::Action::Help;
        return o;
    }
    if (params[0] == "--version") {
        o.action = DesktopOptions::Action::Version;
        return o;
    }
    if (params[0] == "--idle") return ParseIdle(params);
    if (!IsRootOption(params[0]) && !IsWindowIdOption(params[0])) return o;

    std::optional<platform::WindowId> given;
    for (std::size_t i = 0; i < params.size(); ++i) {
        if (IsWindowIdOption(params[i])) {
            if (i + 1 >= params.size()) {
                o.action = DesktopOptions::Action::Error;
                o.error = TrFormat(N_("%s needs a window id"), {params[i]});
                return o;
            }
            given = ParseWindowId(params[++i]);
            if (!given) {
                o.action = DesktopOptions::Action::Error;
                o.error = TrFormat(N_("not a window id: %s"), {params[i]});
                return o;
            }
        }
    }
    o.action = DesktopOptions::Action::Module;
    // The settings' preview names its own window, which wins over the saver's.
    if (given) {
        o.window = *given;
    } else if (xscreensaverWindow && *xscreensaverWindow) {
        if (auto id = ParseWindowId(xscreensaverWindow))
            o.window = *id;
        else
            o.warning = TrFormat(N_("ignoring XSCREENSAVER_WINDOW=%s, drawing on the root window"),
                                 {xscreensaverWindow});
    }
    return o;
}

std::string UsageText(UsageSystem system) {
    const bool windows = system == UsageSystem::Windows;
    const std::string program = windows ? "Quipix.scr" : "quipix";
    const std::string window = windows ? "HWND" : "WINDOW";
    // An option's words, then its description from column 19, on the next line when
    // the words are longer; the description's own lines start there too.
    const auto option = [](std::string words, std::string_view description) {
        std::string text = "  " + words;
        text += text.size() < 18 ? std::string(19 - text.size(), ' ') : "\n" + std::string(19, ' ');
        for (char c : Tr(description)) text += c == '\n' ? "\n" + std::string(19, ' ') : std::string(1, c);
        return text + "\n";
    };
    const auto heading = [](std::string_view words) { return "\n" + std::string(Tr(words)) + "\n"; };
    std::string text = std::string(Tr("Usage:")) + " " + program + " [/s | /c | /p " + window + " | /a " + window + "]\n";
    const std::string_view usage = Tr("Usage:");
    const std::string indent(1 + std::size_t(std::count_if(usage.begin(), usage.end(),
                                                           [](char c) { return (c & 0xC0) != 0x80; })),
                             ' ');
    if (!windows) text += indent + "quipix --root | --window-id WINDOW\n" + indent + "quipix --idle SECONDS\n";
    text += indent + program + " --record PATH [--size WxH] [--ticks N] [--every K]\n";
    text += indent + program + " --help | --version\n";
    text += heading(N_("A screen saver that tells jokes."));
    text += heading(N_("Screen-saver protocol (the switch character may be / or -):"));
    text += option(std::string(Tr(N_("(nothing)"))), N_("open the settings dialog"));
    text += option("/c", N_("open the settings dialog, owned by the active window"));
    text += option("/s", N_("run the saver full screen, on every monitor"));
    text += windows ? option("/p HWND", N_("draw a preview inside the window HWND")) +
                          option("/a HWND", N_("change the screen-saver password (Windows 95/98)"))
                    : option("/p WINDOW", N_("draw a preview inside the X11 window WINDOW")) +
                          option("/a WINDOW", N_("change the screen-saver password (nothing on Linux)"));
    if (!windows) {
        text += heading(N_("xscreensaver module:"));
        text += option("-root, --root", N_("draw into $XSCREENSAVER_WINDOW, else the root window"));
        text += option("-window-id, --window-id WINDOW", N_("draw into WINDOW (decimal or 0x hex); wins over --root"));
        text += heading(N_("Starting by itself:"));
        text += option("--idle SECONDS", N_("start the saver each time the session has been idle that\n"
                                            "long, unless a video or a presentation holds it off"));
    }
    text += heading(N_("Recording, without a display:"));
    text += option("--record PATH", N_("play one whole joke offscreen, the pause after its answer\n"
                                       "included, and write it to PATH: an animated GIF when PATH\n"
                                       "ends in .gif (a frame that repeats is kept once, for\n"
                                       "longer), else a folder of PNG frames"));
    text += option("--size WxH", N_("scene size (default: the primary screen's)"));
    text += option("--ticks N", N_("record N ticks of 10 ms instead of one joke"));
    text += option("--every K", N_("keep every K-th tick"));
    text += "\n" + option("--help", N_("show this text")) + option("--version", N_("show the version")) + "\n";
    text += windows ? TrFormat(N_("Settings are kept in %s."), {"HKEY_CURRENT_USER\\Software\\Kelvara\\Quipix"})
                    : TrFormat(N_("Settings are kept in %s\n(%s by default)."),
                               {"$XDG_CONFIG_HOME/Kelvara/Quipix.reg", "~/.config/Kelvara/Quipix.reg"});
    return text + "\n";
}

std::optional<int> RunDesktopOption(const DesktopOptions& options, const DesktopFrontEnd& frontEnd,
                                    std::ostream& out, std::ostream& err) {
    using Action = DesktopOptions::Action;
    const Action a = options.action;
    if (a != Action::Help && a != Action::Version && a != Action::Record && a != Action::Error)
        return std::nullopt;
    if (frontEnd.openConsole) frontEnd.openConsole();
    switch (a) {
    case Action::Help:
        out << UsageText(frontEnd.system) << std::flush;
        return 0;
    case Action::Version:
        out << "Quipix " QUIPIX_VERSION "\n" << std::flush;
        return 0;
    case Action::Record: {
        const std::shared_ptr<void> text = frontEnd.startText ? frontEnd.startText() : nullptr;
        return RunRecorder(options.recordArgs);
    }
    default:
        err << (frontEnd.system == UsageSystem::Windows ? "Quipix: " : "quipix: ") << options.error << "\n"
            << UsageText(frontEnd.system) << std::flush;
        return 2;
    }
}

}  // namespace quipix
