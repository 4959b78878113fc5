// The install log's tags, shared by its writers and its reader.
#ifndef INSTALLLOG_LOG_TAGS_H
#define INSTALLLOG_LOG_TAGS_H

// Every tag of the log, LOG_TAG_LENGTH characters each, in this order: the
// name, the files and folders (each a setup tag, then its uninstall tag),
// the setup's keys and the uninstaller's keys, each in the order of
// LogKeyRoot.
extern const char kLogTags[];
enum { TAG_NAME = 0, TAG_FILE = 1, TAG_FOLDER = 3, TAG_KEY = 5, TAG_UNINSTALL_KEY = 11, TAG_COUNT = 17 };

#endif
