#pragma once
// How much memory one large allocation (the voxel grid, the neighbour graph) may take. The
// process may use the smaller of what its address-space limit (RLIMIT_AS) still leaves and
// what the system reports as available (MemAvailable); a margin of a tenth, at least 64 MB,
// is kept for what the rest of the run needs. Checking against this before allocating turns
// an allocation the system would refuse (or answer with swapping or the out-of-memory killer)
// into a message that says how much was asked for.

#include <cstdint>
#include <string>

// Bytes the process may still allocate for one large structure, the margin taken off.
uint64_t usableMemoryBytes();

// "23.9 GB", "512 MB", "40 kB" (decimal units, three significant digits at most).
std::string formatBytes(uint64_t bytes);

// "646 million", "2.5 million", "12000": a count of cells or vertices for messages.
std::string formatCount(uint64_t count);

// True when bytes fit usableMemoryBytes(). Otherwise *why (when given) reads
// "<what> needs 23.9 GB (<detail>), more than the 20.1 GB this process may use"; detail
// (such as "646 million cells") is left out when empty.
bool fitsInUsableMemory(uint64_t bytes, const std::string& what, const std::string& detail, std::string* why);
