#pragma once
// Ids of the storage layer's texts in the locale resource library (resources/strings_storage.rc).
enum StorageStringId : unsigned {
    IDS_SETFILE_OPEN_FAILED = 239,      // "...%s" follows after a line break: the path
    IDS_SETFILE_SETS_UNREADABLE = 596,  // %s: path of the set file
    IDS_SETTINGS_UNREADABLE_KEPT = 4100,   // %s: settings file, %s: the copy kept
    IDS_SETTINGS_SAVE_FAILED = 4101,       // %s: settings file
    IDS_SETTINGS_UNREADABLE_LEFT = 4102,   // %s: settings file
    IDS_SETFILE_BACKUP_KEPT = 4103,        // %s: the backup of the set file
    IDS_SETFILE_BACKUP_FAILED = 4104,      // %s: path of the set file
};
