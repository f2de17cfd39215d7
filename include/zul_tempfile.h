// zul_tempfile.h -- temporary files of a server process and the external
// merge sort that spills to them.
//
// Temporary files live in the directory given to initialize_temporary_files
// (else $TEMP, $TMP or "/tmp"). They are created exclusively with mode 0600,
// so no other user can read them or put a file or link in their place.
//
// SES_MergeSort sorts fixed-size records that a reader delivers and hands
// them in order to a writer. What fits in memory is sorted there; the rest is
// sorted in runs that are merged through two run files ("SORT..." in the
// given directory), which are always deleted before it returns.
#ifndef ZUL_TEMPFILE_H
#define ZUL_TEMPFILE_H

#include <stdint.h>

#define SE_TEMP_FILE_ERROR  (-59)  // a temporary file could not be made

// Status codes of SES_MergeSort (besides 0 and the writer's own answer).
#define SES_SORT_FILE_ERROR     (-1)   // run file could not be made, written or read; writer failed in a merge
#define SES_SORT_NO_MEMORY      (-2)   // no memory, or too little memory given for one record per buffer
#define SES_SORT_SHORT_INPUT    (-3)   // the reader ended before record count records
#define SES_SORT_BAD_PARAMETER  (-66)  // record size, count, merge order or a function unusable

// initialize_temporary_files: sets the directory of temporary files (a copy
// is kept; null or "" returns to the default) and the place where a failed
// operation stores its errno (may be null). Returns dir.
const char* initialize_temporary_files(const char* dir, int32_t* errloc);

// open_temporary_file: creates a new file "zul..." in the temporary
// directory, open for reading and writing. On success *path (malloc'ed; the
// caller frees it through cleanup_temporary_file) and *fd are set and 0 is
// returned. On failure *path is null, *fd is -1, errno is stored at the error
// location, "OPEN" and the system's text are printed to standard error, and
// -59 is returned.
int32_t open_temporary_file(char** path, int* fd);

// cleanup_temporary_file: closes fd (when not negative), deletes the file
// when path is given, and frees path.
void cleanup_temporary_file(char* path, int fd);

// Reader: places at most max records in buf and returns how many it placed;
// 0 or -1 means the input has ended. Writer: takes count records from buf;
// a negative answer is an error.
typedef int32_t (*SES_SORT_READER)(void* ctx, void* buf, int32_t max);
typedef int32_t (*SES_SORT_WRITER)(void* ctx, void* buf, int32_t count);

// SES_MergeSort: sorts record_count records of record_size bytes with
// compare (a qsort comparison). memory bounds the run buffer, merge_memory
// the merge buffers (one per merged run plus one for output), merge_order
// (2 to 10; more is taken as 10) the runs merged at once. Equal records keep
// the order of their runs. Returns 0, -1, -2, -3 or -66 (above), or in a sort
// that fits in memory the writer's negative answer.
int32_t SES_MergeSort(int (*compare)(const void*, const void*), const char* directory,
                      void* reader_ctx, SES_SORT_READER reader, void* writer_ctx,
                      SES_SORT_WRITER writer, int32_t record_size, int32_t record_count,
                      int32_t memory, int32_t merge_memory, int32_t merge_order);

#endif
