// svr_entrypts.cpp -- the dispatch table, the map of the server: 219 rows
// in code order, each {code, name, handler, flags}, and the handler kit that
// the rows drive (the stream lookup with its error clearing, the read-only
// code, the answer to a failed read).
//
// Commands whose handler is not built yet point at SV_not_built_yet.
#include "svr_entrypts.h"

#include <stdio.h>

#include "zul_status.h"

const SVR_COMMAND svr_commands[SE_COMMAND_COUNT] = {
    {  0, "GetConnectionError", SV_get_connection_error, 0},
    {  1, "GetConnectionErrorString", SV_get_connection_error_string, 0},
    {  2, "GetstreamError", SV_getstream_error, CMD_STREAM | CMD_KEEP_ERROR},  // reads the error it would clear
    {  3, "LayerCreate", SV_not_built_yet, 0},
    {  4, "LayerDelete", SV_not_built_yet, 0},
    {  5, "LayerAlter", SV_not_built_yet, 0},
    {  6, "GetFeatureType", SV_not_built_yet, 0},
    {  7, "GetFeatureTypeByName", SV_not_built_yet, 0},
    {  8, "GetAllFeatureTypes", SV_not_built_yet, 0},
    {  9, "LockFeatureType", SV_not_built_yet, 0},
    { 10, "LockFeatureTypeArea", SV_not_built_yet, 0},
    { 11, "ModifyAreaLock", SV_not_built_yet, 0},
    { 12, "FreeLock", SV_not_built_yet, 0},
    { 13, "FreeAllLocks", SV_not_built_yet, 0},
    { 14, "AttributeStats", SV_not_built_yet, 0},
    { 15, "OpenLog", SV_not_built_yet, 0},
    { 16, "CloseLog", SV_not_built_yet, 0},
    { 17, "DeleteLog", SV_not_built_yet, 0},
    { 18, "LogId", SV_not_built_yet, 0},
    { 19, "LogIdList", SV_not_built_yet, 0},
    { 20, "BeginTransaction", SV_begin_transaction, 0},
    { 21, "CommitTransaction", SV_commit_transaction, 0},
    { 22, "RollbackTransaction", SV_rollback_transaction, 0},
    { 23, "Shutdown", SV_shutdown, 0},
    { 24, "TableCreate", SV_not_built_yet, 0},
    { 25, "TableDelete", SV_not_built_yet, 0},
    { 26, "TableDescribe", SV_not_built_yet, 0},
    { 27, "TableList", SV_not_built_yet, 0},
    { 28, "DatabaseList", SV_not_built_yet, 0},
    { 29, "DatabaseUse", SV_not_built_yet, 0},
    { 30, "TableGetPermissions", SV_not_built_yet, 0},
    { 31, "TableCreateIndex", SV_not_built_yet, 0},
    { 32, "TableDeleteIndex", SV_not_built_yet, 0},
    { 33, "SortLog", SV_not_built_yet, 0},
    { 34, "LogCount", SV_not_built_yet, 0},
    { 35, "LayerGetEnvelope", SV_not_built_yet, 0},
    { 36, "GetEnvelopeByLog", SV_not_built_yet, 0},
    { 37, "SetAutoCommit", SV_set_auto_commit, 0},
    { 38, "SetLogType", SV_not_built_yet, 0},
    { 39, "CombineLogs", SV_not_built_yet, 0},
    { 40, "CopyLog", SV_not_built_yet, 0},
    { 41, "MakeLogName", SV_not_built_yet, 0},
    { 42, "GetRlsVersion", SV_get_rls_version, 0},
    { 43, "GetServerTime", SV_get_server_time, 0},
    { 44, "CreateStream", SV_create_stream, CMD_STREAM},
    { 45, "DeleteStream", SV_delete_stream, CMD_STREAM | CMD_KEEP_ERROR},
    { 46, "CloseStream", SV_close_stream, CMD_STREAM | CMD_KEEP_ERROR},
    { 47, "SetStreamSpec", SV_set_stream_spec, 0},
    { 48, "GetStreamSpec", SV_get_stream_spec, 0},
    { 49, "PrepareSql", SV_not_built_yet, 0},
    { 50, "ExecuteSql", SV_not_built_yet, 0},
    { 51, "SendBlob", SV_not_built_yet, CMD_STREAM | CMD_KEEP_ERROR},
    { 52, "NextBuffer", SV_not_built_yet, CMD_STREAM | CMD_KEEP_ERROR},
    { 53, "QueryLayer", SV_not_built_yet, 0},
    { 54, "ExecuteSpatialQuery", SV_not_built_yet, 0},
    { 55, "SetSpatialConstraints", SV_not_built_yet, 0},
    { 56, "QueryLogfile", SV_not_built_yet, 0},
    { 57, "FetchRow", SV_not_built_yet, CMD_STREAM | CMD_KEEP_ERROR},
    { 58, "SetLogFile", SV_not_built_yet, 0},
    { 59, "InsertTable", SV_not_built_yet, CMD_READ_ONLY_SELF},
    { 60, "ExecuteInsertTable", SV_not_built_yet, CMD_STREAM | CMD_KEEP_ERROR},
    { 61, "UpdateTable", SV_not_built_yet, CMD_READ_ONLY_SELF},
    { 62, "ExecuteUpdateTable", SV_not_built_yet, CMD_STREAM | CMD_KEEP_ERROR},
    { 63, "ExecuteUpdateRow", SV_not_built_yet, CMD_STREAM | CMD_KEEP_ERROR},
    { 64, "SetRow", SV_not_built_yet, CMD_READ_ONLY_SELF},
    { 65, "UpdateRow", SV_not_built_yet, CMD_READ_ONLY_SELF},
    { 66, "DeleteRow", SV_not_built_yet, CMD_READ_ONLY_SELF},
    { 67, "SetWriteMode", SV_not_built_yet, CMD_READ_ONLY_SELF},
    { 68, "FlushBufferedWrites", SV_not_built_yet, CMD_STREAM | CMD_KEEP_ERROR | CMD_READ_ONLY_SELF},
    { 69, "LayerGrantAccess", SV_not_built_yet, 0},
    { 70, "LayerRevokeAccess", SV_not_built_yet, 0},
    { 71, "LayerStatistics", SV_not_built_yet, 0},
    { 72, "LayerSiStatistics", SV_not_built_yet, 0},
    { 73, "GetLayerLocks", SV_not_built_yet, 0},
    { 74, "LayerShapeAttributeName", SV_layer_shape_attribute_name, 0},
    { 75, "LayersTableLastModified", SV_layers_table_last_modified, 0},
    { 76, "RegistrationAlter", SV_not_built_yet, CMD_READ_ONLY_SELF},
    { 77, "RegistrationCreate", SV_not_built_yet, CMD_READ_ONLY_SELF},
    { 78, "RegistrationDelete", SV_not_built_yet, CMD_READ_ONLY_SELF},
    { 79, "RegistrationGetById", SV_not_built_yet, 0},
    { 80, "RegistrationGetByName", SV_not_built_yet, 0},
    { 81, "RegistrationGetDiffList", SV_not_built_yet, 0},
    { 82, "RegistrationGetList", SV_not_built_yet, 0},
    { 83, "RowIdsGetRange", SV_not_built_yet, 0},
    { 84, "RowIdsReturnRange", SV_not_built_yet, 0},
    { 85, "TableGrantAccess", SV_not_built_yet, 0},
    { 86, "TableRevokeAccess", SV_not_built_yet, 0},
    { 87, "TableRename", SV_not_built_yet, 0},
    { 88, "TableAddColumn", SV_not_built_yet, 0},
    { 89, "TableDropColumn", SV_not_built_yet, 0},
    { 90, "TableCreateIndexes", SV_not_built_yet, 0},
    { 91, "TableDescribeIndexes", SV_not_built_yet, 0},
    { 92, "TableCreateView", SV_not_built_yet, 0},
    { 93, "TableLock", SV_not_built_yet, 0},
    { 94, "TableFreeLock", SV_not_built_yet, 0},
    { 95, "TableGetLocks", SV_not_built_yet, 0},
    { 96, "TableAddLocator", SV_not_built_yet, 0},
    { 97, "TableDeleteLocator", SV_not_built_yet, 0},
    { 98, "TableGetLocator", SV_not_built_yet, 0},
    { 99, "VersionAlter", SV_not_built_yet, 0},
    {100, "VersionChangeState", SV_not_built_yet, 0},
    {101, "VersionCreate", SV_not_built_yet, 0},
    {102, "VersionDelete", SV_not_built_yet, 0},
    {103, "VersionRename", SV_not_built_yet, 0},
    {104, "VersionGet", SV_not_built_yet, 0},
    {105, "VersionGetList", SV_not_built_yet, 0},
    {106, "StateClose", SV_not_built_yet, 0},
    {107, "StateCompressTree", SV_not_built_yet, 0},
    {108, "StateCreate", SV_not_built_yet, 0},
    {109, "StateDelete", SV_not_built_yet, 0},
    {110, "StateDeleteLayer", SV_not_built_yet, 0},
    {111, "StateLock", SV_not_built_yet, 0},
    {112, "StateMerge", SV_not_built_yet, 0},
    {113, "StateOpen", SV_not_built_yet, 0},
    {114, "StateTrimTree", SV_not_built_yet, 0},
    {115, "StateUnlock", SV_not_built_yet, 0},
    {116, "StateGet", SV_not_built_yet, 0},
    {117, "StateGetList", SV_not_built_yet, 0},
    {118, "StreamCopyStateRows", SV_not_built_yet, CMD_READ_ONLY_SELF},
    {119, "StreamSetState", SV_not_built_yet, 0},
    {120, "StreamRestoreRows", SV_not_built_yet, CMD_READ_ONLY_SELF},
    {121, "StreamDeleteByIds", SV_not_built_yet, CMD_READ_ONLY_SELF},
    {122, "StreamDeleteWhere", SV_not_built_yet, CMD_READ_ONLY_SELF},
    {123, "StreamEquivalenceRows", SV_not_built_yet, 0},
    {124, "StreamUnequivalenceRows", SV_not_built_yet, 0},
    {125, "GetDbmsInfo", SV_get_dbms_info, 0},
    {126, "StreamInvokeSsa", SV_not_built_yet, 0},
    {127, "StreamSetSsaFilter", SV_not_built_yet, 0},
    {128, "SsaExecute", SV_not_built_yet, 0},
    {129, "RasterColumnAlter", SV_not_built_yet, 0},
    {130, "RasterColumnCreate", SV_not_built_yet, 0},
    {131, "RasterColumnDelete", SV_not_built_yet, 0},
    {132, "RasterColumnGetById", SV_not_built_yet, 0},
    {133, "RasterColumnGetByName", SV_not_built_yet, 0},
    {134, "RasterColumnGetList", SV_not_built_yet, 0},
    {135, "RasterColumnGrantAccess", SV_not_built_yet, 0},
    {136, "RasterColumnRevokeAccess", SV_not_built_yet, 0},
    {137, "RasterBandAlter", SV_not_built_yet, 0},
    {138, "RasterBandCreate", SV_not_built_yet, 0},
    {139, "RasterBandDelete", SV_not_built_yet, 0},
    {140, "RasterBandGetById", SV_not_built_yet, 0},
    {141, "RasterBandGetList", SV_not_built_yet, 0},
    {142, "RasterCreate", SV_not_built_yet, 0},
    {143, "RasterDelete", SV_not_built_yet, 0},
    {144, "RasterGetById", SV_not_built_yet, 0},
    {145, "RasterAddBand", SV_not_built_yet, 0},
    {146, "RasterDropBand", SV_not_built_yet, 0},
    {147, "StreamNextRasterBuffer", SV_not_built_yet, CMD_STREAM | CMD_KEEP_ERROR},
    {148, "StreamSetRasterConstraints", SV_not_built_yet, 0},
    {149, "StreamQueryRasterTile", SV_not_built_yet, 0},
    {150, "LogOpenByLoginfo", SV_not_built_yet, 0},
    {151, "LogGetByName", SV_not_built_yet, 0},
    {152, "LogGetByOwner", SV_not_built_yet, 0},
    {153, "LogGetByTable", SV_not_built_yet, 0},
    {154, "LogGetOpenLoginfo", SV_not_built_yet, 0},
    {155, "LogCreate", SV_not_built_yet, 0},
    {156, "LogAlter", SV_not_built_yet, 0},
    {157, "LogCountIds", SV_not_built_yet, 0},
    {158, "LogGetIdList", SV_not_built_yet, 0},
    {159, "LogDeleteIdList", SV_not_built_yet, 0},
    {160, "RowLockAdd", SV_not_built_yet, 0},
    {161, "RowLockRemove", SV_not_built_yet, 0},
    {162, "RowLockGet", SV_not_built_yet, 0},
    {163, "RowLockGetByUser", SV_not_built_yet, 0},
    {164, "RowLockSetStream", SV_not_built_yet, CMD_READ_ONLY_SELF},
    {165, "LayerShapeAttrNameResolve", SV_layer_shape_attr_name_resolve, 0},
    {166, "UpdateSdoDimTable", SV_not_built_yet, CMD_READ_ONLY_SELF},
    {167, "GetDbmsFunction", SV_get_dbms_function, 0},
    {168, "SpatialRefAlter", SV_not_built_yet, 0},
    {169, "SpatialRefCreate", SV_not_built_yet, 0},
    {170, "SpatialRefDelete", SV_not_built_yet, 0},
    {171, "SpatialRefGetInfo", SV_not_built_yet, 0},
    {172, "SpatialRefGetInfoList", SV_not_built_yet, 0},
    {173, "TableMetadataAlter", SV_not_built_yet, 0},
    {174, "TableMetadataAdd", SV_not_built_yet, 0},
    {175, "TableMetadataDelete", SV_not_built_yet, 0},
    {176, "TableMetadataDeleteWhere", SV_not_built_yet, 0},
    {177, "TableMetadataGetList", SV_not_built_yet, 0},
    {178, "MetadataGetById", SV_not_built_yet, 0},
    {179, "MetadataGetList", SV_not_built_yet, 0},
    {180, "DbmsQualifyRules", SV_dbms_qualify_rules, 0},
    {181, "TableCreateIMVView", SV_not_built_yet, 0},
    {182, "TableDeleteIMVView", SV_not_built_yet, 0},
    {183, "LocatorAlter", SV_not_built_yet, 0},
    {184, "LocatorCreate", SV_not_built_yet, 0},
    {185, "LocatorDelete", SV_not_built_yet, 0},
    {186, "LocatorGetInfo", SV_not_built_yet, 0},
    {187, "LocatorGetInfoById", SV_not_built_yet, 0},
    {188, "LocatorGetInfoList", SV_not_built_yet, 0},
    {189, "StreamCalcAttributeStats", SV_not_built_yet, 0},
    {190, "StreamCalcLayerEnvelope", SV_not_built_yet, 0},
    {191, "StreamCalcLayerStats", SV_not_built_yet, 0},
    {192, "LogGrantAccess", SV_not_built_yet, 0},
    {193, "LogRevokeAccess", SV_not_built_yet, 0},
    {194, "ApplicationIdsSet", SV_application_ids_set, 0},
    {195, "TableUpdateDbmsStats", SV_not_built_yet, 0},
    {196, "ObjectLockLock", SV_not_built_yet, 0},
    {197, "ObjectLockUnlock", SV_not_built_yet, 0},
    {198, "ObjectLockGetList", SV_not_built_yet, 0},
    {199, "VersionLock", SV_not_built_yet, 0},
    {200, "VersionUnlock", SV_not_built_yet, 0},
    {201, "VersionGetLocks", SV_not_built_yet, 0},
    {202, "VersionGetById", SV_not_built_yet, 0},
    {203, "GetDbmsResKeyword", SV_get_dbms_res_keyword, 0},
    {204, "UpdateOrdered", SV_not_built_yet, CMD_READ_ONLY_SELF},
    {205, "RowIdsGetRangeByName", SV_not_built_yet, 0},
    {206, "RowIdsReturnRangeByName", SV_not_built_yet, 0},
    {207, "ConvertBinaryLayer", SV_not_built_yet, 0},
    {208, "ConvertBinaryTable", SV_not_built_yet, 0},
    {209, "RasterBandGetStats", SV_not_built_yet, 0},
    {210, "RasterBandGetColorMap", SV_not_built_yet, 0},
    {211, "RegistrationGetDependentTab", SV_not_built_yet, 0},
    {212, "GetDbUserName", SV_get_db_user_name, 0},
    {213, "GetZuldbaName", SV_get_zuldba_name, 0},
    {214, "QueryWithInfo", SV_not_built_yet, 0},
    {215, "DBTuneImport", SV_dbtune_import, 0},
    {216, "DBTuneExport", SV_dbtune_export, 0},
    {217, "TableCreateLongIndex", SV_not_built_yet, 0},
    {218, "TellServerClientRelease", SV_tell_server_client_release, 0},
};
static_assert(sizeof svr_commands / sizeof svr_commands[0] == 219, "one row per command code");

const SVR_COMMAND* svr_current_command(const SERVER_HANDLE* h) {
  if (h->command < 0 || h->command >= SE_COMMAND_COUNT) return nullptr;
  return &svr_commands[h->command];
}

int32_t svr_read_failed(SERVER_HANDLE* h, int32_t rc) {
  int32_t status = (rc == SE_OUT_OF_MEMORY || rc == SE_OUT_OF_DBMS_MEM) ? SE_OUT_OF_DBMS_MEM : SE_NET_FAILURE;
  write_status(h, status);
  return status;
}

int32_t svr_stream_lookup(SERVER_HANDLE* h, int32_t id, SERVER_STREAM** out) {
  int32_t rc = stream_find(h, id, out);
  if (rc != 0) return rc;
  const SVR_COMMAND* row = svr_current_command(h);
  if (row == nullptr || (row->flags & CMD_KEEP_ERROR) == 0) stream_clear_error(*out);
  return 0;
}

int32_t svr_read_only_code(const SERVER_HANDLE* h) {
  if (!h->read_only) return 0;
  return h->read_only_code;
}

// A command whose handler is not built yet cannot have its arguments read:
// their number and layout are unknown here, so the channel cannot be kept in
// step with the client. The command is answered with SE_NOT_BUILT_YET and
// the connection ends, rolled back, as after an unknown command code.
int32_t SV_not_built_yet(SERVER_HANDLE* h) {
  const SVR_COMMAND* row = svr_current_command(h);
  fprintf(stderr, "Command %d (%s) is not built yet; ending the connection.\n", h->command,
          row != nullptr ? row->name : "?");
  write_status(h, SE_NOT_BUILT_YET);
  CH_flush(h->channel);
  connection_rollback(h);
  connection_close(h);
  server_exit(h, SVR_EXIT_UNKNOWN_COMMAND);
}
