#ifndef VELMAR_TESTS_PROCESS_CPU_H
#define VELMAR_TESTS_PROCESS_CPU_H

// CPU time this process has used so far, user and system, in seconds.
double process_cpu_seconds();

#endif
