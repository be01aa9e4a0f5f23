// Every rewrite survives a failure or a crash at any file operation: after
// recovery each file is exactly its old or its new self.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "platform/FileError.h"
#include "platform/FileSystem.h"
#include "platform/RandomAccessFile.h"
#include "platform/RewriteJournal.h"
#include "support/DocumentFixture.h"
#include "support/InjectedFaults.h"

namespace {

namespace fs = std::filesystem;

using Files = std::map<std::string, Bytes>;

// A scenario: lays out its folder and runs one operation on it.
struct Scenario {
    std::string name;
    std::function<void(const fs::path&)> setUp;
    std::function<void(const fs::path&)> run;
};

class CrashSafetyTest : public ::testing::Test {
  protected:
    void SetUp() override { SetEnv(kStateHome, dir.Path() / "state"); }
    void TearDown() override { ResetStateHome(); }

    static Files ExpectedAfter(const Scenario& s, const fs::path& folder) {
        s.setUp(folder);
        s.run(folder);
        return FolderContents(folder);
    }

    // Runs the scenario with the fault at every operation, both ways.
    void Check(const Scenario& s) {
        const fs::path base = dir.Path() / s.name;
        fs::create_directories(base);
        const fs::path oldFolder = base / "old", newFolder = base / "new";
        fs::create_directories(oldFolder);
        fs::create_directories(newFolder);
        s.setUp(oldFolder);
        const Files oldFiles = FolderContents(oldFolder);
        int operations = 0;
        {
            s.setUp(newFolder);
            InjectedFaults counting;
            s.run(newFolder);
            operations = counting.count;
        }
        const Files newFiles = FolderContents(newFolder);
        ASSERT_NE(oldFiles, newFiles) << s.name << ": the operation must change something";
        ASSERT_GT(operations, 2);

        int sawOld = 0, sawNew = 0;
        for (int at = 1; at <= operations; ++at) {
            for (auto mode : InjectedFaults::kFaults) {
                const fs::path work = base / ("run" + std::to_string(at) + "-" +
                                              std::to_string(static_cast<int>(mode)));
                fs::create_directories(work);
                s.setUp(work);
                if (InjectedFaults::Stops(mode)) {
#ifdef _WIN32
                    continue;  // a process stopped at the fault needs fork
#else
                    pid_t pid = ::fork();
                    ASSERT_GE(pid, 0);
                    if (pid == 0) {
                        InjectedFaults stop(mode, at);
                        s.run(work);
                        ::_exit(0);
                    }
                    int status = 0;
                    ::waitpid(pid, &status, 0);
#endif
                } else {
                    {
                        InjectedFaults fail(mode, at);
                        s.run(work);
                    }
                    // A failure (a full disk) is rolled back in the process: every
                    // file is whole at once, its old length too, before any next open.
                    for (const auto& [name, bytes] : FolderContents(work))
                        ASSERT_TRUE(!oldFiles.count(name) || bytes == oldFiles.at(name) ||
                                    bytes == newFiles.at(name))
                            << s.name << " failing"
                            << (InjectedFaults::Tears(mode) ? " in a torn write" : "")
                            << " at operation " << at << ": " << name << " is torn until the next "
                            << "open (" << bytes.size() << " bytes, old "
                            << oldFiles.at(name).size() << ")";
                }
                RewriteJournal::Recover(work.string());  // what the next open does
                const Files after = FolderContents(work);
                for (const auto& [name, bytes] : oldFiles) {
                    ASSERT_TRUE(after.count(name))
                        << s.name << " at " << at << ": " << name << " is gone";
                    const bool isOld = bytes == after.at(name);
                    const bool isNew = newFiles.at(name) == after.at(name);
                    ASSERT_TRUE(isOld || isNew)
                        << s.name << (InjectedFaults::Stops(mode) ? " stopped" : " failing")
                        << (InjectedFaults::Tears(mode) ? " in a torn write" : "")
                        << " at operation " << at << " of " << operations << ": " << name
                        << " is neither old nor new";
                    sawOld += isOld && !isNew;
                    sawNew += isNew && !isOld;
                }
                for (const auto& [name, bytes] : after)
                    EXPECT_TRUE(oldFiles.count(name))
                        << s.name << " at " << at << ": left behind " << name;
            }
        }
        EXPECT_GT(sawOld, 0) << "some faults must come before the change";
        EXPECT_GT(sawNew, 0) << "and some after it";
    }

    TempDir dir;
};

std::unique_ptr<HeaderNode> Tree(std::int32_t gain) {
    auto root = ExtendedHeader::MakeRoot();
    AddAt(*root, "Run.Gain", LongValue(gain));
    AddAt(*root, "Sample.Well", HeaderElement(std::string_view("A01")));
    return root;
}

void Put(const fs::path& folder, const std::string& name, std::int32_t gain, std::uint32_t seed) {
    WriteAll((folder / name).string(), SampleFile(*Tree(gain), SampleRecord(), 4000, seed));
}

TEST_F(CrashSafetyTest, Save) {
    Check({"save", [](const fs::path& f) { Put(f, "a.tkv", 5, 1); },
           [](const fs::path& f) {
               RecordingMessages m;
               AllowEditing allow;
               CTKVEditorDoc doc(m, allow);
               if (!doc.OpenDocumentFile((f / "a.tkv").string())) return;
               // The headers more than double: a write torn halfway grows the file.
               InsertLeaf(doc, "Run.Note", HeaderElement(std::string_view(std::string(3000, 'n'))));
               doc.DoSave(doc.GetPathName());
           }});
}

// A new value of the same size: the file keeps its length, so only the bytes
// tell a torn rewrite from a finished one.
TEST_F(CrashSafetyTest, SaveKeepingTheLength) {
    Check({"samelength", [](const fs::path& f) { Put(f, "a.tkv", 5, 1); },
           [](const fs::path& f) {
               RecordingMessages m;
               AllowEditing allow;
               CTKVEditorDoc doc(m, allow);
               if (!doc.OpenDocumentFile((f / "a.tkv").string())) return;
               EditValue(doc, FindAt(*doc.m_pRoot, "Run.Gain"), LongValue(6));
               doc.DoSave(doc.GetPathName());
           }});
}

TEST_F(CrashSafetyTest, SaveAsOverAnotherFile) {
    Check({"saveas",
           [](const fs::path& f) {
               Put(f, "a.tkv", 5, 1);
               Put(f, "b.tkv", 7, 2);
           },
           [](const fs::path& f) {
               RecordingMessages m;
               AllowEditing allow;
               CTKVEditorDoc doc(m, allow);
               if (!doc.OpenDocumentFile((f / "a.tkv").string())) return;
               HeaderTree::Remove(*doc.m_pRoot, FindAt(*doc.m_pRoot, "Sample"));
               doc.DoSave((f / "b.tkv").string());
           }});
}

TEST_F(CrashSafetyTest, FolderWideEdit) {
    Check({"folder",
           [](const fs::path& f) {
               for (int i = 0; i < 5; ++i) Put(f, "s" + std::to_string(i) + ".tkv", i, 10 + i);
           },
           [](const fs::path& f) {
               RecordingMessages m;
               AllowEditing allow;
               CTKVEditorDoc doc(m, allow);
               if (!doc.OpenDocumentFile((f / "s0.tkv").string())) return;
               doc.SetFolderEditMode(true);
               EditValue(doc, FindAt(*doc.m_pRoot, "Run.Gain"), LongValue(99));
               InsertLeaf(doc, "QC.BATCH", HeaderElement(std::string_view("B-17")));
               m.answers = {MessageAnswer::Yes};
               doc.DoSave(doc.GetPathName());
           }});
}

}  // namespace
