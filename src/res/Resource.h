#pragma once
#include <array>
// Resource and command identifiers shared by the menus, tool bars, accelerators,
// context menus and both views.

// Resource sets.
constexpr int IDR_MAINFRAME = 128;
constexpr int IDR_SRVR_INPLACE = 4;
constexpr int IDR_SRVR_EMBEDDED = 5;
constexpr int IDR_ENTRY_POPUP = 137;
constexpr int IDB_TREE_IMAGES = 139;
constexpr int IDB_LIST_IMAGES = 144;
constexpr int IDD_ABOUTBOX = 100;
constexpr int IDD_STANDARD_HEADER = 140;
constexpr int IDC_HEADER_LIST = 1066;
constexpr int IDC_VERSION = 1072;
constexpr int IDC_BUILD = 1073;

// The program's own commands.
constexpr int ID_CANCEL_EDIT_SRVR = 32769;
constexpr int ID_INSERT_BOOLEAN = 32773;
constexpr int ID_INSERT_LIST = 32778;
constexpr int ID_INSERT_NUMBER = 32782;
constexpr int ID_POPUP_CANCEL = 32784;
constexpr int ID_INSERT_STRING = 32787;
constexpr int ID_EDIT_ENTRY = 32788;
constexpr int ID_VIEW_STANDARD_HEADER = 32789;
constexpr int ID_HELP_TOPICS = 32791;
constexpr int ID_EDIT_ALL_SAMPLES = 32792;
constexpr int ID_CANCEL_FIELD = 32798;
constexpr int ID_EDIT_UNDO_FOLDER_SAVE = 32800;
constexpr int ID_VIEW_PLATE_SHEET = 32801;

// The framework's standard commands.
constexpr int ID_FILE_NEW = 57600;
constexpr int ID_FILE_OPEN = 57601;
constexpr int ID_FILE_SAVE = 57603;
constexpr int ID_FILE_SAVE_AS = 57604;
constexpr int ID_FILE_UPDATE = 57610;
constexpr int ID_FILE_SAVE_COPY_AS = 57611;
constexpr int ID_FILE_MRU_FILE1 = 57616;
constexpr int ID_EDIT_COPY = 57634;
constexpr int ID_EDIT_CUT = 57635;
constexpr int ID_EDIT_PASTE = 57637;
constexpr int ID_EDIT_UNDO = 57643;
constexpr int ID_APP_ABOUT = 57664;
constexpr int ID_APP_EXIT = 57665;
constexpr int ID_NEXT_PANE = 57680;
constexpr int ID_PREV_PANE = 57681;
constexpr int ID_VIEW_TOOLBAR = 59392;

// Status bar panes and the clock timer.
constexpr int ID_INDICATOR_CLOCK = 61205;
constexpr int ID_INDICATOR_MODE = 61206;
constexpr int ID_CLOCK_TIMER = 4096;

// Strings.
constexpr const char* IDS_OLE_INIT_FAILED =
    "OLE initialization failed.  Make sure that the OLE libraries are the correct version.";
constexpr const char* IDS_APP_TITLE = "TKV Extended Header Editor";    // 57344
constexpr const char* IDS_IDLE_MESSAGE = "Ready";                      // 57345
constexpr const char* IDS_MODE_NORMAL = "Normal";                      // 61211
constexpr const char* IDS_MODE_FOLDER = "Edit All Samples in Folder";  // 61212
// The document string of IDR_MAINFRAME, its seven fields separated by '\n'.
constexpr const char* IDS_DOC_STRING =
    "Header Editor\n\nTKV\nTKV/PKV Files (*.tkv;*.pkv)\n.?kv\nTKV.Document\nTKV/PKV Document";

// Menus and tool bars as command ids, 0 standing for a separator.
inline constexpr int kFileMenu[] = {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, ID_FILE_SAVE_AS, 0};
inline constexpr int kEditMenu[] = {ID_EDIT_CUT,         ID_EDIT_COPY,    ID_EDIT_PASTE, 0,
                                    ID_EDIT_ALL_SAMPLES, ID_CANCEL_FIELD, 0,
                                    ID_EDIT_UNDO_FOLDER_SAVE};
inline constexpr int kInsertMenu[] = {ID_INSERT_STRING, ID_INSERT_BOOLEAN, ID_INSERT_NUMBER,
                                      ID_INSERT_LIST};
inline constexpr int kViewMenu[] = {ID_VIEW_TOOLBAR, ID_VIEW_STANDARD_HEADER, ID_VIEW_PLATE_SHEET};
inline constexpr int kHelpMenu[] = {ID_HELP_TOPICS, 0, ID_APP_ABOUT};
inline constexpr int kMainToolBar[] = {ID_FILE_NEW,
                                       ID_FILE_OPEN,
                                       ID_FILE_SAVE,
                                       0,
                                       ID_EDIT_CUT,
                                       ID_EDIT_COPY,
                                       ID_EDIT_PASTE,
                                       0,
                                       ID_INSERT_STRING,
                                       ID_INSERT_NUMBER,
                                       ID_INSERT_BOOLEAN,
                                       ID_INSERT_LIST,
                                       0,
                                       ID_EDIT_ALL_SAMPLES,
                                       ID_CANCEL_FIELD,
                                       0,
                                       ID_APP_ABOUT};
// The in-place tool bar has Save As in the place of Save.
constexpr auto InPlaceToolBar() {
    auto ids = std::to_array(kMainToolBar);
    ids[2] = ID_FILE_SAVE_AS;
    return ids;
}
inline constexpr auto kInPlaceToolBar = InPlaceToolBar();
