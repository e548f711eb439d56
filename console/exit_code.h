#ifndef VELMAR_CONSOLE_EXIT_CODE_H
#define VELMAR_CONSOLE_EXIT_CODE_H

// The exit codes of the tool's programs, one meaning each across them all.
// Scripts rely on them: never renumber one.
enum Exit_code
{
    exit_done = 0,             // done: the unit took the values, the watch ended as asked
    exit_output_failed = 1,    // the output (a record, standard output) could not be written
    exit_bad_arguments = 2,    // bad arguments or values out of range
    exit_port_unavailable = 3, // the port cannot be opened
    exit_port_lost = 4,        // the port went away
    exit_no_status = 5,        // no status from the unit within 3 s, or none at all
    exit_no_acknowledgement = 6,
    exit_protocol_too_old = 7,  // the unit speaks a protocol below 2.0
    exit_unit_disagrees = 8,    // the unit reports other values than those sent
    exit_verdict_failed = 9,    // a record fails the checks it was asked to pass
    exit_input_unreadable = 10, // an input (a record file) cannot be read
    exit_listen_failed = 11,    // the address to serve on cannot be bound
    exit_not_judged = 12,       // a check asked for could not be judged: no pass, no fail
    // Ended by a signal before it was done: 128 + the signal's number, as a
    // shell reports a command it killed.
    exit_interrupted = 130, // SIGINT
    exit_terminated = 143,  // SIGTERM
};

#endif
