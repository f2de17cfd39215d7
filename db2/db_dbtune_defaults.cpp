// db_dbtune_defaults.cpp -- the built-in dbtune rows: 119 rows under 17
// keywords that the server and its clients expect in the dbtune table, and
// the completion of a load with the rows the file did not supply.
//
// A load keeps two sets of flags: supplied (one per row, set as the file's
// blocks are inserted) and complete (one per keyword, worked out at the end
// of the file). A keyword is complete when all its rows were supplied;
// QVM_METADATA already when its first six rows were. Every row of an
// incomplete keyword that was not supplied is inserted with its built-in
// value, after a warning shown under ZULVERBOSE.
// Relies on db_dbtune_insert_row (db_dbtune_io.cpp) for each insertion.
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "dbsql_io.h"
#include "svr_services.h"
#include "zul_dbtune.h"

namespace {

// Wordings of the warning.
enum Warning {
  kPlain = 0,       // "... 'X'. \n\t Inserting the default values.\n"
  kTheDefault = 1,  // last line "\t Inserting thedefault values.\n"
  kNoBlankTab = 2,  // last line "\tInserting the default values.\n"
  kNoBlankEnd = 3,  // first line ends "'.\n"
};

enum Keyword {
  kDefaults, kLogfileDefaults, kNetworkDefaults, kNetworkNetwork, kNetworkDesc, kDataDictionary,
  kQvmMetadata, kQvmRelationships, kQvmTags, kQvmThumbnails, kQvmUsers, kQvmValues, kQvmWordIndex,
  kQvmWords, kSurvey, kTopologyDefaults, kTopologyDirtyAreas,
};

const int32_t kQvmCompleteRows = 6;   // QVM_METADATA is complete with its first six rows

}  // namespace

const char* const kDbtuneDefaultKeywords[DBTUNE_DEFAULT_KEYWORDS] = {
    "DEFAULTS", "LOGFILE_DEFAULTS", "NETWORK_DEFAULTS", "NETWORK_DEFAULTS::NETWORK",
    "NETWORK_DEFAULTS::DESC", "DATA_DICTIONARY", "QVM_METADATA", "QVM_METADATARELATIONSHIPS",
    "QVM_METADATATAGS", "QVM_METADATATHUMBNAILS", "QVM_METADATAUSERS", "QVM_METADATAVALUES",
    "QVM_METADATAWORDINDEX", "QVM_METADATAWORDS", "SURVEY_MULTI_BINARY", "TOPOLOGY_DEFAULTS",
    "TOPOLOGY_DEFAULTS::DIRTYAREAS",
};

const DBTUNE_DEFAULT_ROW kDbtuneDefaultRows[DBTUNE_DEFAULT_ROWS] = {
    {kDefaults, "UI_TEXT", "", kPlain},
    {kDefaults, "B_STORAGE", "", kPlain},
    {kDefaults, "B_INDEX_ROWID", "", kPlain},
    {kDefaults, "B_INDEX_SHAPE", "", kPlain},
    {kDefaults, "B_INDEX_USER", "", kPlain},
    {kDefaults, "B_RUNSTATS", "YES", kPlain},
    {kDefaults, "LOB_OPTION", "LOGGED NOT COMPACT", kPlain},
    {kDefaults, "LOB_SIZE", "1M", kPlain},
    {kDefaults, "A_STORAGE", "", kPlain},
    {kDefaults, "A_INDEX_ROWID", "", kPlain},
    {kDefaults, "A_INDEX_SHAPE", "", kPlain},
    {kDefaults, "A_INDEX_STATEID", "", kPlain},
    {kDefaults, "A_INDEX_USER", "", kPlain},
    {kDefaults, "D_STORAGE", "", kTheDefault},
    {kDefaults, "D_INDEX_STATE_ROWID", "", kPlain},
    {kDefaults, "D_INDEX_DELETED_AT", "", kPlain},

    {kLogfileDefaults, "UI_TEXT", "", kPlain},
    {kLogfileDefaults, "LF_STORAGE", "", kPlain},
    {kLogfileDefaults, "LD_STORAGE", "", kPlain},
    {kLogfileDefaults, "LD_INDEX_DATA_ID", "", kNoBlankTab},
    {kLogfileDefaults, "LD_INDEX_ROWID", "", kPlain},

    {kNetworkDefaults, "B_STORAGE", "", kPlain},
    {kNetworkDefaults, "B_INDEX_SHAPE", "", kPlain},
    {kNetworkDefaults, "B_INDEX_ROWID", "", kPlain},
    {kNetworkDefaults, "B_INDEX_USER", "", kPlain},
    {kNetworkDefaults, "A_STORAGE", "", kPlain},
    {kNetworkDefaults, "A_INDEX_ROWID", "", kPlain},
    {kNetworkDefaults, "A_INDEX_SHAPE", "", kPlain},
    {kNetworkDefaults, "A_INDEX_STATEID", "", kPlain},
    {kNetworkDefaults, "A_INDEX_USER", "", kPlain},
    {kNetworkDefaults, "D_STORAGE", "", kPlain},
    {kNetworkDefaults, "D_INDEX_STATE_ROWID", "", kPlain},
    {kNetworkDefaults, "D_INDEX_DELETED_AT", "", kPlain},
    {kNetworkDefaults, "UI_NETWORK_TEXT", "The network default configuration", kPlain},
    {kNetworkDefaults, "COMMENT", "The base system initialization parameters for NETWORK_DEFAULTS", kPlain},

    {kNetworkNetwork, "B_STORAGE", "", kPlain},
    {kNetworkNetwork, "B_INDEX_ROWID", "", kPlain},
    {kNetworkNetwork, "B_INDEX_USER", "", kNoBlankTab},
    {kNetworkNetwork, "A_STORAGE", "", kPlain},
    {kNetworkNetwork, "A_INDEX_ROWID", "", kPlain},
    {kNetworkNetwork, "A_INDEX_STATEID", "", kPlain},
    {kNetworkNetwork, "A_INDEX_USER", "", kNoBlankTab},
    {kNetworkNetwork, "D_STORAGE", "", kPlain},
    {kNetworkNetwork, "D_INDEX_STATE_ROWID", "", kPlain},
    {kNetworkNetwork, "D_INDEX_DELETED_AT", "", kPlain},

    {kNetworkDesc, "B_STORAGE", "", kPlain},
    {kNetworkDesc, "B_INDEX_ROWID", "", kPlain},
    {kNetworkDesc, "B_INDEX_USER", "", kPlain},
    {kNetworkDesc, "A_STORAGE", "", kPlain},
    {kNetworkDesc, "A_INDEX_ROWID", "", kPlain},
    {kNetworkDesc, "A_INDEX_STATEID", "", kNoBlankTab},
    {kNetworkDesc, "A_INDEX_USER", "", kPlain},
    {kNetworkDesc, "D_STORAGE", "", kPlain},
    {kNetworkDesc, "D_INDEX_STATE_ROWID", "", kPlain},
    {kNetworkDesc, "D_INDEX_DELETED_AT", "", kPlain},

    {kDataDictionary, "B_STORAGE", "", kPlain},
    {kDataDictionary, "B_INDEX_ROWID", "", kPlain},
    {kDataDictionary, "B_INDEX_USER", "", kPlain},
    {kDataDictionary, "STATE_LINEAGES_TABLE", "", kPlain},
    {kDataDictionary, "STATES_TABLE", "", kPlain},
    {kDataDictionary, "STATES_INDEX", "", kPlain},
    {kDataDictionary, "VERSIONS_TABLE", "", kPlain},
    {kDataDictionary, "VERSIONS_INDEX", "", kPlain},
    {kDataDictionary, "MVTABLES_MODIFIED_TABLE", "", kNoBlankEnd},
    {kDataDictionary, "MVTABLES_MODIFIED_INDEX", "", kNoBlankEnd},

    {kQvmMetadata, "B_STORAGE", "", kPlain},
    {kQvmMetadata, "B_INDEX_ROWID", "", kPlain},
    {kQvmMetadata, "B_INDEX_USER", "", kPlain},
    {kQvmMetadata, "B_INDEX_SHAPE", "", kPlain},
    {kQvmMetadata, "LOB_OPTION", "LOGGED NOT COMPACT", kPlain},
    {kQvmMetadata, "LOB_SIZE", "1M", kPlain},
    {kQvmMetadata, "COMMENT", "The QVM metadata feature class", kPlain},
    {kQvmMetadata, "UI_TEXT", "", kPlain},

    {kQvmRelationships, "B_STORAGE", "", kPlain},
    {kQvmRelationships, "B_INDEX_ROWID", "", kPlain},
    {kQvmRelationships, "B_INDEX_USER", "", kNoBlankTab},

    {kQvmTags, "B_STORAGE", "", kPlain},
    {kQvmTags, "B_INDEX_ROWID", "", kPlain},
    {kQvmTags, "B_INDEX_USER", "", kPlain},

    {kQvmThumbnails, "B_STORAGE", "", kPlain},
    {kQvmThumbnails, "B_INDEX_USER", "", kPlain},
    {kQvmThumbnails, "LOB_OPTION", "LOGGED NOT COMPACT", kPlain},
    {kQvmThumbnails, "LOB_SIZE", "1M", kPlain},

    {kQvmUsers, "B_STORAGE", "", kPlain},
    {kQvmUsers, "B_INDEX_ROWID", "", kPlain},
    {kQvmUsers, "B_INDEX_USER", "", kPlain},

    {kQvmValues, "B_STORAGE", "", kPlain},
    {kQvmValues, "B_INDEX_USER", "", kPlain},

    {kQvmWordIndex, "B_STORAGE", "", kPlain},
    {kQvmWordIndex, "B_INDEX_USER", "", kPlain},

    {kQvmWords, "B_STORAGE", "", kPlain},
    {kQvmWords, "B_INDEX_ROWID", "", kPlain},
    {kQvmWords, "B_INDEX_USER", "", kPlain},

    {kSurvey, "UI_TEXT", "", kPlain},

    {kTopologyDefaults, "UI_TOPOLOGY_TEXT", "The topology default configuration", kPlain},
    {kTopologyDefaults, "B_STORAGE", "", kPlain},
    {kTopologyDefaults, "B_INDEX_SHAPE", "", kPlain},
    {kTopologyDefaults, "B_INDEX_ROWID", "", kPlain},
    {kTopologyDefaults, "B_INDEX_USER", "", kPlain},
    {kTopologyDefaults, "A_STORAGE", "", kPlain},
    {kTopologyDefaults, "A_INDEX_ROWID", "", kPlain},
    {kTopologyDefaults, "A_INDEX_SHAPE", "", kPlain},
    {kTopologyDefaults, "A_INDEX_STATEID", "", kPlain},
    {kTopologyDefaults, "A_INDEX_USER", "", kPlain},
    {kTopologyDefaults, "D_STORAGE", "", kPlain},
    {kTopologyDefaults, "D_INDEX_STATE_ROWID", "", kPlain},
    {kTopologyDefaults, "D_INDEX_DELETED_AT", "", kPlain},

    {kTopologyDirtyAreas, "B_STORAGE", "", kPlain},
    {kTopologyDirtyAreas, "B_INDEX_SHAPE", "", kPlain},
    {kTopologyDirtyAreas, "B_INDEX_ROWID", "", kPlain},
    {kTopologyDirtyAreas, "B_INDEX_USER", "", kPlain},
    {kTopologyDirtyAreas, "A_STORAGE", "", kPlain},
    {kTopologyDirtyAreas, "A_INDEX_ROWID", "", kPlain},
    {kTopologyDirtyAreas, "A_INDEX_SHAPE", "", kPlain},
    {kTopologyDirtyAreas, "A_INDEX_STATEID", "", kPlain},
    {kTopologyDirtyAreas, "A_INDEX_USER", "", kPlain},
    {kTopologyDirtyAreas, "D_STORAGE", "", kPlain},
    {kTopologyDirtyAreas, "D_INDEX_STATE_ROWID", "", kPlain},
    {kTopologyDirtyAreas, "D_INDEX_DELETED_AT", "", kPlain},
};

void dbtune_defaults_mark(int32_t supplied[DBTUNE_DEFAULT_ROWS], const char* keyword, const char* name) {
  for (int32_t i = 0; i < DBTUNE_DEFAULT_ROWS; ++i) {
    const DBTUNE_DEFAULT_ROW& r = kDbtuneDefaultRows[i];
    if (strcasecmp(kDbtuneDefaultKeywords[r.keyword], keyword) == 0 && strcasecmp(r.name, name) == 0)
      supplied[i] = 1;
  }
}

void dbtune_defaults_mark_block(int32_t supplied[DBTUNE_DEFAULT_ROWS], const char* block_keyword,
                                const DBTUNE_ROW_LIST* rows) {
  // The value rows each keyword may supply from its block, by name prefix;
  // a name marked '=' must match whole.
  static const struct {
    const char* keyword;
    const char* names[4];
  } kValueRows[] = {
      {"NETWORK_DEFAULTS", {"UI_NETWORK_TEXT", "COMMENT", nullptr, nullptr}},
      {"QVM_METADATA", {"=COMMENT", "=UI_TEXT", "LOB_OPTION", "LOB_SIZE"}},
      {"QVM_METADATATHUMBNAILS", {"LOB_OPTION", "LOB_SIZE", nullptr, nullptr}},
      {"DEFAULTS", {"B_RUNSTATS", "LOB_OPTION", "LOB_SIZE", nullptr}},
      {"TOPOLOGY_DEFAULTS", {"UI_TOPOLOGY_TEXT", nullptr, nullptr, nullptr}},
  };
  for (const auto& v : kValueRows) {
    if (strcasecmp(v.keyword, block_keyword) != 0) continue;
    for (int32_t i = 0; rows != nullptr && i < rows->count; ++i) {
      for (const char* n : v.names) {
        if (n == nullptr) break;
        bool whole = n[0] == '=';
        const char* want = whole ? n + 1 : n;
        bool match = whole ? strcasecmp(rows->names[i], want) == 0
                           : strncasecmp(rows->names[i], want, strlen(want)) == 0;
        if (match) dbtune_defaults_mark(supplied, v.keyword, want);
      }
    }
  }
  // the load gives every such block a UI_TEXT row, its own or an empty one
  static const struct {
    const char* keyword;
    size_t len;
  } kUiText[] = {{"DEFAULTS", 8}, {"LOGFILE_DEFAULTS", 16}, {"SURVEY_MULTI_BINARY", 19}};
  for (const auto& u : kUiText)
    if (strncasecmp(block_keyword, u.keyword, u.len) == 0) dbtune_defaults_mark(supplied, u.keyword, "UI_TEXT");
}

void dbtune_defaults_complete(const int32_t supplied[DBTUNE_DEFAULT_ROWS],
                              int32_t complete[DBTUNE_DEFAULT_KEYWORDS]) {
  int32_t seen[DBTUNE_DEFAULT_KEYWORDS] = {0};
  for (int32_t k = 0; k < DBTUNE_DEFAULT_KEYWORDS; ++k) complete[k] = 1;
  for (int32_t i = 0; i < DBTUNE_DEFAULT_ROWS; ++i) {
    int32_t k = kDbtuneDefaultRows[i].keyword;
    int32_t position = seen[k]++;
    if (k == kQvmMetadata && position >= kQvmCompleteRows) continue;
    if (!supplied[i]) complete[k] = 0;
  }
}

int32_t S_insert_dbtuneTab_defaults_data(DB_INSTANCE* instance, const char* file_name,
                                         const int32_t complete[DBTUNE_DEFAULT_KEYWORDS],
                                         DBTUNE_ERROR_ROW* error_row,
                                         const int32_t supplied[DBTUNE_DEFAULT_ROWS]) {
  bool all = true;
  for (int32_t k = 0; k < DBTUNE_DEFAULT_KEYWORDS; ++k)
    if (!complete[k]) all = false;
  if (all) return 0;
  char call_name[64];
  char call_text[128];
  db_sp_make_name(instance, "zul_insert_dbtune", 2, call_name);
  snprintf(call_text, sizeof call_text, "call %s (?,?,?,?,?)", call_name);
  if (file_name == nullptr) file_name = "";
  for (int32_t i = 0; i < DBTUNE_DEFAULT_ROWS; ++i) {
    const DBTUNE_DEFAULT_ROW& r = kDbtuneDefaultRows[i];
    if (complete[r.keyword] || supplied[i]) continue;
    const char* keyword = kDbtuneDefaultKeywords[r.keyword];
    const char* end = r.warning == kNoBlankEnd ? "'.\n" : "'. \n";
    const char* tail = r.warning == kTheDefault   ? "\t Inserting thedefault values.\n"
                       : r.warning == kNoBlankTab ? "\tInserting the default values.\n"
                                                  : "\t Inserting the default values.\n";
    SES_print_debug(stderr, "WARNING: %s does not contain %s config parameter '%s%s%s", file_name, keyword,
                    r.name, end, tail);
    char kw[DBTUNE_NAME_LEN];
    char name[DBTUNE_NAME_LEN];
    snprintf(kw, sizeof kw, "%s", keyword);
    snprintf(name, sizeof name, "%s", r.name);
    int32_t status = db_dbtune_insert_row(instance, call_text, kw, name, r.value, error_row);
    if (status != 0) {
      SES_print_debug(stderr, "S_insert_dbtuneTab_defaults_data(): Error inserting data into DBTUNE table.\n");
      return status;
    }
  }
  return 0;
}
