// The recovery of an interrupted rewrite puts back only what this program left
// half-written, and nothing else: files changed by others since, journals moved,
// copied or planted, and journals that are not journals at all.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "platform/FileError.h"
#include "platform/FileSystem.h"
#include "platform/RandomAccessFile.h"
#include "platform/RewriteJournal.h"
#include "platform/StreamHash.h"
#include "support/DocumentFixture.h"
#include "support/InjectedFaults.h"
#include "support/ToolRunner.h"

namespace {

namespace fs = std::filesystem;

[[maybe_unused]] std::vector<std::string> Journals(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().filename().string().rfind(".tkvj", 0) == 0)
            names.push_back(e.path().filename().string());
    return names;
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
    void LeaveJournal(const std::string& name, bool tear, bool inStateFolder = false) {
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
#else
        (void)name, (void)tear, (void)inStateFolder;
#endif
    }

    TempDir dir;
    fs::path folder;
};

// ------------------------------------------------------------ the hash

TEST(StreamHashTest, TheSameHoweverTheBytesArriveAndDifferentForAnyChange) {
    const Bytes bytes = PatternBytes(1000, 5);
    const Hash128 whole = StreamHash::Of(bytes);
    for (std::size_t cut : {0u, 1u, 7u, 31u, 32u, 33u, 500u, 999u, 1000u}) {
        StreamHash h;
        h.Update(bytes.data(), cut);
        h.Update(nullptr, 0);  // an empty piece (an empty block has no storage)
        h.Update(bytes.data() + cut, bytes.size() - cut);
        EXPECT_EQ(h.Final(), whole) << "cut at " << cut;
    }
    Bytes changed = bytes;
    changed[999] ^= 1;
    EXPECT_NE(StreamHash::Of(changed), whole);
    EXPECT_NE(StreamHash::Of(std::span(bytes).first(999)), whole) << "the length counts";
    EXPECT_NE(StreamHash::Of({}), StreamHash::Of(Bytes(1, 0)));
}

// ------------------------------------------------------------ files changed since

TEST_F(JournalRecoveryTest, AFileChangedByAnotherProgramAfterTheCrashIsNeverTouched) {
    TKV_POSIX_ONLY("fork, to leave a journal as a crash does");
#ifndef _WIN32
    struct Change {
        const char* what;
        std::function<void(const std::string&)> apply;
        const char* message;
    };
    const Change changes[] = {
        {"rewritten in place",
         [](const std::string& p) {
             Bytes b = ReadAll(p);
             b[b.size() - 100] ^= 0xFF;
             WriteAll(p, b);
         },
         "was changed by another program after an interrupted rewrite; it was not touched."},
        {"shortened", [](const std::string& p) { fs::resize_file(p, fs::file_size(p) - 200); },
         "was changed by another program"},
        {"appended to",
         [](const std::string& p) {
             Bytes b = ReadAll(p);
             b.insert(b.end(), 5000, 0x5A);
             WriteAll(p, b);
         },
         "was changed by another program"},
        {"replaced by a copy from elsewhere",
         [](const std::string& p) {
             const Bytes other = PatternBytes(fs::file_size(p), 77);
             WriteAll(p + ".new", other);
             fs::rename(p + ".new", p);
         },
         "was replaced by another file after an interrupted rewrite; it was not touched."},
        // Byte for byte what the journal knows, but another file (cp + mv): only
        // its identity tells, and recovery must heed it.
        {"replaced by a copy of itself",
         [](const std::string& p) {
             fs::copy_file(p, p + ".new");
             fs::rename(p + ".new", p);
         },
         "was replaced by another file after an interrupted rewrite; it was not touched."},
    };
    for (bool torn : {false, true}) {
        for (const auto& change : changes) {
            SCOPED_TRACE(std::string(change.what) + (torn ? " (after a torn rewrite)" : ""));
            SetUp();
            LeaveJournal("a.tkv", torn);
            change.apply(File("a.tkv"));
            const Bytes theirs = ReadAll(File("a.tkv"));
            const Bytes other = ReadAll(File("b.tkv"));
            // A plain read of another file of the folder recovers the folder.
            const ToolRun run = Tool({"dump", File("b.tkv")});
            EXPECT_EQ(run.status, 0);
            EXPECT_EQ(ReadAll(File("a.tkv")), theirs) << "the other program's bytes were lost";
            EXPECT_EQ(ReadAll(File("b.tkv")), other);
            EXPECT_TRUE(Contains(run.err, File("a.tkv") + " " + change.message)) << run.err;
            EXPECT_TRUE(Journals(folder).empty()) << "the entry is dropped with its journal";
            // Said once: the next open finds nothing more to say.
            EXPECT_EQ(Tool({"dump", File("b.tkv")}).err, "");
            fs::remove_all(folder);
        }
    }
#endif
}

TEST_F(JournalRecoveryTest, ATornFileIsPutBackAndAnUntouchedOneKept) {
    TKV_POSIX_ONLY("fork, to leave a journal as a crash does");
#ifndef _WIN32
    const Bytes before = ReadAll(File("a.tkv"));
    LeaveJournal("a.tkv", true);
    ASSERT_NE(ReadAll(File("a.tkv")), before) << "the rewrite must have torn the file";
    const ToolRun run = Tool({"get", File("a.tkv"), "RUN.GAIN"});
    EXPECT_EQ(run.out, "5\n");
    EXPECT_EQ(ReadAll(File("a.tkv")), before);
    EXPECT_TRUE(Contains(run.err, File("a.tkv") + " was put back as it was")) << run.err;

    LeaveJournal("a.tkv", false);
    EXPECT_EQ(Tool({"get", File("a.tkv"), "RUN.GAIN"}).err, "") << "an old file needs no word";
    EXPECT_EQ(ReadAll(File("a.tkv")), before);
    EXPECT_TRUE(Journals(folder).empty());
#endif
}

// ------------------------------------------------------------ moved and copied

TEST_F(JournalRecoveryTest, AFolderMovedAfterTheCrashIsRecoveredWhereItNowLies) {
    TKV_POSIX_ONLY("fork, to leave a journal as a crash does");
#ifndef _WIN32
    const Bytes before = ReadAll(File("a.tkv"));
    LeaveJournal("a.tkv", true);
    const fs::path moved = dir.Path() / "moved-plate";
    fs::rename(folder, moved);
    const ToolRun run = Tool({"dump", (moved / "b.tkv").string()});
    EXPECT_EQ(ReadAll((moved / "a.tkv").string()), before) << "the torn file stayed torn";
    EXPECT_TRUE(Contains(run.err, "was put back")) << run.err;
    EXPECT_TRUE(Journals(moved).empty());
#endif
}

TEST_F(JournalRecoveryTest, AFileThatCannotBePutBackKeepsTheJournalForTheNextOpen) {
    TKV_POSIX_ONLY("fork, to leave a journal as a crash does");
#ifndef _WIN32
    const Bytes before = ReadAll(File("a.tkv"));
    LeaveJournal("a.tkv", true);
    {
        InjectedFaults full(InjectedFaults::Action::Fail, 1,
                            InjectedFaults::On(InjectedFaults::Op::Write, File("a.tkv")));
        const auto notices = RewriteJournal::Recover(folder.string());
        ASSERT_EQ(notices.size(), 1u);
        EXPECT_TRUE(Contains(notices[0], "the journal was kept to try again")) << notices[0];
    }
    EXPECT_EQ(Journals(folder).size(), 1u);
    EXPECT_NE(ReadAll(File("a.tkv")), before);
    RewriteJournal::Recover(folder.string());
    EXPECT_EQ(ReadAll(File("a.tkv")), before);
    EXPECT_TRUE(Journals(folder).empty());
#endif
}

TEST_F(JournalRecoveryTest, AJournalInAStateFolderOthersMayWriteIsNotRead) {
    TKV_POSIX_ONLY("fork, to leave a journal as a crash does, and mode bits");
#ifndef _WIN32
    const Bytes before = ReadAll(File("a.tkv"));
    const std::string path = File("a.tkv");
    LeaveJournal("a.tkv", true, true);
    const fs::path state = dir.Path() / "state" / "tkv-editor" / "journals";
    ASSERT_FALSE(FileSystem::NamesStartingWith(state.string(), RewriteJournal::kPrefix).empty());
    const Bytes torn = ReadAll(path);
    ASSERT_NE(torn, before);
    fs::permissions(state, fs::perms::all);
    RewriteJournal::Recover(folder.string());
    EXPECT_EQ(ReadAll(path), torn) << "a journal others may have put there is not applied";
    fs::permissions(state, fs::perms::owner_all, fs::perm_options::replace);
    RewriteJournal::Recover(folder.string());
    EXPECT_EQ(ReadAll(path), before);
#endif
}

TEST_F(JournalRecoveryTest, ACopiedJournalReachesOnlyTheFilesBesideIt) {
    TKV_POSIX_ONLY("fork, to leave a journal as a crash does");
#ifndef _WIN32
    const Bytes before = ReadAll(File("a.tkv"));
    LeaveJournal("a.tkv", true);
    const fs::path copy = dir.Path() / "copy";
    fs::copy(folder, copy);
    // The original is recovered and edited on.
    ASSERT_EQ(Tool({"set", File("a.tkv"), "RUN.GAIN", "long", "7"}).status, 0);
    const Bytes edited = ReadAll(File("a.tkv"));
    // Opening the copy touches neither the original nor the copies: they are other
    // files than the journal recorded (another inode), and each is named.
    const Bytes tornCopy = ReadAll((copy / "a.tkv").string());
    ASSERT_NE(tornCopy, before);
    const ToolRun run = Tool({"dump", (copy / "b.tkv").string()});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ReadAll((copy / "a.tkv").string()), tornCopy);
    EXPECT_EQ(ReadAll(File("a.tkv")), edited) << "the original's later edit was rolled back";
    EXPECT_TRUE(Contains(run.err, "has been copied here")) << run.err;
    EXPECT_TRUE(Contains(run.err, (copy / "a.tkv").string() +
                                      " was replaced by another file after an interrupted rewrite"))
        << run.err;
#endif
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
    e.tailStart = 0;
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
    struct Plant {
        const char* what;
        Bytes bytes;
        std::function<void(const std::string&)> after;
        const char* message;
    };
    Bytes cut = good;
    cut.resize(cut.size() - 7);
    // One byte changed where only the trailer's hash of the whole journal covers
    // it: the folder's name as written.
    Bytes changed = good;
    const std::string name = folder.string();
    const auto at = std::search(changed.begin(), changed.end(), name.begin(), name.end());
    ASSERT_NE(at, changed.end());
    at[static_cast<std::ptrdiff_t>(name.size()) - 1] ^= 1;
    const Plant plants[] = {
        {"writable by its group", good, [](const std::string& p) { ::chmod(p.c_str(), 0620); },
         "is not a rewrite journal of yours"},
        {"writable by others", good, [](const std::string& p) { ::chmod(p.c_str(), 0602); },
         "is not a rewrite journal of yours"},
        {"with a second name", good,
         [&](const std::string& p) { fs::create_hard_link(p, File("second-name")); },
         "is not a rewrite journal of yours"},
        {"owned by another user", good,
         [](const std::string& p) {
             if (::chown(p.c_str(), 4242, 4242) != 0) ::chmod(p.c_str(), 0666);  // not root
         },
         "is not a rewrite journal of yours"},
        {"naming a file outside its folder",
         PlantedJournal(folder, "../plate/a.tkv", stale),
         {},
         "is not a complete rewrite journal"},
        {"cut short", cut, {}, "is not a complete rewrite journal"},
        {"changed in a byte", changed, {}, "is not a complete rewrite journal"},
        {"not a journal at all",
         Bytes{'n', 'o', 't', 'e', 's'},
         {},
         "is not a complete rewrite journal"},
    };
    for (const auto& plant : plants) {
        SCOPED_TRACE(plant.what);
        const std::string path = File(".tkvjournal-planted");
        WriteAll(path, plant.bytes);
        ::chmod(path.c_str(), 0600);
        if (plant.after) plant.after(path);
        const ToolRun run = Tool({"get", File("a.tkv"), "RUN.GAIN"});
        EXPECT_EQ(run.out, "5\n");
        EXPECT_EQ(ReadAll(File("a.tkv")), now);
        EXPECT_TRUE(fs::exists(path)) << "only a valid journal of ours is ever removed";
        EXPECT_TRUE(Contains(run.err, path + " " + plant.message)) << run.err;
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
    EXPECT_TRUE(Contains(run.err, folder.string() + ": 2001 files named .tkvjournal-"))
        << run.err.substr(0, 300);
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
    const Bytes now = ReadAll(File("a.tkv"));
    Bytes stale = now;
    const Bytes good = PlantedJournal(folder, "a.tkv", stale);
    RewriteJournal::Head head;
    std::vector<RewriteJournal::Entry> entries;
    ASSERT_TRUE(RewriteJournal::Decode(good, head, entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "a.tkv");
    // Every single flipped byte is caught (by the checksum, or before it).
    for (std::size_t at = 0; at < good.size(); at += 97) {
        Bytes bad = good;
        bad[at] ^= 0x40;
        EXPECT_FALSE(RewriteJournal::Decode(bad, head, entries)) << "byte " << at;
    }
    // The check that failed is named.
    std::string why;
    Bytes badMagic = good;
    badMagic[0] ^= 0x40;
    EXPECT_FALSE(RewriteJournal::Decode(badMagic, head, entries, &why));
    EXPECT_EQ(why, "it does not start as a journal or is too short");
    Bytes badBody = good;
    badBody[good.size() / 2] ^= 0x40;
    EXPECT_FALSE(RewriteJournal::Decode(badBody, head, entries, &why));
    EXPECT_EQ(why, "its checksum does not match its bytes");
    std::vector<const char*> names = {"", ".", "..", "sub/a.tkv", ".tkvjournal-x"};
#ifdef _WIN32
    // Names Windows reads as another place: a separator, a stream, a device.
    for (const char* name : {"sub\\a.tkv", "a.tkv:stream", "CON", "com1.tkv", "nul .tkv", "a.tkv."})
        names.push_back(name);
#endif
    for (const char* name : names) {
        why.clear();
        EXPECT_FALSE(
            RewriteJournal::Decode(PlantedJournal(folder, name, stale), head, entries, &why))
            << "name '" << name << "'";
        EXPECT_EQ(why, "an entry's file name is not a plain name of the folder, or comes twice")
            << "name '" << name << "'";
    }
}

}  // namespace
