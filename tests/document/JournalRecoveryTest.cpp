// The recovery of an interrupted rewrite puts back only what this program left
// half-written, and nothing else: files changed by others since, journals moved,
// copied or planted, and journals that are not journals at all.

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <tuple>

#include "support/DocumentFixture.h"
#include "support/InjectedFaults.h"
#include "support/ToolRunner.h"

namespace {

namespace fs = std::filesystem;

// The journals in a folder, finished or being made.
[[maybe_unused]] std::vector<std::string> Journals(const fs::path& folder) {
    return FileSystem::NamesStartingWith(folder.string(), ".tkvj");
}

class JournalRecoveryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetEnv(kStateHome, dir.Path() / "state");
        folder = dir.Path() / "plate";
        fs::create_directories(folder);
        auto root = ExtendedHeader::MakeRoot();
        AddAt(*root, "Run.Gain", LongValue(5));
        AddAt(*root, "Sample.Well", HeaderElement(std::string_view("A01")));
        WriteAll(File("a.tkv"), SampleFile(*root, SampleRecord(), 4000, 1));
        WriteAll(File("b.tkv"), SampleFile(*root, SampleRecord(), 3000, 2));
    }
    void TearDown() override { ResetStateHome(); }

    std::string File(const std::string& name) const { return (folder / name).string(); }

    // A `tkvhdr set` of a long note on `name`, cut off at its first write to the
    // file: the journal is on disk, the file old (or torn). `inStateFolder`: the
    // plate's folder takes no journal, so it goes to the state folder.
    void LeaveJournal([[maybe_unused]] const std::string& name, [[maybe_unused]] bool tear,
                      [[maybe_unused]] bool inStateFolder = false) {
#ifndef _WIN32
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            const std::string path = File(name);
            InjectedFaults cut(
                tear ? InjectedFaults::Action::TornStop : InjectedFaults::Action::Stop, 1,
                [&](InjectedFaults::Op op, const std::string& p) {
                    if (inStateFolder && op == InjectedFaults::Op::Create && Contains(p, "/plate/"))
                        throw FileError::FromErrno(p, EACCES);
                    return op == InjectedFaults::Op::Write && p == path;
                });
            Tool({"set", File(name), "RUN.NOTE", "ascii", std::string(3000, 'n')});
            ::_exit(3);  // never reached: the write must have come
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the rewrite was not cut";
        ASSERT_EQ(Journals(folder).size(), inStateFolder ? 0u : 1u);
#endif
    }

    TempDir dir;
    fs::path folder;
};

// ------------------------------------------------------------ files changed since

TEST_F(JournalRecoveryTest, AFileChangedByAnotherProgramAfterTheCrashIsNeverTouched) {
    TKV_POSIX_ONLY("fork, to leave a journal as a crash does");
    // Each change edits the file's bytes, written in place or as another file
    // renamed over it (`replace`).
    const std::tuple<const char*, std::function<void(Bytes&)>, bool> changes[] = {
        {"rewritten in place", [](Bytes& b) { b[b.size() - 100] ^= 0xFF; }, false},
        {"shortened", [](Bytes& b) { b.resize(b.size() - 200); }, false},
        {"appended to", [](Bytes& b) { b.resize(b.size() + 5000, 0x5A); }, false},
        // Byte for byte what the journal knows, but another file (cp + mv): only
        // its identity tells, and recovery must heed it.
        {"replaced by a copy of itself", [](Bytes&) {}, true},
    };
    for (bool torn : {false, true}) {
        for (const auto& [what, edit, replace] : changes) {
            SCOPED_TRACE(std::string(what) + (torn ? " (after a torn rewrite)" : ""));
            SetUp();
            LeaveJournal("a.tkv", torn);
            Bytes theirs = ReadAll(File("a.tkv"));
            edit(theirs);
            WriteAll(File(replace ? "a.new" : "a.tkv"), theirs);
            if (replace) fs::rename(File("a.new"), File("a.tkv"));
            // A plain read of another file of the folder recovers the folder.
            const ToolRun run = Tool({"dump", File("b.tkv")});
            EXPECT_EQ(run.status, 0);
            EXPECT_EQ(ReadAll(File("a.tkv")), theirs) << "the other program's bytes were lost";
            EXPECT_TRUE(
                Contains(run.err, File("a.tkv") +
                                      (replace ? " was replaced by another file"
                                               : " was changed by another program") +
                                      " after an interrupted rewrite; it was not touched."));
            EXPECT_TRUE(Journals(folder).empty()) << "the entry is dropped with its journal";
            // Said once: the next open finds nothing more to say.
            EXPECT_EQ(Tool({"dump", File("b.tkv")}).err, "");
            fs::remove_all(folder);
        }
    }
}

// A file left old needs no word; a torn one is put back, where its folder now
// lies if it was moved after the crash. A copy of the folder made before is
// not touched: its files are other files than the journal recorded (another
// inode), and each is named.
TEST_F(JournalRecoveryTest, ATornFileIsPutBackWhereItNowLiesAndNotInACopy) {
    TKV_POSIX_ONLY("fork, to leave a journal as a crash does");
    const Bytes before = ReadAll(File("a.tkv"));
    LeaveJournal("a.tkv", false);
    EXPECT_EQ(Tool({"get", File("a.tkv"), "RUN.GAIN"}).err, "") << "an old file needs no word";
    EXPECT_EQ(ReadAll(File("a.tkv")), before);
    EXPECT_TRUE(Journals(folder).empty());

    LeaveJournal("a.tkv", true);
    const Bytes torn = ReadAll(File("a.tkv"));
    ASSERT_NE(torn, before) << "the rewrite must have torn the file";
    const fs::path copy = dir.Path() / "copy", moved = dir.Path() / "moved-plate";
    fs::copy(folder, copy);
    fs::rename(folder, moved);
    const std::string a = (moved / "a.tkv").string(), copiedA = (copy / "a.tkv").string();
    ToolRun run = Tool({"get", a, "RUN.GAIN"});
    EXPECT_EQ(run.out, "5\n");
    EXPECT_EQ(ReadAll(a), before);
    EXPECT_TRUE(Contains(run.err, a + " was put back as it was"));
    EXPECT_TRUE(Journals(moved).empty());

    ASSERT_EQ(Tool({"set", a, "RUN.GAIN", "long", "7"}).status, 0);
    const Bytes edited = ReadAll(a);
    run = Tool({"dump", (copy / "b.tkv").string()});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ReadAll(copiedA), torn);
    EXPECT_EQ(ReadAll(a), edited) << "the original's later edit was rolled back";
    EXPECT_TRUE(Contains(run.err, "has been copied here"));
    EXPECT_TRUE(
        Contains(run.err, copiedA + " was replaced by another file after an interrupted rewrite"));
}

// A journal that may not be read now (a folder of the state folder open to
// others) or whose file cannot be put back now (a full disk) is kept for the
// next open. Into a state folder others may write (a journal there could be
// taken away, or a link swapped in) no journal goes either, and nothing is written.
TEST_F(JournalRecoveryTest, AJournalThatCannotBeAppliedNowIsKeptAndNoneGoesToASharedStateFolder) {
    TKV_POSIX_ONLY("fork, to leave a journal as a crash does, and mode bits");
    const std::string path = File("a.tkv");
    const Bytes before = ReadAll(path);
    LeaveJournal("a.tkv", true, true);
    const fs::path state = dir.Path() / "state" / "tkv-editor" / "journals";
    const auto kept = [&] {
        return FileSystem::NamesStartingWith(state.string(), RewriteJournal::kPrefix).size();
    };
    ASSERT_EQ(kept(), 1u);
    const Bytes torn = ReadAll(path);
    ASSERT_NE(torn, before);
    fs::permissions(state.parent_path(), fs::perms::all);
    RewriteJournal::Recover(folder.string());
    EXPECT_EQ(ReadAll(path), torn) << "a journal others may have put there is not applied";
    {
        const Bytes other = ReadAll(File("b.tkv"));
        InjectedFaults plate(InjectedFaults::Action::Fail, 0,
                             InjectedFaults::On(InjectedFaults::Op::Create, "/plate/"), EACCES);
        const ToolRun run = Tool({"set", File("b.tkv"), "RUN.GAIN", "long", "7"});
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(Contains(run.err, "is not private"));
        EXPECT_EQ(ReadAll(File("b.tkv")), other);
    }
    fs::permissions(state.parent_path(), fs::perms::owner_all, fs::perm_options::replace);
    {
        InjectedFaults full(InjectedFaults::Action::Fail, 1,
                            InjectedFaults::On(InjectedFaults::Op::Write, path));
        const auto notices = RewriteJournal::Recover(folder.string());
        ASSERT_EQ(notices.size(), 1u);
        EXPECT_TRUE(Contains(notices[0], "the journal was kept to try again"));
    }
    EXPECT_EQ(kept(), 1u);
    EXPECT_NE(ReadAll(path), before);
    RewriteJournal::Recover(folder.string());
    EXPECT_EQ(ReadAll(path), before);
    EXPECT_EQ(kept(), 0u);
}

// ------------------------------------------------------------ planted journals

// A journal as a crash would leave it for a.tkv: its old tail is `stale`, which
// recovery would write back if it trusted the journal.
Bytes PlantedJournal(const fs::path& folder, const std::string& name, const Bytes& stale) {
    const Bytes now = ReadAll((folder / "a.tkv").string());
    const FileSystem::Look st = FileSystem::LookAt((folder / "a.tkv").string());
    RewriteJournal::Entry e;
    e.name = name;
    e.device = st.device;
    e.inode = st.inode;
    e.oldLength = stale.size();
    // The file as it is now counts as a torn mix: its first piece "new", the rest old.
    Bytes newTail(now.begin(), now.begin() + 512);
    RewriteJournal::HashNewTail(e, {{std::span<const std::uint8_t>(newTail)}});
    const FileSystem::Look fst = FileSystem::LookAt(folder.string());
    Bytes staleWithNow = stale;
    std::copy(now.begin() + 512, now.end(), staleWithNow.begin() + 512);
    return RewriteJournal::Encode({fst.device, fst.inode, folder.string()}, {e}, {staleWithNow});
}

TEST_F(JournalRecoveryTest, APlantedJournalIsNeverAppliedNorDeleted) {
    TKV_POSIX_ONLY("mode bits and another owner (chmod, chown)");
#ifndef _WIN32
    const Bytes now = ReadAll(File("a.tkv"));
    Bytes stale = now;
    std::fill(stale.begin(), stale.begin() + 512, 0xEE);
    const Bytes good = PlantedJournal(folder, "a.tkv", stale);
    {
        // Control: the same journal, trusted, does put the stale bytes back.
        WriteAll(File(".tkvjournal-control"), good);
        ::chmod(File(".tkvjournal-control").c_str(), 0600);
        RewriteJournal::Recover(folder.string());
        EXPECT_EQ(ReadAll(File("a.tkv")), stale) << "the planted journal is not a real threat";
        WriteAll(File("a.tkv"), now);
    }
    Bytes cut = good;
    cut.resize(cut.size() - 7);
    // One byte changed where only the trailer's hash of the whole journal covers
    // it: the folder's name as written.
    Bytes changed = good;
    const std::string name = folder.string();
    const auto at = std::search(changed.begin(), changed.end(), name.begin(), name.end());
    ASSERT_NE(at, changed.end());
    at[static_cast<std::ptrdiff_t>(name.size()) - 1] ^= 1;
    const char *notOurs = "is not a rewrite journal of yours",
               *incomplete = "is not a complete rewrite journal";
    const auto mode = [](int m) { return [m](const std::string& p) { ::chmod(p.c_str(), m); }; };
    // What is planted, its bytes, what is done to it then, and what is said of it.
    const std::tuple<const char*, Bytes, std::function<void(const std::string&)>, const char*>
        plants[] = {
            {"writable by its group", good, mode(0620), notOurs},
            {"writable by others", good, mode(0602), notOurs},
            {"with a second name", good,
             [&](const std::string& p) { fs::create_hard_link(p, File("second-name")); }, notOurs},
            {"owned by another user", good,
             [](const std::string& p) {
                 if (::chown(p.c_str(), 4242, 4242) != 0) ::chmod(p.c_str(), 0666);  // not root
             },
             notOurs},
            {"naming a file outside its folder",
             PlantedJournal(folder, "../plate/a.tkv", stale),
             {},
             incomplete},
            {"cut short", cut, {}, incomplete},
            {"changed in a byte", changed, {}, incomplete},
            {"not a journal at all", Bytes{'n', 'o', 't', 'e', 's'}, {}, incomplete},
        };
    for (const auto& [what, bytes, after, message] : plants) {
        SCOPED_TRACE(what);
        const std::string path = File(".tkvjournal-planted");
        WriteAll(path, bytes);
        ::chmod(path.c_str(), 0600);
        if (after) after(path);
        const ToolRun run = Tool({"get", File("a.tkv"), "RUN.GAIN"});
        EXPECT_EQ(run.out, "5\n");
        EXPECT_EQ(ReadAll(File("a.tkv")), now);
        EXPECT_TRUE(fs::exists(path)) << "only a valid journal of ours is ever removed";
        EXPECT_TRUE(Contains(run.err, path + " " + message));
        fs::remove(path);
        fs::remove(File("second-name"));
    }
    // A journal being made by a process number no process can have is left alone.
    const std::string making = File(".tkvjtmp-99999999999999999999-0");
    WriteAll(making, good);
    EXPECT_EQ(Tool({"get", File("a.tkv"), "RUN.GAIN"}).out, "5\n");
    EXPECT_TRUE(fs::exists(making));
    fs::remove(making);
    // A folder strewn with planted journals: one line says so, once for the whole
    // `set` (which recovers the folder when it reads and again when it writes).
    for (int k = 0; k < 2001; ++k) WriteAll(File(".tkvjournal-p" + std::to_string(k)), Bytes{});
    const ToolRun run = Tool({"set", File("a.tkv"), "RUN.GAIN", "long", "6"});
    EXPECT_EQ(run.status, 0) << run.err.substr(0, 300);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err.substr(0, 300);
    EXPECT_TRUE(Contains(run.err, folder.string() + ": 2001 files named .tkvjournal-"));
#endif
}

TEST_F(JournalRecoveryTest, AHugeJunkJournalIsReadInWindowsNotAllocated) {
    TKV_POSIX_ONLY("fork and an address-space limit (setrlimit)");
#ifndef _WIN32
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address-space limit cannot be applied under AddressSanitizer";
#else
    // 512 MiB that start like a journal, and a process that may not map 128 MiB.
    const std::string path = File(".tkvjournal-junk");
    WriteAll(path, Bytes{'T', 'K', 'V', 'J', 'R', 'N', 'L', '3'});
    ::chmod(path.c_str(), 0600);
    fs::resize_file(path, 512ull << 20);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        rlimit limit{128ull << 20, 128ull << 20};
        ::setrlimit(RLIMIT_AS, &limit);
        const auto notices = RewriteJournal::Recover(folder.string());
        ::_exit(notices.size() == 1 && Contains(notices[0], "is not a complete") ? 0 : 4);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(fs::exists(path));
#endif
#endif
}

TEST_F(JournalRecoveryTest, TheDecoderRefusesEveryLieAboutLengths) {
    const Bytes stale = ReadAll(File("a.tkv"));
    const Bytes good = PlantedJournal(folder, "a.tkv", stale);
    RewriteJournal::Head head;
    std::vector<RewriteJournal::Entry> entries;
    ASSERT_TRUE(RewriteJournal::Decode(good, head, entries));
    // Every single flipped byte is caught (by the checksum, or before it).
    for (std::size_t at = 0; at < good.size(); at += 97) {
        Bytes bad = good;
        bad[at] ^= 0x40;
        EXPECT_FALSE(RewriteJournal::Decode(bad, head, entries)) << "byte " << at;
    }
    std::vector<const char*> names = {"", ".", "..", "sub/a.tkv", ".tkvjournal-x"};
#ifdef _WIN32
    // Names Windows reads as another place: a separator, a stream, a device.
    for (const char* name : {"sub\\a.tkv", "a.tkv:stream", "CON", "com1.tkv", "nul .tkv", "a.tkv."})
        names.push_back(name);
#endif
    for (const char* name : names)
        EXPECT_FALSE(RewriteJournal::Decode(PlantedJournal(folder, name, stale), head, entries))
            << "name '" << name << "'";
}

}  // namespace
