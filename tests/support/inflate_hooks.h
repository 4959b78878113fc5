// Hooks into the inflater's process-wide state, for tests, fuzz targets and
// benchmarks only: the program itself never calls them.
#ifndef TESTS_SUPPORT_INFLATE_HOOKS_H
#define TESTS_SUPPORT_INFLATE_HOOKS_H

// The fetch counter that paces the progress bar (0-1999).
unsigned InflateFetchCounter();
// Decode the fast path through a 32-bit bit buffer, as 32-bit targets do,
// instead of the machine word's width.
void InflateUseNarrowBitBuffer(int narrow);
// Puts the inflater back as a new process has it, as far as a caller can
// tell: the fixed-code tables released (the next fixed block builds them
// again; heap blocks do not survive a sandbox's reset), the machine word's
// bit buffer.
void InflateReset();

#endif
