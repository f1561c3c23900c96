#pragma once

// Large blocks (a reading's audio, a script's text) go straight to the system and back
// when freed. glibc would otherwise raise its mmap threshold to the size of the first
// such block freed (up to 32 MB), after which every later reading's buffers come from
// the worker threads' heaps, which keep and fragment the freed space: the resident
// memory then grew by megabytes with every reading.
void ReturnLargeBlocksToTheSystem();
