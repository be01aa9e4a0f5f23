// A real `tkvhdr apply` killed with SIGKILL at random moments: after the next
// open, every file of the folder is its old or its new self.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <thread>

#include "platform/FileSystem.h"
#include "platform/RewriteJournal.h"
#include "support/DocumentFixture.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Files = std::map<std::string, Bytes>;

pid_t Spawn(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int Wait(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

std::vector<std::string> ApplyArgs(const fs::path& folder) {
    return {TKVHDR_BINARY, "apply", (folder / "S000.tkv").string(), "RUN.GAIN", "long", "9",
            "QC.BATCH",    "ascii", std::string(200, 'b')};
}

// A plate of 300 files to kill writers on, and the state folder beside it.
class TkvHdrKillTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("XDG_STATE_HOME", (dir.Path() / "state").c_str(), 1);
        fs::create_directories(pristine);
        for (int i = 0; i < 300; ++i) {
            auto root = ExtendedHeader::MakeRoot();
            AddAt(*root, "Run.Gain", LongValue(i));
            AddAt(*root, "Sample.Well", HeaderElement(std::string_view("A01")));
            char name[16];
            std::snprintf(name, sizeof name, "S%03d.tkv", i);
            WriteAll((pristine / name).string(),
                     SampleFile(*root, SampleRecord(), 2048, static_cast<std::uint32_t>(i)));
        }
        oldFiles = FolderContents(pristine);
    }
    void TearDown() override { ::unsetenv("XDG_STATE_HOME"); }

    // Waits until a writer's journal lies in `work` (its rewrites start then),
    // at most until `deadline`.
    static void WaitForJournal(const fs::path& work,
                               std::chrono::steady_clock::time_point deadline) {
        while (FileSystem::NamesStartingWith(work.string(), RewriteJournal::kPrefix).empty() &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
    }

    TempDir dir;
    fs::path pristine = dir.Path() / "pristine";
    Files oldFiles;
};

TEST_F(TkvHdrKillTest, EveryFileIsOldOrNewAfterSigkill) {
    const fs::path finished = dir.Path() / "finished";
    fs::copy(pristine, finished);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Wait(Spawn(ApplyArgs(finished))), 0);
    const auto fullRun = std::chrono::steady_clock::now() - start;
    const Files newFiles = FolderContents(finished);

    std::mt19937 rng(20261206);
    int kills = 0, rounds = 0, mixed = 0;
    while (kills < 20 && rounds < 200) {
        ++rounds;
        const fs::path work = dir.Path() / ("round" + std::to_string(rounds));
        fs::copy(pristine, work);
        const pid_t pid = Spawn(ApplyArgs(work));
        ASSERT_GT(pid, 0);
        if (rounds % 2) {
            std::this_thread::sleep_for(fullRun *
                                        std::uniform_real_distribution<double>(0.05, 1.0)(rng));
        } else {
            // Aimed at the rewrites themselves.
            WaitForJournal(work, std::chrono::steady_clock::now() + 4 * fullRun);
            std::this_thread::sleep_for(
                std::chrono::microseconds(std::uniform_int_distribution<int>(0, 3000)(rng)));
        }
        ::kill(pid, SIGKILL);
        const int status = Wait(pid);
        if (WIFSIGNALED(status)) ++kills;
        // The next open of any file of the folder puts things right.
        ASSERT_EQ(Wait(Spawn({TKVHDR_BINARY, "dump", (work / "S001.tkv").string()})), 0);
        const Files after = FolderContents(work);
        int olds = 0, news = 0;
        for (const auto& [name, bytes] : oldFiles) {
            ASSERT_TRUE(after.count(name)) << name;
            const bool isOld = after.at(name) == bytes, isNew = after.at(name) == newFiles.at(name);
            ASSERT_TRUE(isOld || isNew)
                << "round " << rounds << ": " << name << " is neither old nor new";
            olds += isOld;
            news += isNew;
        }
        ASSERT_EQ(after.size(), oldFiles.size())
            << "round " << rounds << ": a journal was left behind";
        mixed += olds > 0 && news > 0;
        // The save's undo record was kept before the first file changed: undo
        // puts back every file the killed save wrote.
        Wait(Spawn({TKVHDR_BINARY, "undo", work.string()}));
        ASSERT_EQ(FolderContents(work), oldFiles) << "round " << rounds << ": undo after the kill";
        fs::remove_all(work);
    }
    EXPECT_GE(kills, 20) << "in " << rounds << " rounds";
    std::printf("%d kills in %d rounds; %d rounds left old and new files side by side\n", kills,
                rounds, mixed);
}

TEST_F(TkvHdrKillTest, AnUndoKilledIsCompletedByTheNextOpenAndAnotherUndo) {
    std::mt19937 rng(20261207);
    int kills = 0, rounds = 0, halfway = 0;
    while (kills < 10 && rounds < 100) {
        ++rounds;
        const fs::path work = dir.Path() / ("round" + std::to_string(rounds));
        fs::copy(pristine, work);
        ASSERT_EQ(Wait(Spawn(ApplyArgs(work))), 0);
        const Files newFiles = FolderContents(work);
        const pid_t pid = Spawn({TKVHDR_BINARY, "undo", work.string()});
        // Aimed at the undo's own rewrites.
        WaitForJournal(work, std::chrono::steady_clock::now() + std::chrono::seconds(2));
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::uniform_int_distribution<int>(0, 2000)(rng)));
        ::kill(pid, SIGKILL);
        if (WIFSIGNALED(Wait(pid))) ++kills;
        ASSERT_EQ(Wait(Spawn({TKVHDR_BINARY, "dump", (work / "S001.tkv").string()})), 0);
        const Files after = FolderContents(work);
        int olds = 0;
        for (const auto& [name, bytes] : oldFiles) {
            ASSERT_TRUE(after.at(name) == bytes || after.at(name) == newFiles.at(name))
                << "round " << rounds << ": " << name << " is neither old nor new";
            olds += after.at(name) == bytes;
        }
        halfway += olds > 0 && olds < 300;
        Wait(Spawn({TKVHDR_BINARY, "undo", work.string()}));
        ASSERT_EQ(FolderContents(work), oldFiles) << "round " << rounds << ": the second undo";
        fs::remove_all(work);
    }
    EXPECT_GE(kills, 10) << "in " << rounds << " rounds";
    std::printf("%d undos killed in %d rounds; %d left halfway\n", kills, rounds, halfway);
}

}  // namespace
