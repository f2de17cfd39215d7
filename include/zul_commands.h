// zul_commands.h -- the command codes of the client protocol and their names.
//
// A client names each request by a signed 32-bit code sent first on the
// channel. ZUL_COMMAND_LIST is the one list of codes and names: the enum,
// the name table (comm/cmd_names.cpp) and the server's dispatch table are
// all generated from it, so a code and its name cannot drift apart.
// Older clients number their commands differently; CH_legacy_command_code
// gives that numbering for the channel's legacy mode.
#ifndef ZUL_COMMANDS_H
#define ZUL_COMMANDS_H

#include <stdint.h>

// X(code, name) for every command, in code order.
#define ZUL_COMMAND_LIST(X) \
  X(  0, GetConnectionError) \
  X(  1, GetConnectionErrorString) \
  X(  2, GetstreamError) \
  X(  3, LayerCreate) \
  X(  4, LayerDelete) \
  X(  5, LayerAlter) \
  X(  6, GetFeatureType) \
  X(  7, GetFeatureTypeByName) \
  X(  8, GetAllFeatureTypes) \
  X(  9, LockFeatureType) \
  X( 10, LockFeatureTypeArea) \
  X( 11, ModifyAreaLock) \
  X( 12, FreeLock) \
  X( 13, FreeAllLocks) \
  X( 14, AttributeStats) \
  X( 15, OpenLog) \
  X( 16, CloseLog) \
  X( 17, DeleteLog) \
  X( 18, LogId) \
  X( 19, LogIdList) \
  X( 20, BeginTransaction) \
  X( 21, CommitTransaction) \
  X( 22, RollbackTransaction) \
  X( 23, Shutdown) \
  X( 24, TableCreate) \
  X( 25, TableDelete) \
  X( 26, TableDescribe) \
  X( 27, TableList) \
  X( 28, DatabaseList) \
  X( 29, DatabaseUse) \
  X( 30, TableGetPermissions) \
  X( 31, TableCreateIndex) \
  X( 32, TableDeleteIndex) \
  X( 33, SortLog) \
  X( 34, LogCount) \
  X( 35, LayerGetEnvelope) \
  X( 36, GetEnvelopeByLog) \
  X( 37, SetAutoCommit) \
  X( 38, SetLogType) \
  X( 39, CombineLogs) \
  X( 40, CopyLog) \
  X( 41, MakeLogName) \
  X( 42, GetRlsVersion) \
  X( 43, GetServerTime) \
  X( 44, CreateStream) \
  X( 45, DeleteStream) \
  X( 46, CloseStream) \
  X( 47, SetStreamSpec) \
  X( 48, GetStreamSpec) \
  X( 49, PrepareSql) \
  X( 50, ExecuteSql) \
  X( 51, SendBlob) \
  X( 52, NextBuffer) \
  X( 53, QueryLayer) \
  X( 54, ExecuteSpatialQuery) \
  X( 55, SetSpatialConstraints) \
  X( 56, QueryLogfile) \
  X( 57, FetchRow) \
  X( 58, SetLogFile) \
  X( 59, InsertTable) \
  X( 60, ExecuteInsertTable) \
  X( 61, UpdateTable) \
  X( 62, ExecuteUpdateTable) \
  X( 63, ExecuteUpdateRow) \
  X( 64, SetRow) \
  X( 65, UpdateRow) \
  X( 66, DeleteRow) \
  X( 67, SetWriteMode) \
  X( 68, FlushBufferedWrites) \
  X( 69, LayerGrantAccess) \
  X( 70, LayerRevokeAccess) \
  X( 71, LayerStatistics) \
  X( 72, LayerSiStatistics) \
  X( 73, GetLayerLocks) \
  X( 74, LayerShapeAttributeName) \
  X( 75, LayersTableLastModified) \
  X( 76, RegistrationAlter) \
  X( 77, RegistrationCreate) \
  X( 78, RegistrationDelete) \
  X( 79, RegistrationGetById) \
  X( 80, RegistrationGetByName) \
  X( 81, RegistrationGetDiffList) \
  X( 82, RegistrationGetList) \
  X( 83, RowIdsGetRange) \
  X( 84, RowIdsReturnRange) \
  X( 85, TableGrantAccess) \
  X( 86, TableRevokeAccess) \
  X( 87, TableRename) \
  X( 88, TableAddColumn) \
  X( 89, TableDropColumn) \
  X( 90, TableCreateIndexes) \
  X( 91, TableDescribeIndexes) \
  X( 92, TableCreateView) \
  X( 93, TableLock) \
  X( 94, TableFreeLock) \
  X( 95, TableGetLocks) \
  X( 96, TableAddLocator) \
  X( 97, TableDeleteLocator) \
  X( 98, TableGetLocator) \
  X( 99, VersionAlter) \
  X(100, VersionChangeState) \
  X(101, VersionCreate) \
  X(102, VersionDelete) \
  X(103, VersionRename) \
  X(104, VersionGet) \
  X(105, VersionGetList) \
  X(106, StateClose) \
  X(107, StateCompressTree) \
  X(108, StateCreate) \
  X(109, StateDelete) \
  X(110, StateDeleteLayer) \
  X(111, StateLock) \
  X(112, StateMerge) \
  X(113, StateOpen) \
  X(114, StateTrimTree) \
  X(115, StateUnlock) \
  X(116, StateGet) \
  X(117, StateGetList) \
  X(118, StreamCopyStateRows) \
  X(119, StreamSetState) \
  X(120, StreamRestoreRows) \
  X(121, StreamDeleteByIds) \
  X(122, StreamDeleteWhere) \
  X(123, StreamEquivalenceRows) \
  X(124, StreamUnequivalenceRows) \
  X(125, GetDbmsInfo) \
  X(126, StreamInvokeSsa) \
  X(127, StreamSetSsaFilter) \
  X(128, SsaExecute) \
  X(129, RasterColumnAlter) \
  X(130, RasterColumnCreate) \
  X(131, RasterColumnDelete) \
  X(132, RasterColumnGetById) \
  X(133, RasterColumnGetByName) \
  X(134, RasterColumnGetList) \
  X(135, RasterColumnGrantAccess) \
  X(136, RasterColumnRevokeAccess) \
  X(137, RasterBandAlter) \
  X(138, RasterBandCreate) \
  X(139, RasterBandDelete) \
  X(140, RasterBandGetById) \
  X(141, RasterBandGetList) \
  X(142, RasterCreate) \
  X(143, RasterDelete) \
  X(144, RasterGetById) \
  X(145, RasterAddBand) \
  X(146, RasterDropBand) \
  X(147, StreamNextRasterBuffer) \
  X(148, StreamSetRasterConstraints) \
  X(149, StreamQueryRasterTile) \
  X(150, LogOpenByLoginfo) \
  X(151, LogGetByName) \
  X(152, LogGetByOwner) \
  X(153, LogGetByTable) \
  X(154, LogGetOpenLoginfo) \
  X(155, LogCreate) \
  X(156, LogAlter) \
  X(157, LogCountIds) \
  X(158, LogGetIdList) \
  X(159, LogDeleteIdList) \
  X(160, RowLockAdd) \
  X(161, RowLockRemove) \
  X(162, RowLockGet) \
  X(163, RowLockGetByUser) \
  X(164, RowLockSetStream) \
  X(165, LayerShapeAttrNameResolve) \
  X(166, UpdateSdoDimTable) \
  X(167, GetDbmsFunction) \
  X(168, SpatialRefAlter) \
  X(169, SpatialRefCreate) \
  X(170, SpatialRefDelete) \
  X(171, SpatialRefGetInfo) \
  X(172, SpatialRefGetInfoList) \
  X(173, TableMetadataAlter) \
  X(174, TableMetadataAdd) \
  X(175, TableMetadataDelete) \
  X(176, TableMetadataDeleteWhere) \
  X(177, TableMetadataGetList) \
  X(178, MetadataGetById) \
  X(179, MetadataGetList) \
  X(180, DbmsQualifyRules) \
  X(181, TableCreateIMVView) \
  X(182, TableDeleteIMVView) \
  X(183, LocatorAlter) \
  X(184, LocatorCreate) \
  X(185, LocatorDelete) \
  X(186, LocatorGetInfo) \
  X(187, LocatorGetInfoById) \
  X(188, LocatorGetInfoList) \
  X(189, StreamCalcAttributeStats) \
  X(190, StreamCalcLayerEnvelope) \
  X(191, StreamCalcLayerStats) \
  X(192, LogGrantAccess) \
  X(193, LogRevokeAccess) \
  X(194, ApplicationIdsSet) \
  X(195, TableUpdateDbmsStats) \
  X(196, ObjectLockLock) \
  X(197, ObjectLockUnlock) \
  X(198, ObjectLockGetList) \
  X(199, VersionLock) \
  X(200, VersionUnlock) \
  X(201, VersionGetLocks) \
  X(202, VersionGetById) \
  X(203, GetDbmsResKeyword) \
  X(204, UpdateOrdered) \
  X(205, RowIdsGetRangeByName) \
  X(206, RowIdsReturnRangeByName) \
  X(207, ConvertBinaryLayer) \
  X(208, ConvertBinaryTable) \
  X(209, RasterBandGetStats) \
  X(210, RasterBandGetColorMap) \
  X(211, RegistrationGetDependentTab) \
  X(212, GetDbUserName) \
  X(213, GetZuldbaName) \
  X(214, QueryWithInfo) \
  X(215, DBTuneImport) \
  X(216, DBTuneExport) \
  X(217, TableCreateLongIndex) \
  X(218, TellServerClientRelease)

enum ZUL_COMMAND : int32_t {
#define ZUL_CMD_ENUM(code, name) CMD_##name = code,
  ZUL_COMMAND_LIST(ZUL_CMD_ENUM)
#undef ZUL_CMD_ENUM
  CMD_EndOfCommands_ = 219,   // one past the last command
};

#define SE_COMMAND_COUNT 219   // codes 0 to 218 name commands

// The name of a command code ("EndOfCommands_" for 219), or null for a code
// outside 0 to 219. The returned text is static.
const char* CH_command_name(int32_t code);

// The code of the older numbering for a current code 0 to 219, or -1 when
// the older numbering has no such command (or the code is out of range).
int32_t CH_legacy_command_code(int32_t code);

#endif
