#ifndef VQ_HOST_HEAP_RELEASE_H_
#define VQ_HOST_HEAP_RELEASE_H_

namespace host {

// The C heap of an agent that runs for months. A heap keeps what is freed for
// reuse; between the transient allocations of a unit of work and the few that
// outlive it, the holes it keeps move about from one unit to the next and,
// one touched page at a time, stay counted against the process. Left to
// itself the heap also starts to carve large transient buffers (a transfer's
// receive buffer) out of the thread's own heap after the first one, and then
// keeps up to twice their size in reserve.

// Makes the heap hand freed memory back promptly: large blocks stay mapped
// on their own (and unmapped when freed), and free space at the top of a
// heap is returned at once. Process-wide; call once, before the work starts.
// Never fails.
void tuneHeapForLongRunning();

// Hands the free pages of every thread's heap back to the system. Called at
// the end of a unit of work (an update pass) so that only memory in use stays
// resident. Costs one walk over the heap's free lists; never fails.
void releaseFreeHeapMemory();

}  // namespace host

#endif  // VQ_HOST_HEAP_RELEASE_H_
