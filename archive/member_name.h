// Which member names the setup unpacks: a name must make a plain file or
// folder below the install folder, and nothing else.
#ifndef ARCHIVE_MEMBER_NAME_H
#define ARCHIVE_MEMBER_NAME_H

// Is name (its steps separated by backslashes, a folder member ending in
// one) one the extractor unpacks? It is refused when it
//  - is empty, begins with a backslash, or holds a drive ("c:");
//  - holds a control character or one of < > : " | ? *;
//  - has a step of dots alone, or a step that ends in a dot or a blank;
//  - has a step that, without its extension, is a device (CON, PRN, AUX,
//    NUL, COM1-COM9, LPT1-LPT9, in any letter case);
//  - begins with a file of the setup's own (deinst.lst, Trust.db,
//    UninstallTNM.exe, in any letter case): those are not the archive's.
bool IsSafeMemberName(const char *name);

#endif
