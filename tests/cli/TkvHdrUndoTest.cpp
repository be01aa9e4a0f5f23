// Undo of folder saves: tkvhdr undo over a plate that apply and sheet import
// wrote, with files that other programs changed in between.

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "cli/CliSupport.h"
#include "support/InjectedFaults.h"

namespace {

namespace fs = std::filesystem;

class TkvHdrUndoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetEnv(kStateHome, dir.Path() / "state");
        fs::create_directory(plate);
        for (int i = 0; i < 24; ++i) {
            auto root = ExtendedHeader::MakeRoot();
            AddAt(*root, "RUN.GAIN", LongValue(5));
            AddAt(*root, "SAMPLE.NAME", HeaderElement(std::string_view("S" + std::to_string(i))));
            WriteAll(File(i), SampleFile(*root, SampleRecord(), 900 + 13 * i,
                                         static_cast<std::uint32_t>(i)));
        }
    }
    void TearDown() override { ResetStateHome(); }
    static std::string Name(int i) { return "F" + std::to_string(10 + i) + ".tkv"; }
    std::string File(int i) const { return (plate / Name(i)).string(); }
    // A folder save that must succeed.
    ToolRun Apply(const std::string& gain) {
        return Exits(0,
                     {"apply", File(0), "RUN.GAIN", "long", gain, "QC.BATCH", "ascii", "B" + gain});
    }

    // The folders of the undo place, each a record (planted ones too).
    std::vector<fs::path> RecordFolders() const {
        std::vector<fs::path> out;
        for (const auto& e : fs::directory_iterator(FolderUndo::Place()))
            if (e.path().filename().string()[0] != '.') out.push_back(e.path());
        std::sort(out.begin(), out.end());
        return out;
    }

    TempDir dir;
    fs::path plate = dir.Path() / "plate";
};

// Fails the chosen operation on every path that contains `part`.
struct FailOn : InjectedFaults {
    FailOn(Op op, std::string part)
        : InjectedFaults(Action::Fail, 0, On(op, std::move(part)), EIO) {}
};

TEST_F(TkvHdrUndoTest, EachUndoTakesBackOneSaveByteForByteNewestFirst) {
    const Files pristine = FolderContents(plate);
    Apply("7");
    const Files applied = FolderContents(plate);
    // A sheet gives every file its own name; the third file has no change.
    std::string text = "file,SAMPLE.NAME:ascii\n";
    for (int i = 0; i < 24; ++i) text += Name(i) + "," + (i == 2 ? "S2" : "new " + Name(i)) + "\n";
    ASSERT_EQ(Tool({"sheet", "import", File(0), WriteText(dir.File("s.csv"), text)}).status, 0);

    const ToolRun list = Exits(0, {"undo", "--list", plate.string()});
    EXPECT_LT(list.out.find("tkvhdr sheet import s.csv, 23 files)"), list.out.find("2\t"))
        << list.out;
    EXPECT_TRUE(Contains(list.out, "tkvhdr apply RUN.GAIN QC.BATCH, 24 files)"));

    // A file of the folder names it too.
    EXPECT_TRUE(Contains(Exits(0, {"undo", File(3)}).out,
                         "23 restored, 0 unchanged, 0 left alone, 0 missing, 0 failed"));
    EXPECT_EQ(FolderContents(plate), applied);
    EXPECT_TRUE(Contains(Tool({"undo", plate.string()}).out, "24 restored"));
    EXPECT_EQ(FolderContents(plate), pristine) << "no journal or other file is left behind";
    EXPECT_TRUE(
        Contains(Exits(1, {"undo", plate.string()}).err, "there is no folder save to undo"));
    // A dry run and a save that changes nothing keep no record.
    Exits(0, {"apply", "--dry-run", File(0), "RUN.GAIN", "long", "1"});
    Exits(0, {"apply", File(0), "RUN.GAIN", "long", "5"});
    EXPECT_TRUE(Contains(Tool({"undo", "--list", plate.string()}).out, "no folder save"));
}

TEST_F(TkvHdrUndoTest, FilesChangedSinceAreLeftAloneAndNamed) {
    const Files pristine = FolderContents(plate);
    Apply("7");
    // Other programs at work on the plate after the save:
    auto change = [&](int i, auto how) {
        Bytes b = ReadAll(File(i));
        how(b);
        WriteAll(File(i), b);
    };
    change(1, [](Bytes& b) { b[b.size() - 640] ^= 0x20; });  // a byte of the block the save wrote
    change(2, [](Bytes& b) { b.push_back(0); });             // grown
    change(3, [](Bytes& b) { b.pop_back(); });               // cut
    change(8, [](Bytes& b) { b[10] ^= 0xFF; });  // the sample data in front, never written
    fs::remove(File(4));
    WriteAll((plate / "other").string(), ReadAll(File(5)));  // replaced by a copy of another file
    fs::rename(plate / "other", File(6));
    Exits(0, {"set", File(7), "RUN.GAIN", "long", "8"});  // this program's own
    const Files before = FolderContents(plate);

    const ToolRun r = Exits(1, {"undo", plate.string()});
    for (int i : {1, 2, 3, 7})
        EXPECT_TRUE(Contains(r.out, "left alone: " + Name(i) + " (changed since the save)"));
    EXPECT_TRUE(
        Contains(r.out, "left alone: " + Name(6) + " (replaced by another file since the save)"));
    EXPECT_TRUE(Contains(r.out, "missing: " + Name(4)));
    EXPECT_TRUE(Contains(r.out, "18 restored, 0 unchanged, 5 left alone, 1 missing, 0 failed"));
    // The files changed since are not touched; in F18 the other program's change
    // stays and the header goes back; no journal is left behind.
    Files expected = pristine;
    for (int i : {1, 2, 3, 6, 7}) expected[Name(i)] = before.at(Name(i));
    expected[Name(8)][10] ^= 0xFF;
    expected.erase(Name(4));
    EXPECT_TRUE(FolderContents(plate) == expected);
}

TEST_F(TkvHdrUndoTest, TheLastTenSavesAreKeptNewestFirstAndASaveWithoutARecordStillWrites) {
    for (int k = 0; k < 12; ++k) Apply(std::to_string(100 + k));
    const auto records = FolderUndo::List(plate.string());
    ASSERT_EQ(records.size(), FolderUndo::kKept);
    // Undo takes back the newest save; ten step back to what the oldest kept
    // found. Records rank by the time they hold, not by their folder's name:
    // the oldest one's is renamed to sort last.
    const auto folders = RecordFolders();
    fs::rename(folders.front(), folders.front().parent_path() / "zzzz");
    ASSERT_EQ(Tool({"undo", plate.string()}).status, 0);
    EXPECT_EQ(Tool({"get", File(9), "RUN.GAIN"}).out, "110\n");
    for (std::size_t k = 1; k < FolderUndo::kKept; ++k)
        ASSERT_EQ(Tool({"undo", plate.string()}).status, 0);
    EXPECT_EQ(Tool({"get", File(9), "RUN.GAIN"}).out, "101\n");
    EXPECT_EQ(Tool({"undo", plate.string()}).status, 1) << "the older saves were let go";
    // A record belongs to the folder's path as well as to its identity, which
    // the system may give to a new folder once this one is gone.
    Apply("60");
    fs::rename(plate, dir.Path() / "moved");
    EXPECT_TRUE(FolderUndo::List((dir.Path() / "moved").string()).empty());
    fs::rename(dir.Path() / "moved", plate);
    EXPECT_EQ(FolderUndo::List(plate.string()).size(), 1u);

    // Where no record can be kept the save goes on, and says it cannot be undone.
    WriteAll(dir.File("state-is-a-file"), Bytes{1});
    SetEnv(kStateHome, dir.File("state-is-a-file"));
    EXPECT_TRUE(
        Contains(Apply("55").err, "This save cannot be undone: its undo record cannot be kept"));
    EXPECT_EQ(Tool({"get", File(9), "RUN.GAIN"}).out, "55\n");
}

TEST_F(TkvHdrUndoTest, RecordsNotTrustedAreNamedAndNeverUndone) {
    TKV_POSIX_ONLY("another owner (chown) and mode bits");
#ifndef _WIN32
    // Each way a record may come from someone else or be damaged; the save itself
    // is genuine, so only the check of the record can stop its undo.
    struct Plant {
        const char* what;
        std::function<void(const fs::path& record)> plant;
    };
    auto chmod = [](const char* part, int mode) {
        return [=](const fs::path& record) { fs::permissions(record / part, fs::perms(mode)); };
    };
    auto append = [](const std::string& line) {
        return [=](const fs::path& record) {
            Bytes info = ReadAll((record / "info").string());
            info.insert(info.end(), line.begin(), line.end());
            WriteAll((record / "info").string(), info);
        };
    };
    const std::vector<Plant> plants = {
        {"owned by another user (nobody, 65534)",
         [](const fs::path& record) {
             for (const auto& f : fs::recursive_directory_iterator(record))
                 ASSERT_EQ(::chown(f.path().c_str(), 65534, 65534), 0);
             ASSERT_EQ(::chown(record.c_str(), 65534, 65534), 0);
         }},
        {"a batch others may write", chmod("batch-000001", 0606)},
        {"an info the group may write", chmod("info", 0620)},
        {"a record folder others may write", chmod(".", 0777)},
        {"an undo place others may write", chmod("..", 0777)},
        {"an info with a line it does not know", append("batch-000002 planted\n")},
        {"an info naming a file '..'", append("name 1 ..\n")},
    };
    for (std::size_t k = 0; k < plants.size(); ++k) {
        SCOPED_TRACE(plants[k].what);
        Apply(std::to_string(20 + k));
        const auto records = RecordFolders();
        ASSERT_EQ(records.size(), 1u);
        plants[k].plant(records[0]);
        const Files planted = FolderContents(plate);

        // Named: the record, or the folder of them all that others may write.
        const std::string named = k == 4 ? FolderUndo::Place() + " is not a private folder"
                                         : records[0].string() + " is not";
        const ToolRun r = Exits(1, {"undo", plate.string()});
        EXPECT_TRUE(Contains(r.err, named));
        EXPECT_TRUE(Contains(r.err, "left in place"));
        EXPECT_TRUE(FolderContents(plate) == planted) << "no file is touched";
        EXPECT_TRUE(fs::exists(records[0] / "info")) << "the record is left in place";
        EXPECT_TRUE(Contains(Tool({"undo", "--list", plate.string()}).err, named));
        fs::permissions(FolderUndo::Place(), fs::perms(0700));
        fs::remove_all(records[0]);
    }

    // Without HOME and XDG_STATE_HOME there is no private state folder: the save
    // goes ahead and keeps no record anywhere (no shared folder stands in).
    const std::string home = std::getenv("HOME");  // the test run's own (CoreTestMain)
    UnsetEnv("HOME");
    UnsetEnv(kStateHome);  // TearDown puts it back
    const ToolRun r = Apply("31");
    SetEnv("HOME", home);
    EXPECT_TRUE(Contains(r.err, "This save cannot be undone"));
    EXPECT_TRUE(Contains(r.err, "no undo record is kept"));
    EXPECT_FALSE(fs::exists("/tmp/.local/state/tkv-editor/undo"));
    EXPECT_EQ(Tool({"get", File(9), "RUN.GAIN"}).out, "31\n");
#endif
}

// An undo that cannot finish never reports success and keeps the record for
// another undo.
TEST_F(TkvHdrUndoTest, AFailedFolderReadOrABusyFileKeepsTheRecordForAnotherUndo) {
    const Files pristine = FolderContents(plate);
    Apply("7");
    const Files applied = FolderContents(plate);
    {
        // The undo place cannot be listed: nothing is undone, and it says so.
        FailOn fail(RandomAccessFile::FaultInjector::Op::List, "/undo");
        EXPECT_TRUE(Contains(Exits(1, {"undo", plate.string()}).err, "cannot be read"));
        EXPECT_TRUE(FolderContents(plate) == applied);
    }
    RandomAccessFile::SetLockWait(0);
    {
        RandomAccessFile held(File(5), RandomAccessFile::Mode::ReadWrite);  // another writer
        const ToolRun r = Exits(1, {"undo", plate.string()});
        EXPECT_TRUE(Contains(r.out, "failed: " + Name(5) + ": " + RandomAccessFile::kBusyCause));
        EXPECT_TRUE(Contains(r.out, "run undo again"));
    }
    RandomAccessFile::SetLockWait(3000);
    ASSERT_EQ(RecordFolders().size(), 1u);
    {
        // A record's own folder cannot be listed: its batches are found all the same.
        FailOn fail(RandomAccessFile::FaultInjector::Op::List,
                    "/" + RecordFolders()[0].filename().string());
        EXPECT_TRUE(Contains(Exits(0, {"undo", plate.string()}).out, "1 restored, 23 unchanged"));
    }
    EXPECT_TRUE(FolderContents(plate) == pristine);
}

TEST_F(TkvHdrUndoTest, ARecordMissingABatchNamesItsFilesAndUndoesTheRestOnlyWhenAsked) {
    TKV_POSIX_ONLY("fork and an open-file limit (setrlimit)");
#ifndef _WIN32
    const Files pristine = FolderContents(plate);
    // The copy of one batch fails as the save writes it (16 files a batch when
    // few files may be open at once): the save goes ahead.
    auto saveFailingBatch = [&](const std::string& batch, rlim_t openFiles) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            const rlimit limit{openFiles, openFiles};
            ::setrlimit(RLIMIT_NOFILE, &limit);
            FailOn fail(RandomAccessFile::FaultInjector::Op::Create, batch);
            ::_exit(Apply("7").status);
        }
        int status = -1;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    // Each batch that fails, the open files allowed, and how many of the last
    // files (by name) its record then lacks.
    for (auto [batch, openFiles, lacking] :
         {std::tuple{"batch-000002", rlim_t{100}, 8}, {"batch-000001", rlim_t{1024}, 24}}) {
        SCOPED_TRACE(batch);
        ASSERT_EQ(saveFailingBatch(batch, openFiles), 0);
        const Files applied = FolderContents(plate);
        ASSERT_FALSE(applied == pristine);
        EXPECT_TRUE(Contains(Tool({"undo", "--list", plate.string()}).out,
                             std::to_string(24 - lacking) + " of 24 files)"));

        // Without --partial: refused, naming each file it cannot put back.
        const ToolRun refused = Exits(1, {"undo", plate.string()});
        for (int i = 0; i < 24; ++i)
            EXPECT_EQ(refused.err.find(Name(i)) != std::string::npos, i >= 24 - lacking)
                << Name(i) << refused.err;
        EXPECT_TRUE(Contains(refused.err, "--partial"));
        EXPECT_TRUE(FolderContents(plate) == applied);

        // The editor asks; No changes nothing.
        {
            RecordingMessages messages;
            SettablePermission permission;
            CTKVEditorDoc doc(messages, permission);
            ASSERT_TRUE(doc.OpenDocumentFile(File(0)));
            messages.answers = {MessageAnswer::Yes, MessageAnswer::No};
            EXPECT_FALSE(doc.UndoLastFolderSave());
            ASSERT_EQ(messages.asked.size(), 2u);
            EXPECT_TRUE(Contains(messages.asked[1], Name(24 - lacking)));
            EXPECT_TRUE(FolderContents(plate) == applied);
        }

        // With --partial: the rest goes back, the lacking files are named, and
        // the exit status says that not every file came back.
        const ToolRun partial = Exits(1, {"undo", "--partial", plate.string()});
        EXPECT_TRUE(Contains(partial.out, std::to_string(24 - lacking) + " restored"));
        EXPECT_TRUE(Contains(partial.out, "not recorded: " + Name(23)));
        Files expected = pristine;
        for (int i = 24 - lacking; i < 24; ++i) expected[Name(i)] = applied.at(Name(i));
        EXPECT_TRUE(FolderContents(plate) == expected);
        EXPECT_TRUE(FolderUndo::List(plate.string()).empty()) << "every file was named";
        for (int i = 0; i < 24; ++i) WriteAll(File(i), pristine.at(Name(i)));
    }
#endif
}

}  // namespace
