#pragma once
// The codes passed with the document's update of its views. Codes 1 to 12 carry
// one entry (for 8 to 12 the target list); 0, 13 and 14 carry none.

enum UpdateHint : int {
    HINT_REFRESH_ALL = 0,
    HINT_ENTRY_INSERTED = 1,
    HINT_SHOW_ENTRY = 2,
    HINT_EDIT_ENTRY = 3,
    HINT_ENTRY_CHANGED = 4,
    HINT_ENTRY_REMOVING = 5,
    HINT_COPY_ENTRY = 6,
    HINT_DELETE_ENTRY = 7,
    HINT_PASTE_ENTRY = 8,
    HINT_INSERT_BOOLEAN = 9,
    HINT_INSERT_NUMBER = 10,
    HINT_INSERT_STRING = 11,
    HINT_INSERT_LIST = 12,
    HINT_NEW_DOCUMENT = 13,
    HINT_FOLDER_MODE_CHANGED = 14,
};
