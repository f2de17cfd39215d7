// zulos.h -- the operating-system layer: the Windows services the server
// library expects, on POSIX.
//
// The system's code reaches the operating system only through this header.
// Each concern has its own header and source file (os_<concern>.h/.cpp) and
// is included here. System calls that tests may want to fail go through the
// replaceable table of os_syscalls.h, so a test can make open, write, shm_open
// or sem_wait fail at a chosen call.
//
// Where behaviour differs from the Windows original in a way a caller could
// notice, the function carries a name of its own rather than the original's.
#ifndef ZULOS_H
#define ZULOS_H

#include "os_syscalls.h"
#include "os_shm.h"
#include "os_sync.h"
#include "os_process.h"
#include "os_thread.h"
#include "os_fatal.h"
#include "os_file.h"
#include "os_env.h"
#include "os_path.h"
#include "os_time.h"
#include "os_mem.h"
#include "os_net.h"
#include "os_socket.h"
#include "os_pipe.h"
#include "os_tempfile.h"
#include "os_codepage.h"
#include "os_registry.h"
#include "os_service.h"
#include "os_eventlog.h"

#endif
