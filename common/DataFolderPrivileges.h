#pragma once
// Backup and restore let an administrator open, re-own and delete what is in the data folder
// whatever its rights: switched on for one scope, put back as they were when it ends.
#include "common/SetOwnerFS.h"

namespace DataFolder {

class BackupAndRestore {
 public:
  BackupAndRestore()
      : backup_(SetOwnerFS::ChangeOwnPrivilege(L"SeBackupPrivilege", true)),
        restore_(SetOwnerFS::ChangeOwnPrivilege(L"SeRestorePrivilege", true)) {}
  ~BackupAndRestore() {
    SetOwnerFS::RestoreOwnPrivilege(restore_);
    SetOwnerFS::RestoreOwnPrivilege(backup_);
  }
  BackupAndRestore(const BackupAndRestore&) = delete;
  BackupAndRestore& operator=(const BackupAndRestore&) = delete;

 private:
  SetOwnerFS::PrivilegeChange backup_, restore_;
};

}  // namespace DataFolder
