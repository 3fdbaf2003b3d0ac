// Reading and writing a descriptor in whatever mode it was handed to us.
#ifndef DRELK_FD_IO_H
#define DRELK_FD_IO_H

#include <sys/types.h>

#include <cstddef>

// Waits until fd is ready for events (POLLIN or POLLOUT); false when the wait
// was interrupted by a signal, so that the caller can look at why.
bool waitReady(int fd, short events);

// Reads at most size bytes. A descriptor left non-blocking is waited on, and
// an interrupted read is tried again unless *stop is set by the time it
// returns. Returns what read(2) does: bytes read, 0 at the end, -1 on error
// (errno EINTR when stopped).
ssize_t readSome(int fd, void *buffer, size_t size, const volatile bool *stop = nullptr);

// Writes all of data, however the kernel splits it, waiting on a descriptor
// left non-blocking. False when the descriptor will take no more.
bool writeAll(int fd, const void *data, size_t size);

#endif
