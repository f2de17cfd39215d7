// zul_subprograms.h -- server subprocesses: the listener starts, watches,
// stops and terminates its server processes; a server process runs a stop
// thread that ends it cleanly when the listener asks (SubPrograms_*).
//
// Listener side: SubPrograms_Initialize once, then starts, stops and
// terminations; a monitor thread waits on the children in groups of 64 and
// reports each ended child once to the death callback, with its exit code
// (the child's own code; 99 after SubPrograms_TerminateProgram; 128 + the
// signal for a child a signal ended; 259 for a child still running at
// SubPrograms_End). Each child gets the stop semaphore
// "ZUL_stop_semaphore_<listener pid>_<n>" and the two FIFO pipe names as its
// last three arguments.
//
// Child side: SubPrograms_OnStop starts the stop thread; SubPrograms_StopHandling
// brackets writes that a stop must not cut short.
#ifndef ZUL_SUBPROGRAMS_H
#define ZUL_SUBPROGRAMS_H

#include <stdint.h>

typedef void (*SUBPROGRAMS_DEATH_FN)(int32_t pid, int32_t exit_code);
typedef void (*SUBPROGRAMS_STOP_FN)(void);

#define SUBPROGRAMS_GROUP_SLOTS 64
#define SUBPROGRAMS_EXIT_TERMINATED 99
#define SUBPROGRAMS_STILL_ACTIVE 259

// Marks a start whose fifth argument says the child uses no shared-memory channel.
#define SUBPROGRAMS_NO_SHM_CHANNEL "NO_shared_memory_chanl_io"

// Listener side. The pipe handles are the descriptors of the server ends of
// the FIFO pipe pair made at initialisation (-1 when they could not be made,
// for example without $ZULHOME). The pair serves one start at a time: every
// start after the first makes both server ends afresh under the same
// descriptor numbers, so a start always hands out ends that wait for the new
// child, and whatever the previous child still had on them ends.
//
// A child keeps standard input, output and error; the starts with an argument
// vector also hand it one more descriptor of the caller's (inherit_fd, under
// the same number; -1 for none). Nothing else reaches it. A descriptor that
// is not open fails the start (-2).
int32_t SubPrograms_Initialize(void* unused, const char* pipe_suffix, SUBPROGRAMS_DEATH_FN death);
int32_t SubPrograms_StartProgram(int32_t wait_mode, int32_t pipe_index, const char* program, int* in_pipe,
                                 int* out_pipe, ...);
int32_t SubPrograms_StartProgramAsUser(int32_t wait_mode, int32_t pipe_index, const char* home, int* in_pipe,
                                       int* out_pipe, const char* user, const char* password, ...);
// The same start with the arguments as a null-terminated vector, and the
// descriptor the child inherits.
int32_t SubPrograms_StartProgramArgv(int32_t wait_mode, int32_t pipe_index, const char* program, int* in_pipe,
                                     int* out_pipe, const char* const* args, int inherit_fd = -1);
int32_t SubPrograms_StopProgram(int32_t pid);
int32_t SubPrograms_TerminateProgram(int32_t pid);
int32_t SubPrograms_ProgramAlive(int32_t pid);
int32_t SubPrograms_DeathHandling(int32_t resume);
void SubPrograms_SaveDeathHandling(void);
void DB_trans_set_rollback_notifier(void);
void SubPrograms_End(void);

// Child side.
int32_t SubPrograms_OnStop(SUBPROGRAMS_STOP_FN fn, const char* semaphore_name);
int32_t SubPrograms_StopHandling(int32_t leave);
[[noreturn]] void SubPrograms_ThreadExit(int32_t code);

// Introspection for tests: the number of handle groups, the slots used in the
// last one (its wake slot included), and the wait time per group in ms.
void SubPrograms_GroupInfo(int32_t* groups, int32_t* last_used, int32_t* wait_ms);

#endif
