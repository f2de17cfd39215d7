// orvant.h -- the listener: accepts clients on the instance's service and
// starts one server process per client connection.
//
// What it promises:
// - orvant_open reads "<home>/etc/orvant.defs" (read_configuration), creates
//   the instance's shared segment sized by it (SM_master_create), sets up the
//   subprocess monitor and listens on the instance's TCP service (the default
//   service "norq_zul" falls back to port 5151 when the services database does
//   not know it; another name that is not known fails with -102).
// - orvant_serve answers one request at a time on the listener socket, framed
//   as the listener connection frames them (zul_conn.h). A frame that is too
//   long, does not decode, or asks for something unknown gets the refusal
//   answer (length 1) and the listener goes on with the next client.
// - A connect request starts the server program with its nine arguments,
//   passes it the start parameters over the local pipes, and answers the
//   client with the server's report (open_res). The server gets the accepted
//   client socket (channel kind 1) and starts talking on it only after the
//   answer has gone: the listener holds the instance's general shared mutex
//   from the start until its answer is written, and the server takes that
//   mutex once after its report.
// - When a server process ends, for whatever reason, its area, state, table
//   and object locks and its process record are removed from the segment.
//
// What it does not do: threaded servers, shared-memory and coordinated-memory
// channels (channel kinds 4 and 5), servers with their own listening socket,
// starts as another user, and running as a system service. One listener per
// process (the subprocess monitor is process-wide).
//
// The connect request (req4io), as this listener reads it:
//   id      >= 0 (-1 marks an administrative command, which follows)
//   text1   DB2 connect text (server argument 3)
//   text2   user name (argument 4; empty: "null=user")
//   text3   password (start parameter 1; empty: "null=password")
//   value1  channel transport: 0 native, 1 XDR (start parameter 3)
//   user    name1: the client's own text (argument 2); name2: user data
//           (start parameter 27; empty: the user name)
//   value2  the client's release number
// Its answer (open_res): ids[0] status (0 or the server's failure code);
// ids[1], ids[2] the two ports the server reported; value the server's
// process id; values[0] channel kind, values[1] transport, values[2..4] 0;
// values[5] the error code (= status); values[6] the native DBMS code;
// text1 the user name the server serves (on success) or the message;
// text2 the extended message.
//
// Administrative commands (after an empty request, SES_iomgr_command):
//   ORVANT_CMD_PING      no answer
//   ORVANT_CMD_SHUTDOWN  no answer; the listener stops its servers and ends
//   ORVANT_CMD_CONFIG    answer: SE_INSTANCE_CONFIG
//   ORVANT_CMD_STATUS    answer: SE_INSTANCE_STATUS (release; servers
//                        running; server limit)
//   ORVANT_CMD_USERS     answer: a count, then one SE_INSTANCE_USER per
//                        running server (pid, start time, commands served;
//                        user, client text, client address)
// An answer is a length word and that many bytes of XDR; an unknown command
// gets the refusal (length 1).
#ifndef ORVANT_H
#define ORVANT_H

#include <stdint.h>

#define ORVANT_CMD_PING     0
#define ORVANT_CMD_SHUTDOWN 1
#define ORVANT_CMD_CONFIG   2
#define ORVANT_CMD_STATUS   3
#define ORVANT_CMD_USERS    4

#define ORVANT_ANSWER_MAX  65536   // longest administrative answer, bytes
#define ORVANT_START_WAIT_MS 30000 // default wait for a started server's report

struct ORVANT_OPTIONS {
  const char* instance;        // instance name; null: $ZULINSTANCE, else "norq_zul"
  const char* service;         // TCP service; null: the instance name
  const char* server_program;  // null: "<home>/bin/nuvok"
  int32_t start_wait_ms;       // wait for each pipe end and the report; 0: default
  int32_t quiet;               // no configuration warnings
};

typedef struct ORVANT ORVANT;

// 0 with the listener in *out; the status of the step that failed otherwise
// (-1 no home directory or a second listener in this process; -102 service
// not found; -10 the socket could not be bound; SM_master_create's code).
int32_t orvant_open(const ORVANT_OPTIONS* options, ORVANT** out);
// The TCP port the listener listens on (host order).
int32_t orvant_port(const ORVANT* listener);
// Serves until a shutdown command or orvant_stop. 0.
int32_t orvant_serve(ORVANT* listener);
// Asks orvant_serve to return; safe from a signal handler.
void orvant_stop(ORVANT* listener);
// Stops the running servers, removes their records and the segment.
void orvant_close(ORVANT* listener);

#endif
