#ifndef VELMAR_CONSOLE_WHOLE_WRITE_H
#define VELMAR_CONSOLE_WHOLE_WRITE_H

#include <QtCore/QByteArray>

// Bytes (a line, a page) written to a descriptor whole, or nothing of them
// left in a regular file, and never a wait that SIGINT or SIGTERM cannot end.
//
// A pipe whose reader stopped reading (`watch > fifo`, a stalled journal)
// keeps a blocking write() waiting for as long as it likes, and all a signal
// handler may safely do is note the stop. So the write never blocks there:
// it waits for room with poll() in short slices, looking at Stop_request
// between them, and hands a pipe no more than the room poll() promised
// (PIPE_BUF bytes, which the kernel takes at once and in one piece). The
// descriptor stays blocking: it is shared with the shell and the programs
// around, and making it non-blocking would change it under them. A terminal
// or a socket may still make a write wait; the handlers do not restart it
// (no SA_RESTART), so a signal cuts it short and the stop is seen.
//
// What a stop leaves: a regular file ends at its last whole line (a full
// disk fails the write and is taken back the same way). A pipe keeps what
// it took; a line up to PIPE_BUF (4 KiB on Linux) goes in whole or not at
// all, and only the tail of a longer one can be missing.
class Whole_write
{
public:
    enum class Outcome
    {
        written,
        failed,  // error says why
        stopped, // a stop was asked for while the descriptor had no room
    };

    struct Result
    {
        Outcome outcome = Outcome::written;
        int error = 0; // errno of the failure; EINTR when stopped
    };

    static Result to(int fd, const QByteArray &bytes);

    // How often a wait for room looks at the stop request: well inside the
    // second within which a signal must end a program.
    static constexpr int wait_slice_ms = 100;
};

#endif
