// Writers that meet other writers, failing disks and missing journal places:
// nothing another program wrote is overwritten unasked, one file under several
// names is rewritten once, and every report says what the file really holds.

#include "support/DocumentFixture.h"
#include "support/InjectedFaults.h"
#include "support/ToolRunner.h"

namespace {

namespace fs = std::filesystem;
using Op = RandomAccessFile::FaultInjector::Op;

// Fails the `nth` operation `op` on exactly `path` with an input/output error.
struct FailAt : InjectedFaults {
    FailAt(Op op, const std::string& path, int nth = 1)
        : InjectedFaults(
              Action::Fail, nth, [=](Op o, const std::string& p) { return o == op && p == path; },
              EIO) {}
};

class WriteTruthTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetEnv(kStateHome, dir.Path() / "state");
        folder = fs::canonical(dir.Path());
        for (const char* name : {"A01.tkv", "A02.tkv", "A03.tkv"}) {
            auto root = ExtendedHeader::MakeRoot();
            AddAt(*root, "Run.Gain", LongValue(5));
            WriteAll(File(name), SampleFile(*root, SampleRecord(), 2000, name[2]));
        }
    }
    void TearDown() override { ResetStateHome(); }
    std::string File(const std::string& name) const { return (folder / name).string(); }
    std::string Gain(const std::string& name) { return Tool({"get", File(name), "RUN.GAIN"}).out; }
    bool JournalLeft() const {
        return !FileSystem::NamesStartingWith(folder.string(), ".tkvj").empty();
    }
    ToolRun ApplyGain(const std::string& value) {
        return Tool({"apply", File("A01.tkv"), "RUN.GAIN", "long", value});
    }
    // The editor sets the gain of the file it has open and saves it.
    bool SaveGain(int gain) {
        EditValue(doc, FindAt(*doc.m_pRoot, "Run.Gain"), LongValue(gain));
        return doc.DoSave(doc.GetPathName());
    }

    TempDir dir;
    fs::path folder;
    RecordingMessages messages;
    SettablePermission permission;
    CTKVEditorDoc doc{messages, permission};
};

// ------------------------------------------------------------ lost updates

TEST_F(WriteTruthTest, TheEditorNeverSilentlyOverwritesAScriptsChange) {
    ASSERT_TRUE(doc.OpenDocumentFile(File("A01.tkv")));
    const auto script = [&](const char* gain) {
        ASSERT_EQ(Tool({"set", File("A01.tkv"), "RUN.GAIN", "long", gain}).status, 0);
    };
    const auto save = [&](int gain, std::deque<MessageAnswer> answers) {
        messages.answers = std::move(answers);
        messages.asked.clear();
        return SaveGain(gain);
    };
    const std::vector<std::string> question = {
        File("A01.tkv") + " was changed by another program since it was opened."};
    script("42");
    EXPECT_FALSE(save(9, {MessageAnswer::Cancel}));
    EXPECT_EQ(messages.asked, question);
    EXPECT_EQ(Gain("A01.tkv"), "42\n") << "the script's change was dropped";
    EXPECT_FALSE(save(9, {MessageAnswer::Reload}));
    EXPECT_EQ(FindAt(*doc.m_pRoot, "Run.Gain")->value.Format(10), u"42") << "reloaded";
    EXPECT_EQ(Gain("A01.tkv"), "42\n");
    // Once reloaded, the document is current again, and after its own save too.
    EXPECT_TRUE(save(10, {}));
    EXPECT_TRUE(messages.asked.empty());
    EXPECT_TRUE(save(11, {}));
    EXPECT_TRUE(messages.asked.empty());
    EXPECT_EQ(Gain("A01.tkv"), "11\n");

    // Save Anyway is the user's choice to overwrite.
    script("43");
    EXPECT_TRUE(save(12, {MessageAnswer::SaveAnyway}));
    EXPECT_EQ(messages.asked, question);
    EXPECT_EQ(Gain("A01.tkv"), "12\n");

    // The instrument software writes a new file and renames it over the old one.
    fs::copy_file(File("A02.tkv"), File("A01.new"));
    fs::rename(File("A01.new"), File("A01.tkv"));
    const Bytes theirs = ReadAll(File("A01.tkv"));
    EXPECT_FALSE(save(13, {MessageAnswer::Cancel}));
    EXPECT_EQ(messages.asked.size(), 1u);
    EXPECT_EQ(ReadAll(File("A01.tkv")), theirs);
}

// ------------------------------------------------------------ one file, several names

// One file under several names is rewritten once, in its own folder.
TEST_F(WriteTruthTest, AWriterHoldingTheFileIsWaitedForABoundedTimeAndNamed) {
    RandomAccessFile holder(File("A01.tkv"), RandomAccessFile::Mode::ReadWrite);
    const int wait = RandomAccessFile::LockWait();
    RandomAccessFile::SetLockWait(100);
    const ToolRun run = Tool({"set", File("A01.tkv"), "RUN.GAIN", "long", "9"});
    RandomAccessFile::SetLockWait(wait);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(
        Contains(run.err, File("A01.tkv") + " is being written by another program; waiting"));
    EXPECT_TRUE(Contains(run.err, RandomAccessFile::kBusyCause));
    holder.Close();
    EXPECT_EQ(Gain("A01.tkv"), "5\n");
}

TEST_F(WriteTruthTest, HardAndSymbolicLinksMakeOneRewriteAndOneLine) {
    TKV_POSIX_ONLY("symbolic links made by a test (Windows asks a privilege for them)");
    fs::create_hard_link(File("A01.tkv"), File("A04.tkv"));
    fs::create_symlink(File("A01.tkv"), File("A00.tkv"));
    const ToolRun run = ApplyGain("9");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(Contains(run.out, "updated: " + File("A01.tkv") + " (also " + File("A04.tkv") +
                                      ", " + File("A00.tkv") + ")\n"));
    EXPECT_EQ(Gain("A00.tkv"), "9\n");
    EXPECT_TRUE(fs::is_symlink(File("A00.tkv")));
    EXPECT_EQ(fs::hard_link_count(File("A01.tkv")), 2u);
    EXPECT_FALSE(JournalLeft());

    // Saved through a link from another folder, the journal goes beside the real file.
    fs::create_directories(folder / "links");
    const std::string link = (folder / "links" / "x.tkv").string();
    fs::create_symlink(File("A01.tkv"), link);
    InjectedFaults journals(InjectedFaults::Action::None, 0, InjectedFaults::On(Op::Create));
    EXPECT_EQ(Tool({"set", link, "RUN.GAIN", "long", "10"}).status, 0);
    EXPECT_GT(journals.count, 0);
    for (const auto& [op, path] : journals.seen)
        EXPECT_TRUE(op != Op::Create || fs::path(path).parent_path() == folder) << path;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Gain("A01.tkv"), "10\n");
}

// ------------------------------------------------------------ failures that tell the truth

// Each failure point of a rewrite, by the tool and the editor, one file and a
// folder: what is reported is what the files hold.
TEST_F(WriteTruthTest, EachFailurePointReportsWhatTheFilesHold) {
    const std::string a = File("A01.tkv"), a2 = File("A02.tkv");
    const Bytes before = ReadAll(a), a2Before = ReadAll(a2);
    {
        // A flush fails: the file is put back (and flushed again), no journal left.
        FailAt eio(Op::Flush, a);
        EXPECT_EQ(Tool({"set", a, "RUN.GAIN", "long", "9"}).status, 1);
        EXPECT_EQ(eio.count, 2) << "the rollback flushes the file too";
    }
    EXPECT_EQ(ReadAll(a), before);
    EXPECT_FALSE(JournalLeft());
    ASSERT_TRUE(doc.OpenDocumentFile(a));
    {
        // The editor's close fails after the bytes went out: saved, and said so.
        FailAt eio(Op::Close, a);
        EXPECT_TRUE(SaveGain(8));
    }
    EXPECT_FALSE(doc.IsModified());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(Contains(messages.shown[0], "was saved, but closing it reported an error"));
    EXPECT_EQ(Gain("A01.tkv"), "8\n");
    {
        // A write fails: that file is put back and reported failed, the others go on.
        FailAt eio(Op::Write, a2);
        const ToolRun run = ApplyGain("9");
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(Contains(
            run.out, "failed: " + ShownPath(a2) + ": Input/output error; left as it was\n"));
        EXPECT_TRUE(Contains(run.out, "2 updated, 0 unchanged, 0 skipped, 1 failed"));
    }
    EXPECT_EQ(ReadAll(a2), a2Before);
    EXPECT_EQ(Gain("A01.tkv"), "9\n");
    EXPECT_FALSE(JournalLeft());
    {
        // A close fails after the bytes went out: the file holds them.
        FailAt eio(Op::Close, a2);
        const ToolRun run = ApplyGain("10");
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_TRUE(
            Contains(run.out, "updated: " + ShownPath(a2) +
                                  " (written, but not confirmed on disk: Input/output error)\n"));
    }
    EXPECT_EQ(Gain("A02.tkv"), "10\n");
    EXPECT_FALSE(JournalLeft());
    {
        // The flush of the whole file system fails: every file holds its new bytes,
        // and the journal stays until the next open sees that.
        FailAt eio(Op::Flush, folder.string(), 2);
        const ToolRun run = ApplyGain("11");
        EXPECT_EQ(eio.count, 2);
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_TRUE(Contains(run.out, "updated: " + ShownPath(File("A03.tkv")) +
                                          " (written, but not confirmed on disk"));
        EXPECT_TRUE(JournalLeft());
    }
    const ToolRun next = Tool({"get", File("A03.tkv"), "RUN.GAIN"});
    EXPECT_EQ(next.out, "11\n");
    EXPECT_EQ(next.err, "") << "new files need no word";
    EXPECT_FALSE(JournalLeft());
    for (const char* name : {"A01.tkv", "A02.tkv"}) EXPECT_EQ(Gain(name), "11\n");
}

// ------------------------------------------------------------ no journal place

TEST_F(WriteTruthTest, WithoutAJournalPlaceTheUserChoosesToWriteUnprotected) {
    const Bytes before = ReadAll(File("A01.tkv"));
    // Neither the folder nor the state folder takes a journal.
    InjectedFaults refuse(InjectedFaults::Action::Fail, 0,
                          InjectedFaults::On(Op::Create, ".tkvjtmp-"), EACCES);
    ToolRun run = Tool({"set", File("A01.tkv"), "RUN.GAIN", "long", "9"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Contains(run.err, "give --no-journal"));
    EXPECT_EQ(ReadAll(File("A01.tkv")), before);

    // Written without a journal, each file is flushed before success is told.
    run = Tool({"set", "--no-journal", File("A01.tkv"), "RUN.GAIN", "long", "9"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_GT(refuse.Seen(Op::Flush, File("A01.tkv")), 0);
    EXPECT_TRUE(Contains(run.err, "Writing without one"));

    run = Tool({"apply", File("A01.tkv"), "RUN.GAIN", "long", "8"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(Contains(run.out, "0 updated, 0 unchanged, 0 skipped, 3 failed"));
    EXPECT_EQ(refuse.Seen(Op::Flush, File("A03.tkv")), 0);
    run = Tool({"apply", "--no-journal", File("A01.tkv"), "RUN.GAIN", "long", "8"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_GT(refuse.Seen(Op::Flush, File("A03.tkv")), 0);
    EXPECT_TRUE(Contains(run.out, "(written without a journal)"));

    ASSERT_TRUE(doc.OpenDocumentFile(File("A01.tkv")));
    messages.answers = {MessageAnswer::No};
    EXPECT_FALSE(SaveGain(7));
    ASSERT_EQ(messages.asked.size(), 1u);
    EXPECT_TRUE(Contains(messages.asked[0], "Save without crash protection?"));
    messages.answers = {MessageAnswer::Yes};
    EXPECT_TRUE(doc.DoSave(doc.GetPathName()));
    EXPECT_EQ(Gain("A01.tkv"), "7\n");
    EXPECT_FALSE(JournalLeft());
}

}  // namespace
