// The application object: the command line, start-up without a window for
// embedding, the editing permission from the instrument's configuration,
// content-type registration, the channel to a running editor and the help file.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTreeWidget>
#include <fstream>

#include "GuiFixture.h"
#include "app/HelpWindow.h"
#include "app/InstanceChannel.h"
#include "platform/NativeSettings.h"
#include "support/ToolRunner.h"

namespace {

namespace fs = std::filesystem;

CCommandLineInfo Parse(std::vector<std::string> args) {
    CCommandLineInfo info;
    info.ParseCommandLine(args);
    return info;
}

TEST(CommandLineTest, FileAndStandardSwitchesInEitherForm) {
    EXPECT_EQ(Parse({}).m_nShellCommand, CCommandLineInfo::FileNew);
    const auto open = Parse({"/embedding.tkv"});  // a path, not a switch
    EXPECT_EQ(open.m_nShellCommand, CCommandLineInfo::FileOpen);
    EXPECT_EQ(open.m_strFileName, "/embedding.tkv");
    EXPECT_EQ(Parse({"/p"}).m_nShellCommand, CCommandLineInfo::FilePrint);
    for (const char* s : {"/Embedding", "-Embedding", "-embedding", "/EMBEDDING"})
        EXPECT_TRUE(Parse({s}).m_bRunEmbedded) << s;
    for (const char* s : {"/Automation", "-automation"})
        EXPECT_TRUE(Parse({s}).m_bRunAutomated) << s;
    for (const char* s : {"/Unregister", "-unregserver", "/UNREGSERVER"})
        EXPECT_EQ(Parse({s}).m_nShellCommand, CCommandLineInfo::AppUnregister) << s;
    EXPECT_EQ(Parse({"-dde"}).m_nShellCommand, CCommandLineInfo::FileDDE);
    auto printTo = Parse({"/pt", "a.tkv", "Printer", "Driver", "Port"});
    EXPECT_EQ(printTo.m_nShellCommand, CCommandLineInfo::FilePrintTo);
    EXPECT_EQ(printTo.m_strPortName, "Port");
}

class AppTest : public GuiTest {
  protected:
    void SetUp() override {
        GuiTest::SetUp();
        fs::remove_all(dataHome);
    }
    const std::string dataHome = std::getenv("XDG_DATA_HOME");
};

TEST_F(AppTest, EmbeddingOrAutomationShowsNoWindowAndRegistersNothing) {
    for (const char* flag : {"-Embedding", "/Automation"}) {
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(Start({flag}));
        EXPECT_TRUE(Contains(::testing::internal::GetCapturedStderr(),
                             "embedding and automation are not available"));
        EXPECT_EQ(app->ExitCode(), 2);
        EXPECT_EQ(app->MainFrame(), nullptr);
        EXPECT_FALSE(fs::exists(dataHome)) << "nothing registered";
    }
}

TEST_F(AppTest, StartRegistersBothContentTypesAndUnregisterRemovesThem) {
    // What is written is FileTypeRegistryTest's: here, that the editor does it.
    ASSERT_TRUE(Start({}));
    const fs::path packages = fs::path(dataHome) / "mime" / "packages";
    for (const char* type : {"tkv-editor-tkv.xml", "tkv-editor-pkv.xml"})
        EXPECT_TRUE(fs::exists(packages / type)) << type;
    app.reset();
    EXPECT_FALSE(Start({"/Unregister"}));
    EXPECT_EQ(app->ExitCode(), 0);
    EXPECT_TRUE(fs::is_empty(packages));
    EXPECT_FALSE(fs::exists(fs::path(dataHome) / "applications" / "tkv-editor.desktop"));
}

TEST_F(AppTest, AFileThatCannotBeOpenedEndsStartUp) {
    EXPECT_FALSE(Start({dir.File("missing.tkv")}));
    EXPECT_EQ(app->ExitCode(), 1);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(Contains(messages.shown[0], "Failed to open document."));
}

TEST_F(AppTest, TheToolReadsTheInstrumentSettingsAsQtWritesThem) {
    // What QSettings writes, NativeSettings (the command-line tool's reader) reads.
    const QString paths[] = {"/srv/instr/system data", "C:\\Data\\Runs;x",
                             "/srv/\u00e9t\u00e9 \"q\"", " padded ", "/srv/€uro"};
    for (const QString& value : paths) {
        QSettings s = SystemSettings();
        s.setValue("DataSystemPath", value);
        s.setValue("Runwarden/AnalyzedDataPath", value + "/analyzed");
        s.sync();
        const std::string file = s.fileName().toStdString();
        EXPECT_EQ(NativeSettings::ReadValue(file, "DataSystemPath"), value.toStdString());
        EXPECT_EQ(NativeSettings::ReadValue(file, "Runwarden/AnalyzedDataPath"),
                  (value + "/analyzed").toStdString());
    }
}

// The channel to an editor already running, with a shared temporary folder
// (like /tmp) and the runtime folder as each test sets it.
class ChannelTest : public GuiTest {
  protected:
    void SetUp() override {
        GuiTest::SetUp();
        fs::permissions(dir.Path(), fs::perms(0711));
        fs::create_directory(tmp);
        fs::permissions(tmp, fs::perms(01777));
        ::setenv("TMPDIR", tmp.c_str(), 1);
    }
    void TearDown() override {
        GuiTest::TearDown();
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        if (savedTmp)
            ::setenv("TMPDIR", savedTmp->c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }
    // Starts another editor on `file` in the test folder and waits for it to end.
    void RunEditor(QProcess& editor, const char* file, int waitMs) {
        editor.setWorkingDirectory(QString::fromStdString(dir.Path().string()));
        editor.start(QStringLiteral(TKV_EDITOR_BINARY), {QString(file)});
        QElapsedTimer clock;
        clock.start();
        while (editor.state() != QProcess::NotRunning && clock.elapsed() < waitMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    const std::string runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::optional<std::string> savedTmp =
        std::getenv("TMPDIR") ? std::optional<std::string>(std::getenv("TMPDIR")) : std::nullopt;
    const fs::path tmp = dir.Path() / "tmp";
    // The editor's own folder in the temporary folder, when there is no runtime folder.
    const fs::path own = tmp / ("tkv-editor-" + std::to_string(::getuid()));
};

TEST_F(ChannelTest, AFileOpenedWhileTheEditorRunsOpensInItsWindow) {
    PutFile("B02.tkv", *SampleTree());
    for (bool withRuntime : {true, false}) {
        SCOPED_TRACE(withRuntime ? "a runtime folder" : "no runtime folder");
        if (!withRuntime) ::unsetenv("XDG_RUNTIME_DIR");
        ASSERT_TRUE(Start({PutFile("A01.tkv", *SampleTree())}));
        // Without a runtime folder: a folder of its own that nobody else may enter.
        EXPECT_TRUE(withRuntime || fs::status(own).permissions() == fs::perms::owner_all);
        // A second start with a file (a relative name, as a shell passes it) hands
        // it over and ends; this window opens it.
        QProcess second;
        RunEditor(second, "B02.tkv", 10000);
        ASSERT_EQ(second.state(), QProcess::NotRunning);
        EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
        QTest::qWait(50);
        EXPECT_EQ(Doc().GetPathName(), (dir.Path() / "B02.tkv").string());
        app.reset();
    }
    // With no editor running, the same start opens a window of its own.
    QProcess alone;
    RunEditor(alone, "A01.tkv", 1500);
    EXPECT_EQ(alone.state(), QProcess::Running) << "it stays, with its window";
    alone.terminate();
    alone.waitForFinished(5000);
}

// Another user (nobody) listening at `socketPath`: returns its process and the
// read end of a pipe that gets whatever reaches the listener's first caller.
std::pair<pid_t, int> ForeignListener(const fs::path& socketPath) {
    int heard[2];
    if (::pipe(heard) != 0) return {-1, -1};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(heard[0]);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
        if (::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::chmod(socketPath.c_str(), 0777) != 0 || ::listen(server, 4) != 0)
            ::_exit(3);
        if (::write(heard[1], "ready\n", 6) != 6) ::_exit(4);
        const int client = ::accept(server, nullptr, nullptr);
        char buffer[4096];
        const ssize_t n = ::read(client, buffer, sizeof buffer);
        if (n > 0 && ::write(heard[1], buffer, static_cast<std::size_t>(n)) != n) ::_exit(5);
        if (::write(client, "OK\n", 3) != 3) ::_exit(6);
        ::pause();  // until killed
    }
    ::close(heard[1]);
    char ready[6];
    if (::read(heard[0], ready, sizeof ready) != 6) return {pid, -1};
    return {pid, heard[0]};
}

TEST_F(ChannelTest, ThePathOfAFileGoesToNoListenerOfAnotherUser) {
    // Another user listens first: at the old fixed name in the temporary folder,
    // in a folder with the editor's name that it made, or in a runtime folder
    // that everyone may write.
    struct Plant {
        const char* what;
        bool runtime;
        fs::path folder;  // made by the other user, open to all
        fs::path socket;
    };
    const std::vector<Plant> plants = {
        {"the old fixed name", false, {}, own.string() + ".socket"},
        {"a folder with the editor's name", false, own, own / "tkv-editor.socket"},
        {"a shared runtime folder", true, {}, tmp / "tkv-editor.socket"},
    };
    for (const Plant& plant : plants) {
        SCOPED_TRACE(plant.what);
        if (plant.runtime)
            ::setenv("XDG_RUNTIME_DIR", tmp.c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
        if (!plant.folder.empty()) {
            fs::create_directory(plant.folder);
            fs::permissions(plant.folder, fs::perms::all);
            ASSERT_EQ(::chown(plant.folder.c_str(), 65534, 65534), 0);
        }
        const auto [pid, heard] = ForeignListener(plant.socket);
        ASSERT_GE(heard, 0);
        EXPECT_FALSE(CInstanceChannel::Forward(QStringLiteral("/private/secret.tkv"), 1000));
        pollfd wait{heard, POLLIN, 0};
        std::string got(4096, '\0');
        const ssize_t n = ::poll(&wait, 1, 200) > 0 ? ::read(heard, got.data(), got.size()) : 0;
        got.resize(static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
        EXPECT_FALSE(Contains(got, "secret"));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        ::close(heard);
        fs::remove_all(plant.folder.empty() ? plant.socket : plant.folder);
    }
}

TEST_F(AppTest, EditorAndToolReadTheInstrumentSettingsAlike) {
    // Each layout names a folder whose configuration forbids editing in a place
    // that only the full search of the system settings finds.
    const fs::path forbidding = dir.Path() / "sys,tem";
    fs::create_directories(forbidding);
    std::ofstream(forbidding / "Tessarin.ini") << "ALLOW EDIT NO\n";
    const fs::path first = dir.Path() / "xdg1", second = dir.Path() / "xdg2";
    const std::string quoted = "DataSystemPath=\"" + forbidding.string() + "\"\n";
    const struct {
        const char* what;
        fs::path file;
        std::string text;
    } layouts[] = {
        {"a second configuration folder", second / "Corvandel" / "Tessarin.conf", quoted},
        {"the organisation-wide file", first / "Corvandel.conf", quoted},
        {"an unquoted comma", first / "Corvandel" / "Tessarin.conf",
         "[General]\nDataSystemPath=" + forbidding.string() + "\n"},
    };
    const std::string saved = std::getenv("XDG_CONFIG_DIRS");
    const std::string sample = dir.File("a.tkv");
    ASSERT_EQ(Tool({"example", sample}).status, 0);
    CTKVEditorApp once(&messages);
    EXPECT_TRUE(once.IsEditAllowed()) << "no instrument key: editing is allowed";
    for (const auto& layout : layouts) {
        fs::remove_all(first);
        fs::remove_all(second);
        fs::create_directories(first / "Corvandel");
        fs::create_directories(layout.file.parent_path());
        std::ofstream(first / "Corvandel" / "Tessarin.conf") << "[General]\nOther=1\n";
        std::ofstream(layout.file) << layout.text;
        ::setenv("XDG_CONFIG_DIRS", (first.string() + ":" + second.string()).c_str(), 1);
        EXPECT_FALSE(CTKVEditorApp(&messages).IsEditAllowed()) << "the editor, " << layout.what;
        const ToolRun r = Tool({"set", sample, "RUN.GAIN", "long", "6"});
        EXPECT_EQ(r.status, 1) << "tkvhdr, " << layout.what;
        EXPECT_TRUE(Contains(r.err, "editing is not allowed"));
    }
    EXPECT_TRUE(once.IsEditAllowed()) << "the answer is worked out once per run";
    ::setenv("XDG_CONFIG_DIRS", saved.c_str(), 1);
}

TEST(HelpTest, TheHelpWindowShowsTheContentsAndAPageAndAMissingFileShowsNothing) {
    EXPECT_EQ(HtmlHelp(nullptr, "/no/such/HeaderEditor.chm", HH_DISPLAY_TOC, 0), nullptr);
    QWidget* shown = HtmlHelp(nullptr, TKV_HELP_FILE, HH_DISPLAY_TOC, 0);
    auto* help = qobject_cast<CHelpWindow*>(shown);
    ASSERT_NE(help, nullptr);
    help->ShowPage("folder.html");
    EXPECT_TRUE(help->Page()->toPlainText().contains("All Samples in Folder"));
    EXPECT_EQ(help->Contents()->currentItem()->text(0), "Editing all samples in a folder")
        << "the contents follow the page shown";
    EXPECT_EQ(HtmlHelp(nullptr, TKV_HELP_FILE, HH_DISPLAY_TOC, 0), shown) << "one window per file";
    help->close();
}

}  // namespace
