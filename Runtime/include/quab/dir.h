// Directories: existence, creation (also under a unique random name),
// removal, handles that keep a directory in place, and information about
// an object named by path.
#pragma once

#include <quab/file.h>
#include <quab/types.h>

inline constexpr uint32_t DIRMAKE_KEEP_INDEXING = 0x2;
inline constexpr uint32_t DIRMAKE_IGNORE_INDEX_ERROR = 0x4;

// Link flags of RTPathGetObjInfo.
inline constexpr uint32_t RTPATH_F_ON_LINK = 0x1;
inline constexpr uint32_t RTPATH_F_FOLLOW_LINK = 0x2;
inline constexpr uint32_t RTPATH_F_NO_SYMLINKS = 0x4;

inline constexpr uint32_t RTDIR_MAGIC = 0x19291112;
inline constexpr uint32_t RTDIR_MAGIC_DEAD = 0xE6D6EEED;

bool RTDirExists(const char *pszPath);
int32_t RTDirMake(const char *pszPath, uint32_t fMode, uint32_t fCreate);
int32_t RTDirDelete(const char *pszPath);
// pszTemplate holds the new directory's path on success and "" on failure;
// it must have room for the path (the run of X is replaced in place).
int32_t RTDirMakeUnique(char *pszTemplate, uint32_t fMode);
int32_t RTDirOpenPath(DirHandle *phDir, const char *pszPath);
int32_t RTDirClose(DirHandle hDir);
bool RTDirCheckHandle(DirHandle hDir);

int32_t RTPathGetObjInfo(const char *pszPath, FsObjectInfo *pObjInfo, InfoDetail enmDetail, uint32_t fFlags);
