// The REGEDIT4 format and the per-user file store.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/registry.h"
#include "support/test_support.h"

namespace quipix::platform {
namespace {

namespace fs = std::filesystem;

const RegValue* Find(const RegFileContents& c, const std::string& key, const std::string& name) {
    for (const auto& k : c.keys)
        if (k.path == key)
            for (const auto& [n, v] : k.values)
                if (n == name) return &v;
    return nullptr;
}

std::string Utf16(const std::string& ascii, bool bom = true) {
    std::string out = bom ? "\xFF\xFE" : "";
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(RegFile, ReadsTypesEscapesAndContinuations) {
    auto c = ParseRegFile(
        "REGEDIT4\r\n\r\n"
        "; comment\r\n"
        "[HKEY_CURRENT_USER\\Software\\A]\r\n"
        "\"Str\"=\"say \\\"hi\\\" C:\\\\dir\"\r\n"
        "\"Odd\"=\"keep \\n as written\"\r\n"
        "\"Num\"=dword:0000ff01\r\n"
        "\"Exp\"=hex(2):25,48,4f,4d,45,25,00\r\n"
        "\"Bin\"=hex:01,02,\\\r\n"
        "  03\r\n"
        "@=\"default\"\r\n"
        "[HKCU\\Software\\B]\n"
        "\"Sz\"=hex(1):61,62,00\n");
    EXPECT_FALSE(c.damaged);
    ASSERT_EQ(c.keys.size(), 2u);
    EXPECT_EQ(c.keys[1].path, "HKEY_CURRENT_USER\\Software\\B");
    const std::string a = "HKEY_CURRENT_USER\\Software\\A";
    EXPECT_EQ(*Find(c, a, "Str"), RegValue::String("say \"hi\" C:\\dir"));
    EXPECT_EQ(*Find(c, a, "Odd"), RegValue::String("keep \\n as written"));
    EXPECT_EQ(*Find(c, a, "Num"), RegValue::DWord(0xff01));
    EXPECT_EQ(*Find(c, a, "Exp"), RegValue::ExpandString("%HOME%"));
    EXPECT_EQ(*Find(c, a, "Bin"), (RegValue{kRegBinary, "\x01\x02\x03"}));
    EXPECT_EQ(*Find(c, a, ""), RegValue::String("default"));
    EXPECT_EQ(*Find(c, "HKEY_CURRENT_USER\\Software\\B", "Sz"), RegValue::String("ab"));
}

TEST(RegFile, ReadsAUnicodeExport) {
    std::string text = Utf16(
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Kelvara\\Quipix\\General]\r\n"
        "\"Speed\"=\"5\"\r\n"
        "\"Directory\"=hex(2):43,00,3a,00,5c,00,00,00\r\n");
    // A non-ASCII value: "é" as UTF-16.
    text += Utf16("\"Face\"=\"", false);
    text += std::string("\xE9\x00", 2);
    text += Utf16("\"\r\n", false);
    auto c = ParseRegFile(text);
    EXPECT_FALSE(c.damaged);
    const std::string g = "HKEY_CURRENT_USER\\Software\\Kelvara\\Quipix\\General";
    ASSERT_TRUE(Find(c, g, "Speed"));
    EXPECT_EQ(*Find(c, g, "Speed"), RegValue::String("5"));
    EXPECT_EQ(*Find(c, g, "Directory"), RegValue::ExpandString("C:\\"));
    ASSERT_TRUE(Find(c, g, "Face"));
    EXPECT_EQ(Find(c, g, "Face")->data, "\xC3\xA9");
}

TEST(RegFile, AppliesDeletionsAndMergesCaseInsensitively) {
    auto c = ParseRegFile(
        "REGEDIT4\n[HKCU\\A]\n\"x\"=\"1\"\n\"y\"=\"2\"\n[HKCU\\A\\Sub]\n\"z\"=\"3\"\n"
        "[hkey_current_user\\a]\n\"X\"=\"one\"\n\"y\"=-\n"
        "[-HKCU\\A\\Sub]\n[HKCU\\C]\n\"k\"=\"v\"\n[-HKCU\\C]\n[HKCU\\C]\n");
    EXPECT_FALSE(c.damaged);
    ASSERT_EQ(c.keys.size(), 2u);
    ASSERT_EQ(c.keys[0].values.size(), 1u);
    EXPECT_EQ(c.keys[0].values[0].first, "x");  // the name keeps its first spelling
    EXPECT_EQ(c.keys[0].values[0].second, RegValue::String("one"));
    EXPECT_EQ(c.keys[1].path, "HKEY_CURRENT_USER\\C");
    EXPECT_TRUE(c.keys[1].values.empty());
}

TEST(RegFile, SkipsWhatItCannotReadAndKeepsTheRest) {
    const char* bad[] = {
        "REGEDIT4\n[HKCU\\A]\n\"ok\"=\"1\"\n\"bad\"=\"unterminated\n",
        "REGEDIT4\n[HKCU\\A]\n\"ok\"=\"1\"\n\"bad\"=dword:123456789\n",
        "REGEDIT4\n[HKCU\\A]\n\"ok\"=\"1\"\n\"bad\"=hex:1,zz\n",
        "REGEDIT4\n[HKCU\\A]\n\"ok\"=\"1\"\n\"bad\"=wat\n",
        "REGEDIT4\n[HKCU\\A]\n\"ok\"=\"1\"\nrubbish line\n",
        "REGEDIT4\n[HKCU\\A\n[HKCU\\A]\n\"ok\"=\"1\"\n",
        "not a header\n[HKCU\\A]\n\"ok\"=\"1\"\n",
        "REGEDIT4\n\"orphan\"=\"value\"\n[HKCU\\A]\n\"ok\"=\"1\"\n\"bad\"=hex(1",
    };
    for (const char* text : bad) {
        auto c = ParseRegFile(text);
        EXPECT_TRUE(c.damaged) << text;
        ASSERT_TRUE(Find(c, "HKEY_CURRENT_USER\\A", "ok")) << text;
        EXPECT_EQ(Find(c, "HKEY_CURRENT_USER\\A", "bad"), nullptr) << text;
    }
}

TEST(RegFile, WritesWhatItReads) {
    RegFileContents c;
    c.keys.push_back({"HKEY_CURRENT_USER\\Software\\Q", {}});
    auto& v = c.keys.back().values;
    v.emplace_back("plain", RegValue::String("a \"quoted\" \\ path"));
    v.emplace_back("lines", RegValue::String(std::string("two\r\nlines\0and nul", 18)));
    v.emplace_back("", RegValue::String("default"));
    v.emplace_back("dw", RegValue::DWord(0xDEADBEEF));
    v.emplace_back("exp", RegValue::ExpandString("%PATH%"));
    v.emplace_back("big", RegValue{kRegBinary, std::string(300, '\x7f')});
    v.emplace_back("odd", RegValue{0x4000, "xyz"});
    c.keys.push_back({"HKEY_LOCAL_MACHINE\\Other", {{"k", RegValue::String("v")}}});
    const std::string text = FormatRegFile(c);
    EXPECT_TRUE(text.starts_with("REGEDIT4\n"));
    EXPECT_NE(text.find("\"dw\"=dword:deadbeef\n"), std::string::npos);
    EXPECT_NE(text.find("\"plain\"=\"a \\\"quoted\\\" \\\\ path\"\n"), std::string::npos);
    auto back = ParseRegFile(text);
    EXPECT_FALSE(back.damaged);
    ASSERT_EQ(back.keys.size(), 2u);
    EXPECT_EQ(back.keys[0].values, c.keys[0].values);
    EXPECT_EQ(back.keys[1].values, c.keys[1].values);
}

TEST(RegFile, HostileBytesNeverCrash) {
    std::string bytes = "REGEDIT4\n[HKCU\\A]\n";
    std::uint32_t x = 7;
    for (int i = 0; i < 100000; ++i) {
        x = x * 1103515245u + 12345u;
        bytes += "[]\"=\\,hex(2):dword-@;\n\r\xff\xfe\0aZ"[(x >> 16) % 28];
    }
    auto c = ParseRegFile(bytes);
    auto again = ParseRegFile(FormatRegFile(c));
    EXPECT_EQ(again.keys.size(), c.keys.size());
    ParseRegFile("\xFF\xFE\x41");                              // odd UTF-16 length
    ParseRegFile(std::string("\xFF\xFE\x00\xD8\x41\x00", 6));  // lone surrogate
}

class FileStoreTest : public ::testing::Test {
protected:
    std::string Path() const { return (dir_.path() / "Kelvara" / "Quipix.reg").string(); }
    // The file, its lock file and nothing else once every save has ended.
    std::set<std::string> FolderEntries() const {
        std::set<std::string> names;
        for (auto& e : fs::directory_iterator(dir_.path() / "Kelvara"))
            names.insert(e.path().filename().string());
        return names;
    }
    test::TempDir dir_;
};

TEST_F(FileStoreTest, CreatesTheFolderAndSavesAtomically) {
    FileRegistry store(Path());
    EXPECT_FALSE(store.KeyExists("Software"));
    EXPECT_TRUE(store.CreateKey("Software\\Q\\General"));
    EXPECT_TRUE(store.KeyExists("software\\q"));  // a parent exists through its child
    EXPECT_FALSE(store.WriteValue("Software\\Nope", "x", RegValue::String("1")));
    EXPECT_TRUE(store.WriteValue("Software\\Q\\General", "Speed", RegValue::String("5")));
    EXPECT_TRUE(store.WriteValue("Software\\Q", "Top", RegValue::String("t")));
    EXPECT_NE(ReadText(Path()).find("\"Speed\"=\"5\""), std::string::npos);
    EXPECT_EQ(store.ReadValue("SOFTWARE\\Q\\GENERAL", "speed"), RegValue::String("5"));
    EXPECT_EQ(store.ReadValue("Software\\Q\\General", "Other"), std::nullopt);
    EXPECT_EQ(FolderEntries(), (std::set<std::string>{"Quipix.reg", "Quipix.reg.lock"}));
}

TEST_F(FileStoreTest, SeesWhatAnotherProcessSaved) {
    FileRegistry mine(Path()), theirs(Path());
    ASSERT_TRUE(mine.CreateKey("K"));
    ASSERT_TRUE(mine.WriteValue("K", "a", RegValue::String("1")));
    EXPECT_EQ(theirs.ReadValue("K", "a"), RegValue::String("1"));
    ASSERT_TRUE(theirs.WriteValue("K", "b", RegValue::String("2")));
    EXPECT_EQ(mine.ReadValue("K", "b"), RegValue::String("2"));
    ASSERT_TRUE(mine.WriteValue("K", "a", RegValue::String("3")));
    EXPECT_EQ(theirs.ReadValue("K", "b"), RegValue::String("2"));  // not lost by mine's write
    EXPECT_EQ(theirs.ReadValue("K", "a"), RegValue::String("3"));
}

TEST_F(FileStoreTest, ADamagedFileIsLeftAloneUntilARealWrite) {
    fs::create_directories(dir_.path() / "Kelvara");
    const std::string damaged = "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"a\"=\"1\"\n\"b\"=\x01\x02garbage\n";
    std::ofstream(Path(), std::ios::binary) << damaged;
    FileRegistry store(Path());
    EXPECT_EQ(store.ReadValue("K", "a"), RegValue::String("1"));
    EXPECT_EQ(store.ReadValue("K", "b"), std::nullopt);
    EXPECT_TRUE(store.CreateKey("K\\New"));
    EXPECT_TRUE(store.KeyExists("K\\New"));
    EXPECT_TRUE(store.WriteValue("K", "a", RegValue::String("1")));  // unchanged: no write
    EXPECT_EQ(ReadText(Path()), damaged);
    EXPECT_TRUE(store.WriteValue("K\\New", "c", RegValue::String("2")));
    auto text = ReadText(Path());
    EXPECT_NE(text.find("\"a\"=\"1\""), std::string::npos);
    EXPECT_NE(text.find("\"c\"=\"2\""), std::string::npos);
    EXPECT_EQ(text.find("garbage"), std::string::npos);
}

TEST_F(FileStoreTest, AFileThatCannotBeReadIsNeverWritten) {
    struct Case {
        const char* name;
        std::function<void()> make;  // what stands at the store's path
        std::string reason;
    };
    const std::string regedit = "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"a\"=\"1\"\n";
    const std::vector<Case> cases = {
        {"a folder", [&] { fs::create_directories(Path()); }, "Is a directory"},
        {"over the size the store takes",
         [&] {
             std::ofstream(Path(), std::ios::binary) << regedit;
             fs::resize_file(Path(), kMaxRegFileSize + 1);
         },
         "larger than 4 MiB"},
        {"a loop of links", [&] { fs::create_symlink("Quipix.reg", Path()); },
         "Too many levels of symbolic links"},
        // Root reads any file.
        {geteuid() == 0 ? nullptr : "one its user may not read",
         [&] {
             std::ofstream(Path(), std::ios::binary) << regedit;
             fs::permissions(Path(), fs::perms::none);
         },
         "Permission denied"},
    };
    for (const Case& c : cases) {
        if (!c.name) continue;
        fs::remove_all(dir_.path() / "Kelvara");
        fs::create_directories(dir_.path() / "Kelvara");
        c.make();
        const auto before = fs::symlink_status(Path()).type();
        const bool file = before == fs::file_type::regular;
        const auto written = file ? fs::last_write_time(Path()) : fs::file_time_type();
        const std::string failure =
            "The settings file at " + Path() + " cannot be read (" + c.reason + ") and will not be changed.";
        FileRegistry store(Path());
        EXPECT_EQ(store.ReadValue("K", "a"), std::nullopt) << c.name;
        EXPECT_EQ(store.ReadFailure(), failure) << c.name;
        EXPECT_FALSE(store.CreateKey("K")) << c.name;
        EXPECT_FALSE(store.WriteValue("K", "a", RegValue::String("2"))) << c.name;
        EXPECT_EQ(store.WriteFailure(), failure) << c.name;
        EXPECT_EQ(fs::symlink_status(Path()).type(), before) << c.name;
        if (file) {
            EXPECT_EQ(fs::last_write_time(Path()), written) << c.name;
            fs::permissions(Path(), fs::perms::owner_read, fs::perm_options::add);
            EXPECT_TRUE(ReadText(Path()).starts_with(regedit)) << c.name;
            // Once it can be read again, it is read.
            EXPECT_EQ(store.ReadFailure().empty(), fs::file_size(Path()) <= kMaxRegFileSize) << c.name;
        }
    }
}

TEST_F(FileStoreTest, SavesKeepALinkAndAReadOnlyFile) {
    // The settings in a folder of dotfiles, linked from where the program looks.
    fs::create_directories(dir_.path() / "dotfiles");
    fs::create_directories(dir_.path() / "Kelvara");
    fs::create_symlink("../dotfiles/Quipix.reg", Path());
    const fs::path target = dir_.path() / "dotfiles" / "Quipix.reg";
    ASSERT_TRUE(FileRegistry(Path()).CreateKey("K"));  // the link led nowhere yet
    FileRegistry store(Path());
    ASSERT_TRUE(store.WriteValue("K", "a", RegValue::String("1")));
    EXPECT_TRUE(fs::is_symlink(Path()));
    EXPECT_NE(ReadText(target.string()).find("\"a\"=\"1\""), std::string::npos);
    EXPECT_EQ(FolderEntries(), (std::set<std::string>{"Quipix.reg", "Quipix.reg.lock"}));
    std::set<std::string> besideTarget;
    for (const auto& e : fs::directory_iterator(target.parent_path()))
        besideTarget.insert(e.path().filename().string());
    EXPECT_EQ(besideTarget, std::set<std::string>{"Quipix.reg"});

    // Without write permission, for its owner and for root alike.
    fs::permissions(target, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const std::string before = ReadText(target.string());
    EXPECT_FALSE(store.WriteValue("K", "a", RegValue::String("2")));
    EXPECT_EQ(store.WriteFailure(), "Cannot save the settings to " + Path() + ": Permission denied");
    EXPECT_EQ(ReadText(target.string()), before);
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(store.ReadValue("K", "a"), RegValue::String("1"));
}

TEST_F(FileStoreTest, AFullDiskFailsTheSaveWithItsReason) {
    // A small file system of its own, in a mount namespace that ends with the child.
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(out[0]);
        const std::string folder = (dir_.path() / "Kelvara").string();
        fs::create_directories(folder);
        if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k") != 0)
            _exit(77);
        FileRegistry store(Path());
        bool ok = store.CreateKey("K");
        // What fits, and then the rest of the disk taken by another file.
        std::ofstream((dir_.path() / "Kelvara" / "filler").string(), std::ios::binary)
            << std::string(64 << 10, 'x');
        ok = ok && !store.WriteValue("K", "v", RegValue::String(std::string(16 << 10, 'y')));
        const std::string text = ok ? store.WriteFailure() + "\n" + ReadText(Path()) : "";
        if (write(out[1], text.data(), text.size()) != ssize_t(text.size())) _exit(1);
        _exit(ok ? 0 : 1);
    }
    close(out[1]);
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) text.append(buf, size_t(n));
    close(out[0]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no small file system can be mounted here (needs root)";
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(text, "Cannot save the settings to " + Path() + ": No space left on device\n" +
                        FormatRegFile({{{"HKEY_CURRENT_USER\\K", {}}}}));
}

TEST_F(FileStoreTest, AFolderThatCannotBeCreatedFailsWrites) {
    std::ofstream(dir_.path() / "file") << "x";
    FileRegistry store((dir_.path() / "file" / "Quipix.reg").string());
    EXPECT_FALSE(store.CreateKey("K"));
    EXPECT_FALSE(store.KeyExists("K"));
}

TEST_F(FileStoreTest, NeverWritesAFileTheNextLoadWouldRefuse) {
    const std::string key = "HKEY_CURRENT_USER\\K";
    const std::uint64_t overhead = FormatRegFile({{{key, {{"v", RegValue::String("")}}}}}).size();
    ASSERT_TRUE(FileRegistry(Path()).CreateKey("K"));
    for (std::uint64_t size : {kMaxRegFileSize, kMaxRegFileSize + 1}) {
        const bool fits = size <= kMaxRegFileSize;
        const std::string before = ReadText(Path());
        FileRegistry store(Path());
        EXPECT_EQ(store.WriteValue("K", "v", RegValue::String(std::string(size - overhead, 'x'))), fits)
            << size;
        if (!fits) {
            EXPECT_EQ(ReadText(Path()), before);
            EXPECT_EQ(store.WriteFailure(),
                      "Cannot save the settings to " + Path() + ": the settings would be larger than 4 MiB");
        }
        // What one process saved, the next one loads.
        auto loaded = FileRegistry(Path()).ReadValue("K", "v");
        ASSERT_TRUE(loaded);
        EXPECT_EQ(loaded->data.size(), kMaxRegFileSize - overhead) << size;
    }
}

TEST_F(FileStoreTest, LeavesNoTemporaryFilesAndLosesNoConcurrentChange) {
    // What interrupted saves of this version and of earlier ones leave behind.
    fs::create_directories(dir_.path() / "Kelvara");
    for (const char* leftover : {"Quipix.reg.tmp", "Quipix.reg.a1B2c3", "Quipix.reg.XyZ789"})
        std::ofstream(dir_.path() / "Kelvara" / leftover) << "REGEDIT4\n";
    ASSERT_TRUE(FileRegistry(Path()).CreateKey("K"));
    // Processes that each keep re-saving their own value: under the lock every
    // read-modify-write sees the others' latest, so all last values survive.
    constexpr int kWriters = 3, kRounds = 150;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            FileRegistry store(Path());
            bool ok = true;
            for (int i = 1; i <= kRounds && ok; ++i) {
                RegistryBatch batch(store);
                ok = store.WriteValue("K", "w" + std::to_string(w), RegValue::String(std::to_string(i))) &&
                     store.WriteValue("K", "w" + std::to_string(w) + "copy",
                                      RegValue::String(std::to_string(i))) &&
                     batch.End();
            }
            _exit(ok ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const RegFileContents saved = ParseRegFile(ReadText(Path()));
    EXPECT_FALSE(saved.damaged);
    FileRegistry store(Path());
    for (int w = 0; w < kWriters; ++w) {
        EXPECT_EQ(store.ReadValue("K", "w" + std::to_string(w)), RegValue::String(std::to_string(kRounds)));
        EXPECT_EQ(store.ReadValue("K", "w" + std::to_string(w) + "copy"),
                  RegValue::String(std::to_string(kRounds)));
    }
    EXPECT_EQ(FolderEntries(), (std::set<std::string>{"Quipix.reg", "Quipix.reg.lock"}));
}

TEST(DefaultRegistryPath, FollowsXdgConfigHome) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", "/tmp/xdg-test", 1);
    EXPECT_EQ(DefaultRegistryPath(), "/tmp/xdg-test/Kelvara/Quipix.reg");
    setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    EXPECT_TRUE(DefaultRegistryPath().ends_with("/.config/Kelvara/Quipix.reg"));
    EXPECT_EQ(DefaultRegistryPath().find("relative"), std::string::npos);
    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace quipix::platform
