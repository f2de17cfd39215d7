// loginfo.cpp -- the life and accessors of the log-file record.
//
// Every accessor first checks the "LoG" tag, so a freed or foreign record is
// refused rather than read. Texts are stored only when they fit their
// fields; a longer one is refused and the record keeps what it had.
#include <stdlib.h>
#include <string.h>

#include "zul_logfile.h"
#include "zul_status.h"

namespace {

bool tagged(const LOGFILE* logfile) {
  return logfile != nullptr && memcmp(logfile->tag, SE_LOGFILE_TAG, sizeof logfile->tag) == 0;
}

// Copies text into a field of cap bytes; false when it does not fit.
bool store(char* field, size_t cap, const char* text) {
  size_t len = strnlen(text, cap);
  if (len == cap) return false;
  memcpy(field, text, len + 1);
  return true;
}

// Copies a field out; the field is NUL-terminated within cap by construction
// of store(), but a record from a peer might not be, so the copy is bounded.
void fetch(char* out, const char* field, size_t cap) {
  size_t len = strnlen(field, cap - 1);
  memcpy(out, field, len);
  out[len] = '\0';
}

}  // namespace

int32_t SES_loginfo_create(LOGFILE** out) {
  if (out == nullptr) return SE_INVALID_POINTER;
  LOGFILE* logfile = static_cast<LOGFILE*>(calloc(1, sizeof(LOGFILE)));
  if (logfile == nullptr) return SE_OUT_OF_MEMORY;
  memcpy(logfile->tag, SE_LOGFILE_TAG, sizeof logfile->tag);
  *out = logfile;
  return SE_SUCCESS;
}

void SES_loginfo_free(LOGFILE* logfile) {
  if (logfile == nullptr) return;
  memcpy(logfile->tag, SE_LOGFILE_FREED_TAG, sizeof logfile->tag);
  free(logfile);
}

int32_t SES_loginfo_get_id(const LOGFILE* logfile, int32_t* id) {
  if (!tagged(logfile)) return SE_INVALID_LOGFILE_OBJECT;
  if (id == nullptr) return SE_INVALID_POINTER;
  *id = logfile->id;
  return SE_SUCCESS;
}

int32_t SES_loginfo_get_name(const LOGFILE* logfile, char* name) {
  if (!tagged(logfile)) return SE_INVALID_LOGFILE_OBJECT;
  if (name == nullptr) return SE_INVALID_POINTER;
  fetch(name, logfile->name, sizeof logfile->name);
  return SE_SUCCESS;
}

int32_t SES_loginfo_set_name(LOGFILE* logfile, const char* name) {
  if (!tagged(logfile)) return SE_INVALID_LOGFILE_OBJECT;
  if (name == nullptr) return SE_INVALID_POINTER;
  return store(logfile->name, sizeof logfile->name, name) ? SE_SUCCESS : SE_INVALID_PARAM;
}

int32_t SES_loginfo_get_target_object(const LOGFILE* logfile, int32_t* kind, char* object, char* column) {
  if (!tagged(logfile)) return SE_INVALID_LOGFILE_OBJECT;
  if (kind == nullptr) return SE_INVALID_POINTER;
  *kind = (logfile->flags & SE_LOG_TARGET_LAYER) != 0 ? SE_LOG_KIND_LAYER : SE_LOG_KIND_TABLE;
  if (object != nullptr) fetch(object, logfile->target, sizeof logfile->target);
  if (column != nullptr) fetch(column, logfile->column, sizeof logfile->column);
  return SE_SUCCESS;
}

int32_t SES_loginfo_set_target_object(LOGFILE* logfile, int32_t kind, const char* object, const char* column) {
  if (!tagged(logfile)) return SE_INVALID_LOGFILE_OBJECT;
  if ((kind != SE_LOG_KIND_TABLE && kind != SE_LOG_KIND_LAYER) || object == nullptr) return SE_INVALID_POINTER;
  if (strnlen(object, sizeof logfile->target) == sizeof logfile->target) return SE_INVALID_PARAM;
  int32_t kept = logfile->flags & (SE_LOG_PERSISTENT | SE_LOG_FLAG_8);
  if (kind == SE_LOG_KIND_LAYER) {
    if (column == nullptr || column[0] == '\0') return SE_INVALID_PARAM;
    if (!store(logfile->column, sizeof logfile->column, column)) return SE_INVALID_PARAM;
    logfile->flags = kept | SE_LOG_TARGET_LAYER;
  } else {
    logfile->column[0] = '\0';
    logfile->flags = kept | SE_LOG_TARGET_TABLE;
  }
  store(logfile->target, sizeof logfile->target, object);
  return SE_SUCCESS;
}

int32_t SES_loginfo_get_persistence(const LOGFILE* logfile, int32_t* persistence) {
  if (!tagged(logfile)) return SE_INVALID_LOGFILE_OBJECT;
  if (persistence == nullptr) return SE_INVALID_POINTER;
  *persistence = (logfile->flags & SE_LOG_PERSISTENT) != 0 ? SE_LOG_IS_PERSISTENT : SE_LOG_IS_TEMPORARY;
  return SE_SUCCESS;
}

int32_t SES_loginfo_set_persistence(LOGFILE* logfile, int32_t persistence) {
  if (!tagged(logfile)) return SE_INVALID_LOGFILE_OBJECT;
  if (persistence == SE_LOG_IS_PERSISTENT) {
    logfile->flags |= SE_LOG_PERSISTENT;
  } else if (persistence == SE_LOG_IS_TEMPORARY) {
    logfile->flags &= SE_LOG_TARGET_TABLE | SE_LOG_TARGET_LAYER | SE_LOG_FLAG_8;
  } else {
    return SE_INVALID_PARAM;
  }
  return SE_SUCCESS;
}
