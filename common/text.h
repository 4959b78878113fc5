// Text and path rules that every layer shares: the one rule by which a
// folder and a name are joined, a bounded append, letter case and separators
// as Windows compares paths, and the step of dots alone that climbs.
#ifndef COMMON_TEXT_H
#define COMMON_TEXT_H

#include <stddef.h>

// folder, a backslash unless folder already ends in one, then name, into out
// (capacity characters with the terminator). Returns 0, or -1 when the result
// would not fit (out is then left empty).
int JoinPath(char *out, size_t capacity, const char *folder, const char *name);

// Makes folder (capacity characters with the terminator) end in a backslash,
// also an empty one. 0, or -1 when there is no room for it.
int EndWithBackslash(char *folder, size_t capacity);

// Appends text to the string in buffer (capacity characters with the
// terminator). 0, or -1 when it had to be cut at the capacity.
int AppendText(char *buffer, size_t capacity, const char *text);

char LowerAscii(char c);
// '\\' or '/': Windows takes either between the steps of a path.
bool IsPathSeparator(char c);
// Does text begin with prefix, letter case aside and either separator
// matching either?
bool BeginsWithPath(const char *text, const char *prefix);
// Are the texts the same, letter case aside?
bool SameText(const char *a, const char *b);
// Do two paths name the same file as Windows compares them, letter case
// aside and either separator matching either?
bool SamePath(const char *a, const char *b);
// Does the path hold a step of two or more dots alone? ".." climbs, and
// Windows 95 reads "..." and longer runs as climbing further.
bool HasDotStep(const char *path);

#endif
