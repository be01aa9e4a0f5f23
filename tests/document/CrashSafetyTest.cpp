// Every rewrite survives a failure or a crash at any file operation: after
// recovery each file is exactly its old or its new self.

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "support/DocumentFixture.h"
#include "support/InjectedFaults.h"

namespace {

namespace fs = std::filesystem;

using Files = std::map<std::string, Bytes>;

// A scenario: a folder of `files` sample files s0.tkv, s1.tkv, ..., and an edit
// of the document opened on s0.tkv that ends in a save.
struct Scenario {
    std::string name;
    int files;
    std::function<void(CTKVEditorDoc&, RecordingMessages&)> edit;
};

void Lay(const Scenario& s, const fs::path& folder) {
    fs::create_directories(folder);
    for (int i = 0; i < s.files; ++i) {
        auto root = ExtendedHeader::MakeRoot();
        AddAt(*root, "Run.Gain", LongValue(i));
        AddAt(*root, "Sample.Well", HeaderElement(std::string_view("A01")));
        WriteAll((folder / ("s" + std::to_string(i) + ".tkv")).string(),
                 SampleFile(*root, SampleRecord(), 4000, 10 + i));
    }
}

void Perform(const Scenario& s, const fs::path& folder) {
    RecordingMessages m;
    AllowEditing allow;
    CTKVEditorDoc doc(m, allow);
    if (doc.OpenDocumentFile((folder / "s0.tkv").string())) s.edit(doc, m);
}

class CrashSafetyTest : public ::testing::Test {
  protected:
    void SetUp() override { SetEnv(kStateHome, dir.Path() / "state"); }
    void TearDown() override { ResetStateHome(); }

    // Runs the scenario with each kind of fault at every operation in turn.
    void Check(const Scenario& s) {
        const fs::path base = dir.Path() / s.name;
        Lay(s, base / "new");
        const Files oldFiles = FolderContents(base / "new");
        const int operations = [&] {
            InjectedFaults counting;
            Perform(s, base / "new");
            return counting.count;
        }();
        const Files newFiles = FolderContents(base / "new");
        ASSERT_NE(oldFiles, newFiles) << "the operation must change something";
        ASSERT_GT(operations, 2);

        int sawOld = 0, sawNew = 0;
        for (int at = 1; at <= operations; ++at) {
            for (auto mode : InjectedFaults::kFaults) {
                SCOPED_TRACE(std::string(InjectedFaults::Stops(mode) ? "stopped" : "failing") +
                             (InjectedFaults::Tears(mode) ? " in a torn write" : "") +
                             " at operation " + std::to_string(at) + " of " +
                             std::to_string(operations));
                const fs::path work =
                    base / ("run" + std::to_string(at) + "-" + std::to_string(int(mode)));
                Lay(s, work);
                if (InjectedFaults::Stops(mode)) {
#ifdef _WIN32
                    continue;  // a process stopped at the fault needs fork
#else
                    const pid_t pid = ::fork();
                    ASSERT_GE(pid, 0);
                    if (pid == 0) {
                        InjectedFaults stop(mode, at);
                        Perform(s, work);
                        ::_exit(0);
                    }
                    ::waitpid(pid, nullptr, 0);
#endif
                } else {
                    {
                        InjectedFaults fail(mode, at);
                        Perform(s, work);
                    }
                    // A failure (a full disk) is rolled back in the process: every
                    // file is whole at once, its old length too, before any next open.
                    for (const auto& [name, bytes] : FolderContents(work))
                        ASSERT_TRUE(!oldFiles.count(name) || bytes == oldFiles.at(name) ||
                                    bytes == newFiles.at(name))
                            << name << " is torn until the next open";
                }
                RewriteJournal::Recover(work.string());  // what the next open does
                const Files after = FolderContents(work);
                for (const auto& [name, bytes] : after)
                    EXPECT_TRUE(oldFiles.count(name)) << "left behind " << name;
                for (const auto& [name, bytes] : oldFiles) {
                    ASSERT_TRUE(after.count(name)) << name << " is gone";
                    const bool isOld = bytes == after.at(name);
                    const bool isNew = newFiles.at(name) == after.at(name);
                    ASSERT_TRUE(isOld || isNew) << name << " is neither old nor new";
                    sawOld += isOld && !isNew;
                    sawNew += isNew && !isOld;
                }
            }
        }
        EXPECT_GT(sawOld, 0) << "some faults must come before the change";
        EXPECT_GT(sawNew, 0) << "and some after it";
    }

    TempDir dir;
};

const Scenario kScenarios[] = {
    // The headers more than double: a write torn halfway grows the file.
    {"save", 1,
     [](auto& doc, auto&) {
         InsertLeaf(doc, "Run.Note", HeaderElement(std::string_view(std::string(3000, 'n'))));
         doc.DoSave(doc.GetPathName());
     }},
    // A new value of the same size: the file keeps its length, so only the bytes
    // tell a torn rewrite from a finished one.
    {"samelength", 1,
     [](auto& doc, auto&) {
         EditValue(doc, FindAt(*doc.m_pRoot, "Run.Gain"), LongValue(6));
         doc.DoSave(doc.GetPathName());
     }},
    {"folder", 5,
     [](auto& doc, auto& m) {
         doc.SetFolderEditMode(true);
         EditValue(doc, FindAt(*doc.m_pRoot, "Run.Gain"), LongValue(99));
         InsertLeaf(doc, "QC.BATCH", HeaderElement(std::string_view("B-17")));
         m.answers = {MessageAnswer::Yes};
         doc.DoSave(doc.GetPathName());
     }},
};

TEST_F(CrashSafetyTest, EveryRewriteAtEveryFault) {
    for (const Scenario& s : kScenarios) {
        SCOPED_TRACE(s.name);
        Check(s);
    }
}

}  // namespace
