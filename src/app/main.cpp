// tkv-editor: the TKV Extended Header Editor.
#include <QApplication>

#include "app/TKVEditorApp.h"

int main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    // What needs no window is done before the GUI (and its display) is set up.
    CCommandLineInfo info;
    info.ParseCommandLine(args);
    if (auto code = CTKVEditorApp::RunWithoutWindow(info)) return *code;
    QApplication qapp(argc, argv);
    CTKVEditorApp theApp;
    if (!theApp.InitInstance(args)) return theApp.ExitCode();
    return theApp.ExitInstance(QApplication::exec());
}
