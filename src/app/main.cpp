// tkv-editor: the TKV Extended Header Editor.
#include <QApplication>

#include "app/TKVEditorApp.h"

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    CTKVEditorApp theApp;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    if (!theApp.InitInstance(args)) return theApp.ExitCode();
    return theApp.ExitInstance(QApplication::exec());
}
