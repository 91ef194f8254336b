// A counting layer over glibc's allocator for the allocation tests: every
// malloc-family call made anywhere in the process (the library, GSL,
// libstdc++) is counted, and so is every block still live. Absent under
// sanitizers, whose runtimes own malloc.
#ifndef HANKEL_TRANSF_ROBUST_COUNTING_MALLOC_H
#define HANKEL_TRANSF_ROBUST_COUNTING_MALLOC_H

namespace counting {

struct snapshot {
    long calls;   // allocation requests, failed ones included
    long failed;  // requests that returned NULL
    long live;    // successful allocations not yet freed
};

// False when the build cannot interpose malloc; the counts are then zero.
bool enabled();
snapshot now();

} // namespace counting

#endif
